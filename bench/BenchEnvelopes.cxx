// Envelope benchmarks: the convex hull of large point clouds, beside qhull's reentrant
// library (qh_new_qhull, options "Qt": triangulated output, the same hull for clouds in
// general position) on the same points when it is installed.
//
// Clouds are plain XYZ text, one "x y z" per line; `make-clouds DIR` writes deterministic
// ones (1M points in a ball, 1M on a sphere, the nodes of DIR/torus-1m.stl when present).
// Either task also takes a binary STL and then uses its nodes.
//
// Oriented boxes of a binary STL mesh: `obb` (principal axes of the nodes), `obb-opt` (the
// same, then the optimiser) and, as the peer, the kernel's own Bnd_OBB::ReBuild on the same
// nodes, in its default and its optimal mode (`obb-occt`, `obb-occt-opt`).
#include <BenchCommon.hxx>

#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_ConvexHull.hxx>

#include <BRep_Builder.hxx>
#include <Bnd_OBB.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <TopoDS_Face.hxx>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#ifdef QUORIN_HAVE_QHULL
extern "C"
{
#include <libqhull_r/qhull_ra.h>
}
#endif

namespace bench
{
namespace
{

bool endsWith(const std::string& text, const std::string& tail)
{
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// x0, y0, z0, x1, ... of an XYZ file, or of the nodes of an STL file.
bool readCloud(const std::string& path, std::vector<double>& coords)
{
  coords.clear();
  if (endsWith(path, ".stl"))
  {
    Handle(Poly_Triangulation) mesh = ReadMesh(path);
    if (mesh.IsNull())
    {
      return false;
    }
    coords.reserve(3 * static_cast<size_t>(mesh->NbNodes()));
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      const gp_Pnt p = mesh->Node(i);
      coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
    }
    return true;
  }
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr)
  {
    std::fprintf(stderr, "cannot open '%s'\n", path.c_str());
    return false;
  }
  double x, y, z;
  while (std::fscanf(file, "%lf %lf %lf", &x, &y, &z) == 3)
  {
    coords.insert(coords.end(), {x, y, z});
  }
  std::fclose(file);
  if (coords.empty())
  {
    std::fprintf(stderr, "no points in '%s'\n", path.c_str());
    return false;
  }
  return true;
}

bool writeCloud(const std::string& path, const std::vector<double>& coords)
{
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr)
  {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return false;
  }
  for (size_t i = 0; i + 2 < coords.size(); i += 3)
  {
    std::fprintf(file, "%.17g %.17g %.17g\n", coords[i], coords[i + 1], coords[i + 2]);
  }
  std::fclose(file);
  std::printf("wrote %s (%zu points)\n", path.c_str(), coords.size() / 3);
  return true;
}

int makeClouds(const Args& args)
{
  const std::string                      dir = args.input.empty() ? "bench/inputs" : args.input;
  const size_t                           n   = 1000000;
  std::mt19937_64                        rng(20240601);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::normal_distribution<double>       normal;

  std::vector<double> ball;
  while (ball.size() < 3 * n)
  {
    const double x = uniform(rng), y = uniform(rng), z = uniform(rng);
    if (x * x + y * y + z * z <= 1.0)
    {
      ball.insert(ball.end(), {x, y, z});
    }
  }
  std::vector<double> sphere;
  while (sphere.size() < 3 * n)
  {
    const double x = normal(rng), y = normal(rng), z = normal(rng);
    const double r = std::sqrt(x * x + y * y + z * z);
    if (r > 1e-3)
    {
      sphere.insert(sphere.end(), {x / r, y / r, z / r});
    }
  }
  if (!writeCloud(dir + "/ball-1m.xyz", ball) || !writeCloud(dir + "/sphere-1m.xyz", sphere))
  {
    return 1;
  }
  std::vector<double> torus;
  if (std::ifstream(dir + "/torus-1m.stl") && readCloud(dir + "/torus-1m.stl", torus))
  {
    return writeCloud(dir + "/torus-1m-nodes.xyz", torus) ? 0 : 1;
  }
  return 0;
}

int hull(const Args& args)
{
  std::vector<double> coords;
  if (!readCloud(args.input, coords))
  {
    return 1;
  }
  int          nbNodes = 0, nbTriangles = 0;
  bool         done    = false;
  const double seconds = BestOf3(
      [&]
      {
        Handle(Poly_Triangulation) result;
        done        = quorin::algoMesh_ConvexHull().Perform(coords, result);
        nbNodes     = done ? result->NbNodes() : 0;
        nbTriangles = done ? result->NbTriangles() : 0;
      });
  if (!done)
  {
    std::fprintf(stderr, "no hull for '%s'\n", args.input.c_str());
    return 1;
  }
  Report("hull", args.input, static_cast<long long>(coords.size() / 3), seconds,
         "nodes=" + std::to_string(nbNodes) + " triangles=" + std::to_string(nbTriangles));
  return 0;
}

