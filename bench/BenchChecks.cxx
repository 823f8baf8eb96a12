// Check benchmarks: the self-intersection check on a closed mesh and on two interpenetrating
// tori, beside the peer's self-intersection search on the same triangles (when built with
// it), the generator of the interpenetrating input, and the deviation of a mesh from a
// meshed B-rep shape.
#include <BenchCommon.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>
#include <STEPControl_Reader.hxx>
#include <TopoDS_Face.hxx>

#include <vtkCellArray.h>
#include <vtkImplicitPolyDataDistance.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

#ifdef QUORIN_HAVE_CGAL
#include <BenchCgal.hxx>
#endif

namespace bench
{
namespace
{

int threadsOf(const Args& args)
{
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  return args.threads > 0 ? args.threads : (hardware > 0 ? hardware : 1);
}

// A torus of major radius R and tube radius r around the z axis, nu x nv quads split in
// two, turned by `angle` about the x axis and moved by (dx, dy, dz); nodes appended to
// `nodes`, triangles (1-based, into `nodes`) to `triangles`.
void addTorus(const int                   nu,
              const int                   nv,
              const double                R,
              const double                r,
              const double                angle,
              const gp_Vec&               shift,
              std::vector<gp_Pnt>&        nodes,
              std::vector<Poly_Triangle>& triangles)
{
  const int first = static_cast<int>(nodes.size()) + 1;
  for (int i = 0; i < nu; ++i)
  {
    const double u = 2.0 * M_PI * i / nu;
    for (int j = 0; j < nv; ++j)
    {
      const double v = 2.0 * M_PI * j / nv;
      const double x = (R + r * std::cos(v)) * std::cos(u);
      const double y = (R + r * std::cos(v)) * std::sin(u);
      const double z = r * std::sin(v);
      nodes.emplace_back(gp_Pnt(x, y * std::cos(angle) - z * std::sin(angle),
                                y * std::sin(angle) + z * std::cos(angle))
                             .Translated(shift));
    }
  }
  for (int i = 0; i < nu; ++i)
  {
    for (int j = 0; j < nv; ++j)
    {
      const int a = first + i * nv + j;
      const int b = first + ((i + 1) % nu) * nv + j;
      const int c = first + ((i + 1) % nu) * nv + (j + 1) % nv;
      const int d = first + i * nv + (j + 1) % nv;
      triangles.emplace_back(a, b, c);
      triangles.emplace_back(a, c, d);
    }
  }
}

// Two tori of 504,000 triangles each, the second tilted by 0.3 rad and shifted so that
// their surfaces cross along a few closed curves: a closed but self-intersecting input.
int makeCrossingInput(const Args& args)
{
  const std::string dir = args.input.empty() ? "bench/inputs" : args.input;
  ::mkdir(dir.c_str(), 0755);
  std::vector<gp_Pnt>        nodes;
  std::vector<Poly_Triangle> triangles;
  addTorus(700, 360, 1.0, 0.35, 0.0, gp_Vec(), nodes, triangles);
  addTorus(700, 360, 1.0, 0.35, 0.3, gp_Vec(0.45, 0.2, 0.05), nodes, triangles);
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(
      static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
  {
    mesh->SetNode(i + 1, nodes[i]);
  }
  for (int i = 0; i < static_cast<int>(triangles.size()); ++i)
  {
    mesh->SetTriangle(i + 1, triangles[i]);
  }
  const std::string path = dir + "/tori-crossing-1m.stl";
  if (!RWStl::WriteBinary(mesh, OSD_Path(path.c_str())))
  {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return 1;
  }
  std::printf("wrote %s (%d triangles)\n", path.c_str(), mesh->NbTriangles());
  return 0;
}

int selfIntersections(const Args& args)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  const int    nbThreads = threadsOf(args);
  int          nbGroups = 0, nbTriangles = 0;
  const double seconds = BestOf3(
      [&]
      {
        Handle(quorin::algoMesh_CheckSelfIntersections) check =
            new quorin::algoMesh_CheckSelfIntersections();
        check->ChangeParallelOptions().SetParallelMode(nbThreads > 1);
        check->ChangeParallelOptions().SetNbThreads(nbThreads);
        check->SaveSelfIntersections(true);
        check->Perform(mesh);
        nbGroups    = check->NbGroups();
        nbTriangles = check->IntersectingTriangles().Extent();
      });
  // The pair count, to compare with the peer's, from one more untimed search.
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  BVHTools::IntersectMeshMesh search(nbThreads, set, set, true);
  search.Perform();
  Report("self-intersections", args.input, mesh->NbTriangles(), seconds,
         "threads=" + std::to_string(nbThreads) + " groups=" + std::to_string(nbGroups) +
             " triangles=" + std::to_string(nbTriangles) +
             " pairs=" + std::to_string(search.Result().size() / 2));
  return 0;
}

bool endsWith(const std::string& text, const std::string& tail)
{
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A BREP or STEP file, or "torus": the smooth torus (major radius 1, tube radius 0.35)
// that the bumpy tori of make-inputs undulate around by up to 10 % of the tube radius.
TopoDS_Shape readDeviationShape(const std::string& path)
{
  TopoDS_Shape shape;
  if (path == "torus")
  {
    return BRepPrimAPI_MakeTorus(1.0, 0.35).Shape();
  }
  if (endsWith(path, ".stl"))
  {
    // A mesh as the reference: one face carrying it, already meshed.
    const Handle(Poly_Triangulation) mesh = ReadMesh(path);
    if (!mesh.IsNull())
    {
      TopoDS_Face face;
      BRep_Builder().MakeFace(face, mesh);
      shape = face;
    }
    return shape;
  }
  return ReadShape(path);
}

int nbFaceTriangles(const TopoDS_Shape& shape)
{
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(shape);
  return set->Size();
}

// The inputs of the deviation tasks:
//   MESH.stl [SHAPE|torus|REFERENCE.stl] [DEFLECTION]: the mesh against the shape meshed at
//     the deflection (default: the torus at 0.0005), or against a reference mesh as it is;
//   SHAPE.brep|.step [DEFLECTION]: the shape meshed at 10x the deflection, welded, against
//     the shape meshed at the deflection (default 1/1000 of its box diagonal).
struct DeviationInput
{
  Handle(Poly_Triangulation) mesh;
  TopoDS_Shape shape; //!< meshed at `deflection`
  double       deflection  = 0.0;
  int          nbReference = 0; //!< triangles of the shape's face meshes
};

bool readDeviationInput(const Args& args, DeviationInput& input)
{
  const bool   isMesh       = endsWith(args.input, ".stl");
  const size_t deflectionAt = isMesh ? 1 : 0;
  double       deflection   = 0.0;
  if (args.options.size() > deflectionAt)
  {
    deflection = std::atof(args.options[deflectionAt].c_str());
  }
  if (isMesh)
  {
    input.mesh  = ReadMesh(args.input);
    input.shape = readDeviationShape(args.options.empty() ? "torus" : args.options[0]);
    if (input.mesh.IsNull() || input.shape.IsNull())
    {
      return false;
    }
    deflection = deflection > 0.0 ? deflection : 0.0005;
  }
  else
  {
    input.shape = readDeviationShape(args.input);
    if (input.shape.IsNull())
    {
      return false;
    }
    Bnd_Box box;
    BRepBndLib::Add(input.shape, box);
    deflection = deflection > 0.0 ? deflection : 1e-3 * std::sqrt(box.SquareExtent());
    BRepMesh_IncrementalMesh coarse(input.shape, 10.0 * deflection);
    input.mesh = quorin::algoMesh_Conglomerate(input.shape).GetPlain();
    BRepTools::Clean(input.shape);
  }
  // A reference read from a mesh file is meshed already.
  const bool isMeshReference =
      isMesh && args.options.size() > 0 && endsWith(args.options[0], ".stl");
  if (!isMeshReference)
  {
    BRepMesh_IncrementalMesh fine(input.shape, deflection);
  }
  input.deflection  = deflection;
  input.nbReference = nbFaceTriangles(input.shape);
  return true;
}

// Largest and mean absolute value.
std::string deviationFigures(const std::vector<double>& deviations)
{
  double largest = 0.0, sum = 0.0;
  for (const double d : deviations)
  {
    largest = std::max(largest, std::abs(d));
    sum += std::abs(d);
  }
  char text[128];
  std::snprintf(text, sizeof(text), "max|dev|=%.5g mean|dev|=%.5g", largest,
                deviations.empty() ? 0.0 : sum / deviations.size());
  return text;
}

int deviation(const Args& args)
{
  DeviationInput in;
  if (!readDeviationInput(args, in))
  {
    return 1;
  }
  const Handle(Poly_Triangulation)& mesh = in.mesh;
  const TopoDS_Shape& shape              = in.shape;
  const int           nbThreads          = threadsOf(args);
  auto                newCheck           = [&]
  {
    Handle(quorin::algoMesh_DeviationCheckCADMesh) check =
        new quorin::algoMesh_DeviationCheckCADMesh(shape);
    check->ChangeParallelOptions().SetParallelMode(nbThreads > 1);
    check->ChangeParallelOptions().SetNbThreads(nbThreads);
    return check;
  };

  // A fresh object per run (the hierarchy built inside), then one object reused (the
  // projections alone).
  const double firstRun = BestOf3(
      [&] { newCheck()->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed); });
  Handle(quorin::algoMesh_DeviationCheckCADMesh) check = newCheck();
  check->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed);
  const double reused = BestOf3(
      [&] { check->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Signed); });

