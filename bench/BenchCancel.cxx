// Cancellation latency: every long algorithm runs on the mesh under a notifier that asks it
// to stop when its progress first reaches 30 %; the line tells the seconds from that
// request to the return, whether the progress shown stayed monotonic, and the answer.
#include <BenchCommon.hxx>

#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_CheckMeshesOverlap.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_FillHoles.hxx>
#include <algoMesh_Heal.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_OptimizeOBB.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_PolygonOrientation.hxx>
#include <algoMesh_STL.hxx>
#include <algoMesh_Smooth.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>
#include <algoMesh_Wrap.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <WorkFractionRecorder.hxx>

#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <TopoDS_Face.hxx>

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace bench
{
namespace
{

using namespace quorin;

//! Runs `run` under a notifier cancelling at 30 % and prints the result line. When the
//! command line names algorithms, the others are skipped.
void measure(const char*                                             algorithm,
             const long long                                         nbTriangles,
             const std::vector<std::string>&                         selected,
             const std::function<bool(const ActAPI_ProgressEntry&)>& run)
{
  if (!selected.empty() && std::find(selected.begin(), selected.end(), algorithm) == selected.end())
  {
    return;
  }
  // The threshold follows the fraction of the whole work where an algorithm reports one.
  Handle(ActAPI_RecordingNotifier) notifier = new testmesh::WorkFractionRecorder();
  notifier->CancelAtFraction(0.3);
  const auto start  = std::chrono::steady_clock::now();
  const bool answer = run(ActAPI_ProgressEntry(notifier));
  const auto end    = std::chrono::steady_clock::now();

  const std::vector<double> fractions   = notifier->Fractions();
  bool                      isMonotonic = notifier->NbLateResets() == 0;
  for (size_t i = 1; i < fractions.size(); ++i)
  {
    isMonotonic = isMonotonic && fractions[i] >= fractions[i - 1];
  }
  char latency[32] = "none";
  if (notifier->HasFiredCancel())
  {
    std::snprintf(latency, sizeof(latency), "%.4f",
                  std::chrono::duration<double>(end - notifier->FiredCancelTime()).count());
  }
  std::printf("task=cancel-latency algorithm=%s n=%lld latency=%s run=%.3f monotonic=%s "
              "answer=%s\n",
              algorithm, nbTriangles, latency, std::chrono::duration<double>(end - start).count(),
              isMonotonic ? "yes" : "no", answer ? "true" : "false");
  std::fflush(stdout);
}

TopoDS_Face faceOf(const Handle(Poly_Triangulation) & mesh)
{
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, mesh);
  return face;
}

//! The writers of large files, each writing `stem` with its extension. A cancelled
//! writer must leave no file: one that does is reported as answering true.
void measureWriters(const Handle(Poly_Triangulation) & mesh,
                    const std::string&              stem,
                    const std::vector<std::string>& selected)
{
  const long long                                n = mesh->NbTriangles();
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  const NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> noColours;
  const auto measureWriter = [&](const char* algorithm, const std::string& path,
                                 const std::function<bool(const ActAPI_ProgressEntry&)>& write)
  {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    measure(algorithm, n, selected,
            [&](const ActAPI_ProgressEntry& progress)
            { return write(progress) || std::filesystem::exists(path, ignored); });
    std::filesystem::remove(path, ignored);
  };

  measureWriter("stl-write", stem + ".stl",
                [&](const ActAPI_ProgressEntry& progress)
                {
                  return algoMesh_STL::Write(meshes, locations, (stem + ".stl").c_str(), progress,
                                             true) == ExportStatus_Ok;
                });
  measureWriter("ply-write", stem + ".ply",
                [&](const ActAPI_ProgressEntry& progress)
                {
                  return algoMesh_PLY::Write(meshes, locations, (stem + ".ply").c_str(), progress,
                                             true, noColours) == ExportStatus_Ok;
                });
  measureWriter("obj-write", stem + ".obj",
                [&](const ActAPI_ProgressEntry& progress)
                {
                  algoMesh_OBJ writer(progress);
                  writer.AddMesh(mesh, gp_Trsf());
                  return writer.Write(stem + ".obj");
                });
  measureWriter(
      "nas-write", stem + ".nas",
      [&](const ActAPI_ProgressEntry& progress)
      { return algoMesh_NAS::Write(mesh, (stem + ".nas").c_str(), progress) == ExportStatus_Ok; });

  // The VTK XML writers take the data model mesh, with one value per triangle as the
  // quality check writes them (values that compress as poorly as real ones).
  Handle(MorvDS_Mesh) model;
  if (!algoMesh_Convert::ToMorv(mesh, TopLoc_Location(), model))
  {
    return;
  }
  NCollection_Vector<Handle(algoMesh_Field)> fields;
  Handle(algoMesh_Field) field =
      new algoMesh_Field("area", algoMesh_Field::Association_Element, 1, Standard_GUID());
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    field->SetValue(t, mesh->Node(a).XYZ().Crossed(mesh->Node(b).XYZ()).Dot(mesh->Node(c).XYZ()));
  }
  fields.Append(field);
  measureWriter("vtp-write", stem + ".vtp",
                [&](const ActAPI_ProgressEntry& progress)
                {
                  return algoMesh_VTK_XML::WriteVTP(model, fields, TopLoc_Location(),
                                                    (stem + ".vtp").c_str(), progress,
                                                    true) == ExportStatus_Ok;
                });
  measureWriter("vtu-write", stem + ".vtu",
                [&](const ActAPI_ProgressEntry& progress)
                {
                  return algoMesh_VTK_XML::WriteVTU(model, fields, TopLoc_Location(),
                                                    (stem + ".vtu").c_str(), progress,
                                                    true) == ExportStatus_Ok;
                });
}

