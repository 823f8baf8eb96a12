// Repair benchmarks: smoothing through OpenMesh and VTK, healing and hole filling, each
// beside the bare peer pipeline on data already in the peer's representation, so that the
// difference is the cost of our conversions; and obfuscation of a meshed CAD model.
#include <BenchCommon.hxx>

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_FillHoles.hxx>
#include <algoMesh_Heal.hxx>
#include <algoMesh_Obfuscate.hxx>
#include <algoMesh_Smooth.hxx>

#pragma push_macro("Handle")
#undef Handle
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <OpenMesh/Tools/Smoother/JacobiLaplaceSmootherT.hh>
#pragma GCC diagnostic pop
#pragma pop_macro("Handle")

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <TopoDS.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS_Face.hxx>

#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkSmoothPolyDataFilter.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bench
{
namespace
{

typedef OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits> TriMesh;

//! Number of smoothing iterations: the first option, 10 by default.
int iterationsOf(const Args& args)
{
  return args.options.empty() ? 10 : std::atoi(args.options[0].c_str());
}

//! Seconds of one run of `work`.
double once(const std::function<void()>& work)
{
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string seconds(const char* key, const double value)
{
  char text[64];
  std::snprintf(text, sizeof(text), " %s=%.3f", key, value);
  return text;
}

//! The mesh with 16 round holes cut out: every triangle whose centroid lies within four
//! mean edge lengths of one of 16 nodes spread over the node numbering is dropped.
//! Answers the radius of the holes.
double cutHoles(Handle(Poly_Triangulation) & mesh)
{
  double length = 0.0;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    length += mesh->Node(a).Distance(mesh->Node(b));
  }
  const double        radius = 4.0 * length / mesh->NbTriangles();
  std::vector<gp_Pnt> centres;
  for (int k = 0; k < 16; ++k)
  {
    centres.push_back(mesh->Node(1 + (2 * k + 1) * mesh->NbNodes() / 32));
  }
  std::vector<Poly_Triangle> kept;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    const gp_Pnt centroid((mesh->Node(a).XYZ() + mesh->Node(b).XYZ() + mesh->Node(c).XYZ()) / 3.0);
    bool         isCut = false;
    for (const gp_Pnt& centre : centres)
    {
      isCut = isCut || centroid.Distance(centre) < radius;
    }
    if (!isCut)
    {
      kept.push_back(mesh->Triangle(t));
    }
  }
  Handle(Poly_Triangulation) holed =
      new Poly_Triangulation(mesh->NbNodes(), static_cast<int>(kept.size()), false);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    holed->SetNode(i, mesh->Node(i));
  }
  for (int t = 0; t < static_cast<int>(kept.size()); ++t)
  {
    holed->SetTriangle(t + 1, kept[t]);
  }
  mesh = holed;
  return radius;
}

//! Reads the input and cuts its holes; null on failure.
Handle(Poly_Triangulation) readHoled(const Args& args, double& holeSize)
{
  Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (!mesh.IsNull())
  {
    // The bounding sphere of a hole is about as large as the hole; twice is safe.
    holeSize = 2.0 * cutHoles(mesh);
  }
  return mesh;
}

vtkSmartPointer<vtkPolyData> toPolyData(const Handle(Poly_Triangulation) & mesh)
{
  vtkSmartPointer<vtkPolyData> polyData;
  quorin::algoMesh_Convert::ToVTK(mesh, polyData);
  return polyData;
}

int smoothOpenMesh(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const int iterations = iterationsOf(args);
  Handle(Poly_Triangulation) result;
  const double best = BestOf3(
      [&]
      {
        quorin::algoMesh_Smooth::DoOpenMesh(mesh, iterations,
                                            quorin::algoMesh_Smooth::Component_TangentialNormal,
                                            result, ActAPI_ProgressEntry());
      });
  // The two conversions on their own.
  TriMesh      openMesh;
  const double toOpenMesh = once([&] { quorin::algoMesh_Convert::ToOpenMesh(mesh, openMesh); });
  Handle(Poly_Triangulation) back;
  const double fromOpenMesh = once([&] { quorin::algoMesh_Convert::FromOpenMesh(openMesh, back); });
  Report("smooth-openmesh", args.input, mesh->NbTriangles(), best,
         "iterations=" + std::to_string(iterations) + seconds("to-openmesh", toOpenMesh) +
             seconds("from-openmesh", fromOpenMesh) +
             " nodes=" + std::to_string(result->NbNodes()));
  return 0;
}