  char metrics[256];
  std::snprintf(metrics, sizeof(metrics),
                "threads=%d reference=%d deflection=%g reused-seconds=%.4f triangles/s=%.3g ",
                nbThreads, in.nbReference, in.deflection, reused,
                reused > 0.0 ? mesh->NbTriangles() / reused : 0.0);
  Report("deviation", args.input, mesh->NbTriangles(), firstRun,
         metrics + deviationFigures(check->Deviations()));
  return 0;
}

// Peer: VTK's signed distance to a surface (cell locator, closest
// point, sign from the normals), evaluated at every triangle's centroid, on one thread (its
// evaluation is not safe to share between threads). The reference surface is the shape's
// face meshes welded into one.
int deviationVtk(const Args& args)
{
  DeviationInput in;
  if (!readDeviationInput(args, in))
  {
    return 1;
  }
  const Handle(Poly_Triangulation) reference = quorin::algoMesh_Conglomerate(in.shape).GetPlain();
  vtkNew<vtkPolyData>  surface;
  vtkNew<vtkPoints>    points;
  vtkNew<vtkCellArray> cells;
  points->SetDataTypeToDouble();
  for (int i = 1; i <= reference->NbNodes(); ++i)
  {
    const gp_Pnt p = reference->Node(i);
    points->InsertNextPoint(p.X(), p.Y(), p.Z());
  }
  for (int t = 1; t <= reference->NbTriangles(); ++t)
  {
    int a, b, c;
    reference->Triangle(t).Get(a, b, c);
    const vtkIdType ids[3] = {a - 1, b - 1, c - 1};
    cells->InsertNextCell(3, ids);
  }
  surface->SetPoints(points);
  surface->SetPolys(cells);

  const Handle(Poly_Triangulation)& mesh = in.mesh;
  std::vector<double> centroids(3 * static_cast<size_t>(mesh->NbTriangles()));
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    const gp_XYZ centroid = (mesh->Node(a).XYZ() + mesh->Node(b).XYZ() + mesh->Node(c).XYZ()) / 3.0;
    centroids[3 * (t - 1)]     = centroid.X();
    centroids[3 * (t - 1) + 1] = centroid.Y();
    centroids[3 * (t - 1) + 2] = centroid.Z();
  }
  std::vector<double> deviations(static_cast<size_t>(mesh->NbTriangles()));
  auto                evaluate = [&](vtkImplicitPolyDataDistance& distance)
  {
    for (size_t k = 0; k < deviations.size(); ++k)
    {
      deviations[k] = distance.EvaluateFunction(&centroids[3 * k]);
    }
  };
  const double firstRun = BestOf3(
      [&]
      {
        vtkNew<vtkImplicitPolyDataDistance> distance;
        distance->SetInput(surface);
        evaluate(*distance);
      });
  vtkNew<vtkImplicitPolyDataDistance> distance;
  distance->SetInput(surface);
  const double reused = BestOf3([&] { evaluate(*distance); });
  char         metrics[256];
  std::snprintf(metrics, sizeof(metrics),
                "threads=1 reference=%d deflection=%g reused-seconds=%.4f triangles/s=%.3g ",
                reference->NbTriangles(), in.deflection, reused,
                reused > 0.0 ? mesh->NbTriangles() / reused : 0.0);
  Report("deviation-vtk", args.input, mesh->NbTriangles(), firstRun,
         metrics + deviationFigures(deviations));
  return 0;
}