int cancelLatency(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const long long n        = mesh->NbTriangles();
  const double    diagonal = quorin::algoMesh_Extent::Diagonal(mesh);

  measure("self-intersections", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(algoMesh_CheckSelfIntersections) check =
                new algoMesh_CheckSelfIntersections(progress, ActAPI_PlotterEntry());
            check->SaveSelfIntersections(true);
            return check->Perform(mesh);
          });

  std::vector<gp_Pnt> points;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    points.push_back(mesh->Node(i));
  }
  measure("convex-hull", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) hull;
            return algoMesh_ConvexHull(progress, ActAPI_PlotterEntry()).Perform(points, hull);
          });

  measure("obb-optimisation", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Bnd_Box box;
            for (const gp_Pnt& p : points)
            {
              box.Add(p);
            }
            const Handle(algoMesh_OBB) initial =
                new algoMesh_OBB(gp_Ax3(), box.CornerMin(), box.CornerMax());
            Handle(algoMesh_OptimizeOBB) optimizer = new algoMesh_OptimizeOBB(
                TopoDS_Shape(), mesh, initial, progress, ActAPI_PlotterEntry());
            return optimizer->Perform();
          });

  const TopoDS_Face face = faceOf(mesh);
  measure("conglomerate", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            algoMesh_Conglomerate conglomerate;
            return conglomerate.Build(face, algoMesh_Conglomerate::Mode_CoherentAndPlain, false,
                                      progress);
          });

  measure("heal", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_Heal::DoVTK(mesh, 0.01 * diagonal, result, progress);
          });

  measure("fill-holes", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(algoMesh_FillHoles) filler =
                new algoMesh_FillHoles(face, algoMesh_FillHoles::ShapeMap(), 0.01 * diagonal,
                                       progress, ActAPI_PlotterEntry());
            return filler->Perform();
          });

  measure("overlap", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(algoMesh_CheckMeshesOverlap) check =
                new algoMesh_CheckMeshesOverlap(0.005, progress);
            return check->Perform(mesh, mesh);
          });

  algoMesh_DecimationOptions options;
  options.Reduction = 90.0;
  // A feature angle of 0 would make every vertex a corner that the topology-preserving
  // filter may not remove.
  options.FeatureAngle = 45.0;
  measure("decimate-pro", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_VTKDecimatePro(options).Perform(mesh, result, progress);
          });
  measure("decimate-quadric", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_VTKQuadricDecimation(options).Perform(mesh, result, progress);
          });

  measure("decimate-topo", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_TopoDecimation(options).Perform(mesh, result, progress);
          });

  measure("smooth-openmesh", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_Smooth::DoOpenMesh(
                mesh, 20, algoMesh_Smooth::Component_TangentialNormal, result, progress);
          });
  measure("smooth-vtk", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(Poly_Triangulation) result;
            return algoMesh_Smooth::DoVTK(mesh, 100, result, progress);
          });

  measure("boundary-edges", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          { return algoMesh_BoundaryEdges::Count(mesh, progress) >= 0; });
  measure("decimation-defects", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            algoMesh_DecimationDefects defects;
            return algoMesh_DecimationDefects::Count(mesh, progress, defects);
          });
  // The data as the healing's orientation stage gets it; the conversion is not timed.
  vtkSmartPointer<vtkPolyData> polygons;
  if (algoMesh_Convert::ToVTK(mesh, polygons))
  {
    measure("polygon-orientation", n, args.options,
            [&](const ActAPI_ProgressEntry& progress)
            {
              return algoMesh_PolygonOrientation::Orient(
                         polygons, algoMesh_ProgressScope(progress, "Orienting")) ==
                     algoMesh_PolygonOrientation::Status_Oriented;
            });
  }

  measureWriters(mesh, OutputPath(args, "-cancelled"), args.options);

  measure("wrap", n, args.options,
          [&](const ActAPI_ProgressEntry& progress)
          {
            Handle(algoMesh_Wrap) wrap = new algoMesh_Wrap(progress, ActAPI_PlotterEntry());
            return wrap->Perform(mesh, diagonal / 200.0);
          });
  return 0;
}

} // namespace

void AddCancelTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"cancel-latency",
                   "MESH.stl [ALGORITHM...]  seconds from a cancellation request at 30 % "
                   "progress to the return, for every long algorithm or those named",
                   cancelLatency});
}

} // namespace bench