#ifdef QUORIN_HAVE_QHULL
int hullQhull(const Args& args)
{
  std::vector<double> coords;
  if (!readCloud(args.input, coords))
  {
    return 1;
  }
  const int    nbPoints   = static_cast<int>(coords.size() / 3);
  long long    nbVertices = 0, nbFacets = 0;
  int          status    = 0;
  char         options[] = "qhull Qt";
  const double seconds   = BestOf3(
      [&]
      {
        qhT  context;
        qhT* qh = &context;
        qh_zero(qh, stderr);
        status = qh_new_qhull(qh, 3, nbPoints, coords.data(), False, options, nullptr, stderr);
        // Collect the triangles as vertex ids, as our side builds its triangulation.
        std::vector<int> corners;
        nbVertices = status == 0 ? qh->num_vertices : 0;
        if (status == 0)
        {
          facetT* facet;
          FORALLfacets
          {
            vertexT *vertex, **vertexp;
            FOREACHvertex_(facet->vertices)
            {
              corners.push_back(qh_pointid(qh, vertex->point));
            }
          }
        }
        nbFacets = static_cast<long long>(corners.size() / 3);
        int curlong, totlong;
        qh_freeqhull(qh, !qh_ALL);
        qh_memfreeshort(qh, &curlong, &totlong);
      });
  if (status != 0)
  {
    std::fprintf(stderr, "qhull failed with status %d on '%s'\n", status, args.input.c_str());
    return 1;
  }
  Report("hull-qhull", args.input, nbPoints, seconds,
         "nodes=" + std::to_string(nbVertices) + " triangles=" + std::to_string(nbFacets));
  return 0;
}
#endif

std::string boxMetrics(const double dx, const double dy, const double dz)
{
  char text[160];
  std::snprintf(text, sizeof(text), "volume=%.6g extents=%.6g,%.6g,%.6g", dx * dy * dz, dx, dy, dz);
  return text;
}

// The mesh as the one face of a shape, welded by the builder's constructor (untimed); only
// Perform is timed.
int obbOf(const Args& args, const bool optimize)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, mesh);
  quorin::algoMesh_BuildOBB obb(face, quorin::algoMesh_BuildOBB::Mode_FromMesh, optimize);
  bool                      done    = false;
  const double              seconds = BestOf3([&] { done = obb.Perform(); });
  if (!done)
  {
    std::fprintf(stderr, "no box for '%s'\n", args.input.c_str());
    return 1;
  }
  const gp_XYZ e = obb.GetResult()->MaxCorner().XYZ() - obb.GetResult()->MinCorner().XYZ();
  Report(optimize ? "obb-opt" : "obb", args.input, obb.GetMesh()->NbNodes(), seconds,
         boxMetrics(e.X(), e.Y(), e.Z()));
  return 0;
}

int obb(const Args& args)
{
  return obbOf(args, false);
}

int obbOptimized(const Args& args)
{
  return obbOf(args, true);
}

// The kernel's box of the same nodes. Its optimal mode needs a 0-based array.
int obbKernel(const Args& args, const bool optimal)
{
  const Handle(Poly_Triangulation) mesh = ReadMesh(args.input);
  if (mesh.IsNull())
  {
    return 1;
  }
  TColgp_Array1OfPnt points(0, mesh->NbNodes() - 1);
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    points.SetValue(i - 1, mesh->Node(i));
  }
  Bnd_OBB      box;
  const double seconds = BestOf3([&] { box.ReBuild(points, nullptr, optimal); });
  Report(optimal ? "obb-occt-opt" : "obb-occt", args.input, mesh->NbNodes(), seconds,
         boxMetrics(2 * box.XHSize(), 2 * box.YHSize(), 2 * box.ZHSize()));
  return 0;
}

int obbKernelDefault(const Args& args)
{
  return obbKernel(args, false);
}

int obbKernelOptimal(const Args& args)
{
  return obbKernel(args, true);
}

} // namespace

void AddEnvelopeTasks(std::vector<Task>& tasks)
{
  tasks.push_back(
      {"make-clouds", "[DIR]  write ball-1m, sphere-1m, torus-1m-nodes .xyz clouds", makeClouds});
  tasks.push_back({"hull", "CLOUD  algoMesh_ConvexHull of an XYZ cloud (or an STL's nodes)", hull});
  tasks.push_back({"obb", "MESH  algoMesh_BuildOBB from the principal axes of the nodes", obb});
  tasks.push_back({"obb-opt", "MESH  algoMesh_BuildOBB with the optimiser", obbOptimized});
  tasks.push_back(
      {"obb-occt", "MESH  the kernel's Bnd_OBB::ReBuild on the same nodes", obbKernelDefault});
  tasks.push_back({"obb-occt-opt", "MESH  Bnd_OBB::ReBuild in its optimal mode", obbKernelOptimal});
#ifdef QUORIN_HAVE_QHULL
  tasks.push_back({"hull-qhull", "CLOUD  qhull (qh_new_qhull, Qt) of the same cloud", hullQhull});
#endif
}

} // namespace bench
