// quorin-mesh demo [--out DIR]: the library end to end on a part built in place. A plate
// with rounded corners, four through holes and a filleted cylindrical boss is modelled
// with the kernel, meshed by its incremental mesher, summarised with algoMesh_Info,
// graded by algoMesh_Checker on every triangle metric, wrapped in its convex hull and
// oriented bounding box, checked for self-intersections and for its deviation from the
// part, decimated, remeshed by the surface tessellator and shrink-wrapped, and written to
// DIR as STL, PLY, OBJ and VTP (the mesh, through the library's writers) and BREP (the
// part with its mesh).
#include "Commands.hxx"
#include "CliNotifier.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"
#include "QualityReport.hxx"
#include "QualityTable.hxx"

#include <algoBase_Utils.hxx>
#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_Checker.hxx>
#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_Info.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>
#include <algoMesh_Wrap.hxx>
#include <algoMesh_ZeltMesh.hxx>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <numeric>

namespace cli
{

namespace
{
const char* const THE_USAGE =
    "Usage: quorin-mesh demo [--out DIR]\n"
    "\n"
    "Builds a sample part (a 120 x 80 x 10 plate with rounded corners, four holes and a\n"
    "filleted cylindrical boss), meshes it, prints its statistics and a quality table\n"
    "(per metric: min, mean, max and the share of triangles inside the acceptable range),\n"
    "its convex hull, its oriented bounding box against the axis-aligned one, its\n"
    "self-intersections and the deviation of the welded mesh from the part; decimates\n"
    "the mesh to half, remeshes the part with the surface tessellator and shrink-wraps\n"
    "the mesh; and writes the mesh as demo-part.stl, .ply, .obj and .vtp and the part as\n"
    "demo-part.brep into DIR.\n"
    "\n"
    "Options:\n"
    "  --out DIR   output directory, created when missing (default: out)\n"
    "  -h, --help  this text\n";

const double THE_LENGTH    = 120.0;
const double THE_WIDTH     = 80.0;
const double THE_THICKNESS = 10.0;
const double THE_BOSS_R    = 16.0;
const double THE_BOSS_H    = 25.0;

// Rounds the edges selected by `isWanted`; answers the shape unchanged when the kernel
// cannot build the fillet, so that the demo still runs on a kernel that refuses it.
template <typename Predicate>
TopoDS_Shape filletEdges(const TopoDS_Shape& shape, const double radius, Predicate isWanted)
{
  BRepFilletAPI_MakeFillet fillet(shape);
  for (TopExp_Explorer exp(shape, TopAbs_EDGE); exp.More(); exp.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(exp.Current());
    if (isWanted(BRepAdaptor_Curve(edge)))
    {
      fillet.Add(radius, edge);
    }
  }
  fillet.Build();
  return fillet.IsDone() ? fillet.Shape() : shape;
}

TopoDS_Shape buildDemoPart()
{
  // 1. Plate with its four vertical corner edges rounded.
  TopoDS_Shape part = BRepPrimAPI_MakeBox(THE_LENGTH, THE_WIDTH, THE_THICKNESS).Shape();
  part              = filletEdges(part, 10.0,
                                  [](const BRepAdaptor_Curve& curve) {
                       return curve.GetType() == GeomAbs_Line &&
                              curve.Line().Direction().IsParallel(gp::DZ(), 1e-9);
                     });

  // 2. Cylindrical boss in the middle, its foot rounded into the plate.
  const gp_Pnt center(THE_LENGTH / 2.0, THE_WIDTH / 2.0, THE_THICKNESS);
  part =
      BRepAlgoAPI_Fuse(
          part, BRepPrimAPI_MakeCylinder(gp_Ax2(center, gp::DZ()), THE_BOSS_R, THE_BOSS_H).Shape())
          .Shape();
  part = filletEdges(part, 3.0,
                     [&center](const BRepAdaptor_Curve& curve)
                     {
                       return curve.GetType() == GeomAbs_Circle &&
                              std::abs(curve.Circle().Radius() - THE_BOSS_R) < 1e-6 &&
                              std::abs(curve.Circle().Location().Z() - THE_THICKNESS) < 1e-6;
                     });

  // 3. Four through holes near the corners, and a bore through the boss.
  const double holes[4][2] = {{15.0, 15.0}, {105.0, 15.0}, {15.0, 65.0}, {105.0, 65.0}};
  for (const auto& hole : holes)
  {
    const gp_Ax2 axis(gp_Pnt(hole[0], hole[1], -1.0), gp::DZ());
    part = BRepAlgoAPI_Cut(part, BRepPrimAPI_MakeCylinder(axis, 5.0, THE_THICKNESS + 2.0).Shape())
               .Shape();
  }
  const gp_Ax2 bore(gp_Pnt(center.X(), center.Y(), -1.0), gp::DZ());
  return BRepAlgoAPI_Cut(
             part, BRepPrimAPI_MakeCylinder(bore, 8.0, THE_THICKNESS + THE_BOSS_H + 2.0).Shape())
      .Shape();
}

bool printConvexHull(const Handle(Poly_Triangulation) & mesh)
{
  std::vector<gp_Pnt> nodes;
  nodes.reserve(mesh->NbNodes());
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    nodes.push_back(mesh->Node(i));
  }
  Handle(Poly_Triangulation) hull;
  if (!quorin::algoMesh_ConvexHull().Perform(nodes, hull))
  {
    return false;
  }
  std::printf("\nConvex hull of the %d nodes\n", mesh->NbNodes());
  std::printf("Hull: %d nodes, %d triangles\n", hull->NbNodes(), hull->NbTriangles());
  return true;
}

// Principal axes without optimisation: the plate is symmetric, so the box should come out
// as tight as the axis-aligned one; the two volumes side by side show it.
bool printOrientedBox(const TopoDS_Shape& part, const ActAPI_ProgressEntry& progress)
{
  quorin::algoMesh_BuildOBB builder(part, quorin::algoMesh_BuildOBB::Mode_FromShape, false,
                                    progress);
  if (!builder.Perform())
  {
    return false;
  }
  const Handle(quorin::algoMesh_OBB)& obb = builder.GetResult();
  const gp_XYZ extents                    = obb->MaxCorner().XYZ() - obb->MinCorner().XYZ();
  Bnd_Box      box;
  algoBase_Utils::Bounds(part, false, true, box);
  const gp_XYZ aligned = box.CornerMax().XYZ() - box.CornerMin().XYZ();
  std::printf("\nOriented bounding box (principal axes of inertia, not optimised)\n");
  std::printf("OBB extents: %.6g x %.6g x %.6g, volume %.6g\n", extents.X(), extents.Y(),
              extents.Z(), extents.X() * extents.Y() * extents.Z());
  std::printf("Axis-aligned box: %.6g x %.6g x %.6g, volume %.6g\n", aligned.X(), aligned.Y(),
              aligned.Z(), aligned.X() * aligned.Y() * aligned.Z());
  return true;
}

// Perform answers false both for "none found" and for unusable input; the welded mesh is
// never null and only refers to its own nodes, so false here means a clean mesh.
void printSelfIntersections(const Handle(Poly_Triangulation) & mesh,
                            const ActAPI_ProgressEntry& progress)
{
  quorin::algoMesh_CheckSelfIntersections check(progress);
  check.SaveSelfIntersections(true);
  check.Perform(mesh);
  std::printf("\nSelf-intersections of the welded mesh\n");
  std::printf("Self-intersecting groups: %d (%d triangles)\n", check.NbGroups(),
              check.IntersectingTriangles().Extent());
}

bool printDeviation(const TopoDS_Shape& part,
                    const Handle(Poly_Triangulation) & mesh,
                    const ActAPI_ProgressEntry& progress)
{
  quorin::algoMesh_DeviationCheckCADMesh check(part, progress);
  if (!check.Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned) ||
      check.Deviations().empty())
  {
    return false;
  }
  const std::vector<double>& deviations = check.Deviations();
  std::printf("\nDeviation of the welded mesh from the part (unsigned, per triangle centroid)\n");
  std::printf("Deviation: max %.3g, mean %.3g\n",
              *std::max_element(deviations.begin(), deviations.end()),
              std::accumulate(deviations.begin(), deviations.end(), 0.0) /
                  static_cast<double>(deviations.size()));
  return true;
}