#ifdef QUORIN_HAVE_CGAL
// Peer: CGAL's AABB tree over the shape's face meshes welded into one, built with its
// distance accelerator, then queried at every triangle's centroid on the given threads.
// The time covers the build and the queries, as ours covers the hierarchy and the queries.
int deviationCgal(const Args& args)
{
  DeviationInput in;
  if (!readDeviationInput(args, in))
  {
    return 1;
  }
  const Handle(Poly_Triangulation) reference = quorin::algoMesh_Conglomerate(in.shape).GetPlain();
  std::vector<double> xyz;
  std::vector<int>    triangles;
  for (int i = 1; i <= reference->NbNodes(); ++i)
  {
    const gp_Pnt p = reference->Node(i);
    xyz.insert(xyz.end(), {p.X(), p.Y(), p.Z()});
  }
  for (int t = 1; t <= reference->NbTriangles(); ++t)
  {
    int a, b, c;
    reference->Triangle(t).Get(a, b, c);
    triangles.insert(triangles.end(), {a - 1, b - 1, c - 1});
  }
  const Handle(Poly_Triangulation)& mesh = in.mesh;
  std::vector<double> centroids;
  centroids.reserve(3 * static_cast<size_t>(mesh->NbTriangles()));
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    const gp_XYZ centroid = (mesh->Node(a).XYZ() + mesh->Node(b).XYZ() + mesh->Node(c).XYZ()) / 3.0;
    centroids.insert(centroids.end(), {centroid.X(), centroid.Y(), centroid.Z()});
  }
  PeerDistance        peer(xyz, triangles);
  std::vector<double> deviations;
  const int           nbThreads = threadsOf(args);
  const double        seconds   = BestOf3([&] { peer.Run(centroids, nbThreads, deviations); });
  char                metrics[256];
  std::snprintf(metrics, sizeof(metrics), "threads=%d reference=%d deflection=%g ", nbThreads,
                reference->NbTriangles(), in.deflection);
  Report("deviation-cgal", args.input, mesh->NbTriangles(), seconds,
         metrics + deviationFigures(deviations));
  return 0;
}