int smoothOpenMeshPeer(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const int iterations = iterationsOf(args);
  TriMesh   input, work;
  quorin::algoMesh_Convert::ToOpenMesh(mesh, input);
  typedef OpenMesh::Smoother::JacobiLaplaceSmootherT<TriMesh> Smoother;
  const double                                                best = BestOf3(
      [&]
      {
        Smoother smoother(work);
        smoother.initialize(Smoother::Tangential_and_Normal, Smoother::C1);
        smoother.smooth(static_cast<unsigned int>(iterations));
      },
      [&] { work = input; });
  Report("smooth-openmesh-peer", args.input, mesh->NbTriangles(), best,
         "iterations=" + std::to_string(iterations));
  return 0;
}

int smoothVtk(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const int iterations = iterationsOf(args);
  Handle(Poly_Triangulation) result;
  const double best = BestOf3(
      [&] { quorin::algoMesh_Smooth::DoVTK(mesh, iterations, result, ActAPI_ProgressEntry()); });
  vtkSmartPointer<vtkPolyData> polyData;
  const double toVtk = once([&] { quorin::algoMesh_Convert::ToVTK(mesh, polyData); });
  Handle(Poly_Triangulation) back;
  const double fromVtk = once([&] { quorin::algoMesh_Convert::FromVTK(polyData, back); });
  Report("smooth-vtk", args.input, mesh->NbTriangles(), best,
         "iterations=" + std::to_string(iterations) + seconds("to-vtk", toVtk) +
             seconds("from-vtk", fromVtk) + " nodes=" + std::to_string(result->NbNodes()));
  return 0;
}

int smoothVtkPeer(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const int                          iterations = iterationsOf(args);
  const vtkSmartPointer<vtkPolyData> polyData   = toPolyData(mesh);
  const double                       best       = BestOf3(
      [&]
      {
        vtkNew<vtkSmoothPolyDataFilter> smoother;
        smoother->SetInputData(polyData);
        smoother->SetFeatureEdgeSmoothing(0);
        smoother->SetBoundarySmoothing(0);
        smoother->SetNumberOfIterations(iterations);
        smoother->Update();
      });
  Report("smooth-vtk-peer", args.input, mesh->NbTriangles(), best,
         "iterations=" + std::to_string(iterations));
  return 0;
}

int heal(const Args& args)
{
  double holeSize                       = 0.0;
  const Handle(Poly_Triangulation) mesh = readHoled(args, holeSize);
  if (mesh.IsNull())
  {
    return 1;
  }
  Handle(Poly_Triangulation) result;
  const double best = BestOf3(
      [&] { quorin::algoMesh_Heal::DoVTK(mesh, holeSize, result, ActAPI_ProgressEntry()); });
  Report("heal", args.input, mesh->NbTriangles(), best,
         "triangles-out=" + std::to_string(result->NbTriangles()));
  return 0;
}

//! Fill holes, orient, clean on poly data, as the healing pass runs them.
int healPeer(const Args& args)
{
  double holeSize                       = 0.0;
  const Handle(Poly_Triangulation) mesh = readHoled(args, holeSize);
  if (mesh.IsNull())
  {
    return 1;
  }
  const vtkSmartPointer<vtkPolyData> polyData = toPolyData(mesh);
  vtkIdType                          nbCells  = 0;
  double                             fill = 0.0, orient = 0.0, clean = 0.0;
  const double                       best = BestOf3(
      [&]
      {
        vtkNew<vtkFillHolesFilter> filler;
        filler->SetInputData(polyData);
        filler->SetHoleSize(holeSize);
        vtkNew<vtkPolyDataNormals> orienter;
        orienter->SetInputConnection(filler->GetOutputPort());
        orienter->ConsistencyOn();
        vtkNew<vtkCleanPolyData> cleaner;
        cleaner->SetInputConnection(orienter->GetOutputPort());
        fill    = once([&] { filler->Update(); });
        orient  = once([&] { orienter->Update(); });
        clean   = once([&] { cleaner->Update(); });
        nbCells = cleaner->GetOutput()->GetNumberOfCells();
      });
  Report("heal-peer", args.input, mesh->NbTriangles(), best,
         "triangles-out=" + std::to_string(nbCells) + seconds("fill", fill) +
             seconds("orient", orient) + seconds("clean", clean));
  return 0;
}

