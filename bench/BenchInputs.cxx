// make-inputs: deterministic closed smooth meshes (bumpy tori) of about 10k, 200k and 1M
// triangles, written as binary STL, so that benchmarks need no downloaded data.
#include <BenchCommon.hxx>

#include <OSD_Path.hxx>
#include <RWStl.hxx>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>

namespace
{
// A torus of major radius 1 whose tube radius undulates; nu x nv quads split into two
// triangles each, outward oriented, every edge shared by exactly two triangles.
Handle(Poly_Triangulation) bumpyTorus(const int nu, const int nv)
{
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(nu * nv, 2 * nu * nv, false);
  for (int i = 0; i < nu; ++i)
  {
    const double u = 2.0 * M_PI * i / nu;
    for (int j = 0; j < nv; ++j)
    {
      const double v = 2.0 * M_PI * j / nv;
      const double r = 0.35 * (1.0 + 0.1 * std::sin(5.0 * u) * std::cos(3.0 * v));
      mesh->SetNode(1 + i * nv + j, gp_Pnt((1.0 + r * std::cos(v)) * std::cos(u),
                                           (1.0 + r * std::cos(v)) * std::sin(u), r * std::sin(v)));
    }
  }
  int t = 1;
  for (int i = 0; i < nu; ++i)
  {
    for (int j = 0; j < nv; ++j)
    {
      const int a = 1 + i * nv + j;
      const int b = 1 + ((i + 1) % nu) * nv + j;
      const int c = 1 + ((i + 1) % nu) * nv + (j + 1) % nv;
      const int d = 1 + i * nv + (j + 1) % nv;
      mesh->SetTriangle(t++, Poly_Triangle(a, b, c));
      mesh->SetTriangle(t++, Poly_Triangle(a, c, d));
    }
  }
  return mesh;
}

int makeInputs(const bench::Args& args)
{
  const std::string dir = args.input.empty() ? "bench/inputs" : args.input;
  ::mkdir(dir.c_str(), 0755);
  const struct
  {
    const char* name;
    int         nu, nv;
  } sizes[] = {{"torus-10k", 100, 50},
               {"torus-200k", 500, 200},
               {"torus-1m", 1000, 500},
               // The same surface sampled otherwise: a reference a million triangles strong
               // for the deviation tasks, apart from torus-1m by the sampling alone.
               {"torus-1m-b", 800, 625}};
  for (const auto& size : sizes)
  {
    const std::string path          = dir + "/" + size.name + ".stl";
    Handle(Poly_Triangulation) mesh = bumpyTorus(size.nu, size.nv);
    if (!RWStl::WriteBinary(mesh, OSD_Path(path.c_str())))
    {
      std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
      return 1;
    }
    std::printf("wrote %s (%d triangles)\n", path.c_str(), mesh->NbTriangles());
  }
  return 0;
}
} // namespace

namespace bench
{
void AddInputTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"make-inputs", "[DIR]  write torus-10k/200k/1m/1m-b.stl (default bench/inputs)",
                   makeInputs});
}
} // namespace bench
