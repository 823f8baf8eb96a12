// Check benchmarks: the self-intersection check on a closed mesh and on two interpenetrating
// tori, beside the peer's self-intersection search on the same triangles (when built with
// it), and the generator of the interpenetrating input.
#include <BenchCommon.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>

#include <OSD_Path.hxx>
#include <RWStl.hxx>

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

#ifdef QUORIN_HAVE_CGAL
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
#ifdef QUORIN_HAVE_CGAL
  tasks.push_back({"self-intersections-cgal",
                   "MESH.stl  peer: the computational-geometry library's self-intersection "
                   "search (parallel)",
                   selfIntersectionsCgal});
#endif
}

} // namespace bench