int fillHoles(const Args& args)
{
  double holeSize                       = 0.0;
  const Handle(Poly_Triangulation) mesh = readHoled(args, holeSize);
  if (mesh.IsNull())
  {
    return 1;
  }
  TopoDS_Face face;
  BRep_Builder().MakeFace(face, mesh);
  Handle(Poly_Triangulation) result;
  const double best = BestOf3(
      [&]
      {
        quorin::algoMesh_FillHoles filler(face, quorin::algoMesh_FillHoles::ShapeMap(), holeSize,
                                          ActAPI_ProgressEntry(), ActAPI_PlotterEntry());
        filler.Perform();
        result = filler.GetResult();
      });
  // The welding step on its own.
  const double weld = once([&] { quorin::algoMesh_Conglomerate conglomerate(face); });
  Report("fill-holes", args.input, mesh->NbTriangles(), best,
         "hole-size=" + std::to_string(holeSize) + seconds("weld", weld) +
             " triangles-out=" + std::to_string(result.IsNull() ? 0 : result->NbTriangles()));
  return 0;
}

int fillHolesPeer(const Args& args)
{
  double holeSize                       = 0.0;
  const Handle(Poly_Triangulation) mesh = readHoled(args, holeSize);
  if (mesh.IsNull())
  {
    return 1;
  }
  const vtkSmartPointer<vtkPolyData> polyData = toPolyData(mesh);
  vtkIdType                          nbCells  = 0;
  const double                       best     = BestOf3(
      [&]
      {
        vtkNew<vtkFillHolesFilter> filler;
        filler->SetInputData(polyData);
        filler->SetHoleSize(holeSize);
        filler->Update();
        nbCells = filler->GetOutput()->GetNumberOfCells();
      });
  Report("fill-holes-peer", args.input, mesh->NbTriangles(), best,
         "triangles-out=" + std::to_string(nbCells));
  return 0;
}

int obfuscate(const Args& args)
{
  TopoDS_Shape shape;
  if (!BRepTools::Read(shape, args.input.c_str(), BRep_Builder()))
  {
    std::fprintf(stderr, "cannot read a BREP shape from '%s'\n", args.input.c_str());
    return 1;
  }
  Bnd_Box box;
  BRepBndLib::Add(shape, box);
  double bounds[6];
  box.Get(bounds[0], bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]);
  // A fine mesh, so that the node count is worth timing: 0.01 % of the diagonal and 0.05 rad, in
  // place of any mesh the file carries.
  BRepTools::Clean(shape);
  BRepMesh_IncrementalMesh(shape, 1.0e-4 * std::sqrt(box.SquareExtent()), false, 0.05);
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(shape, TopAbs_FACE, faces);
  int nbNodes = 0;
  for (int i = 1; i <= faces.Extent(); ++i)
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(faces(i)), location);
    nbNodes += mesh.IsNull() ? 0 : mesh->NbNodes();
  }
  const double ranges[6] = {0.1, 0.1, 0.1, 0.3, 0.3, 0.3};
  const double best      = BestOf3(
      [&]
      {
        quorin::algoMesh_Obfuscate obfuscator(bounds, ranges, ActAPI_ProgressEntry(),
                                                   ActAPI_PlotterEntry());
        obfuscator.Perform(shape);
      });
  Report("obfuscate", args.input, faces.Extent(), best, "nodes=" + std::to_string(nbNodes));
  return 0;
}

} // namespace

void AddRepairTasks(std::vector<Task>& tasks)
{
  tasks.push_back(
      {"smooth-openmesh", "MESH.stl [ITERATIONS]  algoMesh_Smooth::DoOpenMesh", smoothOpenMesh});
  tasks.push_back({"smooth-openmesh-peer", "MESH.stl [ITERATIONS]  JacobiLaplaceSmootherT alone",
                   smoothOpenMeshPeer});
  tasks.push_back({"smooth-vtk", "MESH.stl [ITERATIONS]  algoMesh_Smooth::DoVTK", smoothVtk});
  tasks.push_back(
      {"smooth-vtk-peer", "MESH.stl [ITERATIONS]  vtkSmoothPolyDataFilter alone", smoothVtkPeer});
  tasks.push_back({"heal", "MESH.stl  algoMesh_Heal::DoVTK on the mesh with 16 holes cut", heal});
  tasks.push_back({"heal-peer", "MESH.stl  fill holes, orient, clean on VTK data", healPeer});
  tasks.push_back(
      {"fill-holes", "MESH.stl  algoMesh_FillHoles on the mesh with 16 holes cut", fillHoles});
  tasks.push_back({"fill-holes-peer", "MESH.stl  vtkFillHolesFilter alone", fillHolesPeer});
  tasks.push_back(
      {"obfuscate", "MODEL.brep  algoMesh_Obfuscate on the finely meshed model", obfuscate});
}

} // namespace bench