int selfIntersectionsCgal(const Args& args)
{
  const Handle(Poly_Triangulation) input = ReadMesh(args.input);
  if (input.IsNull())
  {
    return 1;
  }
  std::vector<double> xyz;
  std::vector<int>    triangles;
  for (int i = 1; i <= input->NbNodes(); ++i)
  {
    const gp_Pnt p = input->Node(i);
    xyz.insert(xyz.end(), {p.X(), p.Y(), p.Z()});
  }
  for (int t = 1; t <= input->NbTriangles(); ++t)
  {
    int a, b, c;
    input->Triangle(t).Get(a, b, c);
    triangles.insert(triangles.end(), {a - 1, b - 1, c - 1});
  }
  PeerSelfIntersections search(xyz, triangles);
  const int             nbThreads = threadsOf(args);
  std::size_t           nbPairs   = 0;
  const double          seconds   = BestOf3([&] { nbPairs = search.Run(nbThreads); });
  Report("self-intersections-cgal", args.input, input->NbTriangles(), seconds,
         "threads=" + std::to_string(nbThreads) + " pairs=" + std::to_string(nbPairs) +
             " faces=" + std::to_string(search.NbFaces()));
  return 0;
}
#endif

} // namespace

void AddCheckTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"make-crossing-input",
                   "[DIR]  write tori-crossing-1m.stl, two interpenetrating tori (default "
                   "bench/inputs)",
                   makeCrossingInput});
  tasks.push_back({"self-intersections",
                   "MESH.stl  algoMesh_CheckSelfIntersections with recording on",
                   selfIntersections});
  tasks.push_back({"deviation",
                   "MESH.stl [SHAPE|torus] [DEFL] | SHAPE.brep|.step [DEFL]  "
                   "algoMesh_DeviationCheckCADMesh, signed, against the shape meshed at DEFL",
                   deviation});
  tasks.push_back({"deviation-vtk",
                   "same inputs  peer: VTK's vtkImplicitPolyDataDistance at "
                   "the centroids (one thread)",
                   deviationVtk});
#ifdef QUORIN_HAVE_CGAL
  tasks.push_back({"self-intersections-cgal",
                   "MESH.stl  peer: CGAL's self-intersection search (sequential for "
                   "--threads 1, else parallel)",
                   selfIntersectionsCgal});
  tasks.push_back({"deviation-cgal",
                   "same inputs as deviation  peer: CGAL's AABB tree (build and distance "
                   "queries at the centroids)",
                   deviationCgal});
#endif
}

} // namespace bench