// Half the triangles removed by quadric edge collapse; the deviation tells what it cost.
bool printDecimation(const TopoDS_Shape& part,
                     const Handle(Poly_Triangulation) & mesh,
                     const ActAPI_ProgressEntry& progress)
{
  quorin::algoMesh_DecimationOptions options;
  options.Reduction    = 50;
  options.HasReduction = true;
  Handle(Poly_Triangulation) decimated;
  if (!quorin::algoMesh_VTKQuadricDecimation(options).Perform(mesh, decimated))
  {
    return false;
  }
  quorin::algoMesh_DeviationCheckCADMesh check(part, progress);
  check.Perform(decimated, quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned);
  const std::vector<double>& deviations = check.Deviations();
  std::printf("\nDecimated by quadric edge collapse (-reduction 50): %d triangles, %d nodes, "
              "max deviation %.3g\n",
              decimated->NbTriangles(), decimated->NbNodes(),
              deviations.empty() ? 0.0 : *std::max_element(deviations.begin(), deviations.end()));
  return true;
}

// The report of the welded mesh: its metrics, its deviation from the part and its
// self-intersecting groups.
bool writeReport(const TopoDS_Shape& part,
                 const Handle(Poly_Triangulation) & mesh,
                 const quorin::algoMesh_Checker& checker,
                 const std::string&              path,
                 const ActAPI_ProgressEntry&     progress,
                 std::string&                    error)
{
  std::vector<ReportField> fields =
      MetricReportFields(checker.QualityInfo(), TriangleMetrics(), mesh->NbTriangles());
  quorin::algoMesh_DeviationCheckCADMesh deviation(part, progress);
  if (deviation.Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned))
  {
    ReportField field;
    field.Name   = "Deviation";
    field.Values = deviation.Deviations();
    fields.push_back(std::move(field));
  }
  quorin::algoMesh_CheckSelfIntersections selfx(progress);
  selfx.SaveSelfIntersections(true);
  selfx.Perform(mesh);
  ReportField groups;
  groups.Name = "Self-intersection group";
  groups.Type = ReportField::Kind_Groups;
  groups.Values.assign(static_cast<size_t>(mesh->NbTriangles()), 0.0);
  int number = 0;
  for (const std::set<int>& group : selfx.Groups())
  {
    ++number;
    for (const int triangle : group)
    {
      groups.Values[static_cast<size_t>(triangle) - 1] = number;
    }
  }
  fields.push_back(std::move(groups));
  return WriteQualityReport(path, "demo part", mesh, fields, error);
}

// The part remeshed by the surface tessellator with edges at most `size` long.
bool printTessellation(const TopoDS_Shape& part, const double size)
{
  Handle(quorin::algoMesh_SurfOptions) options = new quorin::algoMesh_SurfOptions();
  options->Real1                               = size;
  Handle(Poly_Triangulation) mesh;
  if (!quorin::algoMesh_ZeltMesh(part).Perform(options, mesh))
  {
    return false;
  }
  std::printf("Remeshed by the surface tessellator, edges at most %.3g: %d triangles, %d nodes, "
              "%d boundary edges\n",
              size, mesh->NbTriangles(), mesh->NbNodes(),
              quorin::algoMesh_BoundaryEdges::Count(mesh));
  return true;
}

// A closed envelope of the mesh, voxel size `size`.
bool printWrap(const Handle(Poly_Triangulation) & mesh,
               const double                size,
               const ActAPI_ProgressEntry& progress)
{
  Handle(quorin::algoMesh_Wrap) wrap = new quorin::algoMesh_Wrap(progress, ActAPI_PlotterEntry());
  if (!wrap->Perform(mesh, size) || wrap->Result().IsNull())
  {
    return false;
  }
  std::printf("Shrink-wrapped at voxel size %.3g: %d triangles, %d boundary edges\n", size,
              wrap->Result()->NbTriangles(), quorin::algoMesh_BoundaryEdges::Count(wrap->Result()));
  return true;
}
} // namespace

int RunDemo(const std::vector<std::string>& arguments)
{
  std::string outDir = "out";
  for (size_t i = 0; i < arguments.size(); ++i)
  {
    if (IsHelp(arguments[i]))
    {
      std::fputs(THE_USAGE, stdout);
      return Exit_Ok;
    }
    if (arguments[i] == "--out" && i + 1 < arguments.size() && !arguments[i + 1].empty())
    {
      outDir = arguments[++i];
    }
    else if (arguments[i] == "--out")
    {
      return Fail("--out needs a directory", Exit_Usage);
    }
    else
    {
      return Fail("unknown argument '" + arguments[i] + "' of demo", Exit_Usage);
    }
  }
  std::error_code status;
  std::filesystem::create_directories(outDir, status);
  if (!std::filesystem::is_directory(outDir))
  {
    return Fail("cannot create the output directory '" + outDir + "'");
  }

  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);

  // 1. Model the part.
  std::printf("Building the demo part: plate with rounded corners, four holes, bored boss\n");
  std::fflush(stdout);
  const TopoDS_Shape part = buildDemoPart();

  // 2. Mesh it and report its statistics.
  double deflection = 0.0;
  if (!MeshShape(part, deflection, 0.001, progress))
  {
    return Fail(notifier->IsCancelRequested() ? "interrupted" : "meshing the demo part failed",
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Meshed with linear deflection %g (0.1%% of the bounding-box diagonal)\n\n",
              deflection);
  quorin::algoMesh_Info info;
  info.ExtractInfoFrom(part);
  info.Dump(std::cout);

  // 3. Weld the face meshes into one mesh and grade every triangle of it.
  const Handle(Poly_Triangulation) mesh = JoinFaceMeshes(part);
  if (mesh.IsNull())
  {
    return Fail("welding the demo part's face meshes gave no triangles");
  }
  std::printf("\nWelded at tolerance %g: %d nodes before, %d nodes after\n", algoMesh_Tolerance,
              info.NbNodes, mesh->NbNodes());
  std::printf("Boundary edges of the welded mesh: %d\n\n",
              quorin::algoMesh_BoundaryEdges::Count(mesh));
  quorin::algoMesh_Checker checker(mesh, progress, ActAPI_PlotterEntry());
  if (!checker.Perform())
  {
    return Fail(notifier->IsCancelRequested() ? "interrupted" : "the quality check failed",
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  std::fflush(stdout);
  PrintQualityTable(std::cout, checker.QualityInfo(), TriangleMetrics());
  std::cout.flush();

  // 4. Envelopes and checks of the welded mesh.
  if (!printConvexHull(mesh))
  {
    return Fail("the convex hull of the demo mesh failed");
  }
  if (!printOrientedBox(part, progress))
  {
    return Fail("the oriented bounding box of the demo part failed");
  }
  printSelfIntersections(mesh, progress);
  if (!printDeviation(part, mesh, progress))
  {
    return Fail("the deviation check of the demo mesh failed");
  }
  notifier->ResetProgress();

  // 5. Simplify, remesh and wrap.
  const double diagonal = quorin::algoMesh_Extent::Diagonal(mesh);
  if (!printDecimation(part, mesh, progress))
  {
    return Fail("the decimation of the demo mesh failed");
  }
  if (!printTessellation(part, diagonal / 40.0))
  {
    return Fail("the surface tessellation of the demo part failed");
  }
  if (!printWrap(mesh, diagonal / 100.0, progress))
  {
    return Fail("the shrink wrapping of the demo mesh failed");
  }
  notifier->ResetProgress();

  // 6. Write the mesh in each mesh format, and the part.
  std::printf("\n");
  for (const char* name : {"demo-part.stl", "demo-part.ply", "demo-part.obj", "demo-part.vtp"})
  {
    const std::string path = (std::filesystem::path(outDir) / name).string();
    std::string       error;
    if (!SaveMesh(mesh, path, Encoding::Default, progress, error))
    {
      return Fail(error);
    }
    notifier->ResetProgress();
    std::printf("Wrote %s (%d triangles, %d nodes)\n", path.c_str(), mesh->NbTriangles(),
                mesh->NbNodes());
  }
  const std::string brepPath = (std::filesystem::path(outDir) / "demo-part.brep").string();
  if (!BRepTools::Write(part, brepPath.c_str()))
  {
    return Fail("cannot write '" + brepPath + "'");
  }
  std::printf("Wrote %s (the part with its face meshes)\n", brepPath.c_str());

  // 7. The quality report of the welded mesh.
  const std::string reportPath = (std::filesystem::path(outDir) / "demo-report.html").string();
  std::string       error;
  if (!CanWriteReport())
  {
    std::printf("No quality report: this build has no report viewer (npm was missing)\n");
    return Exit_Ok;
  }
  if (!writeReport(part, mesh, checker, reportPath, progress, error))
  {
    return Fail(error);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (quality report; open it in a browser)\n", reportPath.c_str());
  return Exit_Ok;
}

} // namespace cli
