// Meshing quality benchmark: the surface tessellator (algoMesh_ExtGen::DoZeltMesh) against
// Gmsh's surface mesher (`gmsh -2 -clmax S`, run as a separate process when it is installed)
// on the same part at the same size S, given as a fraction of the part's bounding-box
// diagonal. Both sides are judged by the same figures, computed here from the welded mesh:
// triangles, median edge over S, percentiles of the triangles' smallest angles, share of
// triangles under 20 degrees, largest aspect ratio (longest edge over the shortest height,
// times sqrt(3)/2: 1 for an equilateral triangle), boundary and non-manifold edges,
// triangles involved in self-intersections, and the largest distance to the B-rep (centroid
// distance to a reference meshed at S/1000). Parts are files or generated ones
// ("generated:nut" ...), which are written as BREP files for Gmsh to read.
#include <BenchCommon.hxx>
#include <GeneratedParts.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_ExtGen.hxx>
#include <algoMesh_Extent.hxx>

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Copy.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BinTools.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

namespace bench
{
namespace
{

struct GeneratedPart
{
  const char* name;
  TopoDS_Shape (*make)();
};
const GeneratedPart THE_PARTS[] = {
    {"nut", gentest::ChamferedNut},
    {"plate", gentest::PlateWithHoles},
    {"narrow", gentest::NarrowChamfer},
    {"cylinder", []() -> TopoDS_Shape { return BRepPrimAPI_MakeCylinder(10.0, 30.0).Shape(); }},
    {"crank", gentest::FilletedCrank},
    {"linkrod", gentest::LinkRod},
    {"sphere", []() -> TopoDS_Shape { return BRepPrimAPI_MakeSphere(10.0).Shape(); }},
    {"tinystep", gentest::TinyStep},
    {"roundbox", gentest::RoundBox},
    {"cone", []() -> TopoDS_Shape { return BRepPrimAPI_MakeCone(10.0, 0.0, 20.0).Shape(); }},
    {"torus", []() -> TopoDS_Shape { return BRepPrimAPI_MakeTorus(20.0, 5.0).Shape(); }},
    {"vase", gentest::Vase}};

// The part meshed at S/1000, which stands for its surface: at S/100 its own chords (up to
// S/100 off) are as large as the distances being compared. Meshing it is most of a task's
// time at 0.5 % (many minutes on a torus or a sphere), and both sides of a comparison need
// the same one, so it is kept in /tmp (binary BREP with triangles) under the name of the
// input and the size, and read back by the next task asking for it.
TopoDS_Shape referenceMesh(const TopoDS_Shape& part, const std::string& input, const double size)
{
  std::string name = input;
  for (char& c : name)
  {
    c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  char suffix[64];
  std::snprintf(suffix, sizeof(suffix), "-%.17g.bin", size);
  const std::string cached = "/tmp/quorin-bench-reference-" + name + suffix;
  TopoDS_Shape      reference;
  if (BinTools::Read(reference, cached.c_str()) && !reference.IsNull())
  {
    return reference;
  }
  reference = BRepBuilderAPI_Copy(part, true, false).Shape();
  BRepTools::Clean(reference);
  BRepMesh_IncrementalMesh(reference, size / 1000.0, false, 0.1, true);
  // Written under a temporary name and renamed, so that a task running beside this one
  // never reads half a file.
  const std::string partial = cached + "." + std::to_string(getpid());
  if (BinTools::Write(reference, partial.c_str()))
  {
    std::rename(partial.c_str(), cached.c_str());
  }
  return reference;
}

// The figures both sides are judged by.
std::string qualityFigures(const TopoDS_Shape& part,
                           const std::string&  input,
                           const double        size,
                           const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull() || mesh->NbTriangles() == 0)
  {
    return "triangles=0";
  }
  std::map<std::pair<int, int>, int> edges;
  std::vector<double>                angles;
  double                             maxAspect = 0.0;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    double length[3], smallest = M_PI, longest = 0.0;
    for (int k = 0; k < 3; ++k)
    {
      ++edges[std::minmax(n[k], n[(k + 1) % 3])];
      length[k] = mesh->Node(n[k]).Distance(mesh->Node(n[(k + 1) % 3]));
      longest   = std::max(longest, length[k]);
      const gp_Vec u(mesh->Node(n[k]), mesh->Node(n[(k + 1) % 3]));
      const gp_Vec v(mesh->Node(n[k]), mesh->Node(n[(k + 2) % 3]));
      smallest = u.Magnitude() > 0.0 && v.Magnitude() > 0.0 ? std::min(smallest, u.Angle(v)) : 0.0;
    }
    angles.push_back(smallest * 180.0 / M_PI);
    const double area2 = gp_Vec(mesh->Node(n[0]), mesh->Node(n[1]))
                             .Crossed(gp_Vec(mesh->Node(n[0]), mesh->Node(n[2])))
                             .Magnitude();
    maxAspect = area2 > 0.0 ? std::max(maxAspect, longest * longest / area2 * std::sqrt(3.0) / 2.0)
                            : 1.0e300;
  }
  std::vector<double> lengths;
  int                 boundary = 0, nonManifold = 0;
  for (const auto& edge : edges)
  {
    lengths.push_back(mesh->Node(edge.first.first).Distance(mesh->Node(edge.first.second)));
    boundary += edge.second == 1;
    nonManifold += edge.second > 2;
  }
  std::sort(lengths.begin(), lengths.end());
  std::sort(angles.begin(), angles.end());
  const auto percentile = [&angles](const double p)
  { return angles[std::min(angles.size() - 1, size_t(p * angles.size()))]; };
  const double under20 = 100.0 *
                         (std::lower_bound(angles.begin(), angles.end(), 20.0) - angles.begin()) /
                         angles.size();

  Handle(quorin::algoMesh_CheckSelfIntersections) intersections =
      new quorin::algoMesh_CheckSelfIntersections();
  intersections->SaveSelfIntersections(true);
  const int crossing =
      intersections->Perform(mesh) ? intersections->IntersectingTriangles().Extent() : 0;

  const TopoDS_Shape reference = referenceMesh(part, input, size);
  Handle(quorin::algoMesh_DeviationCheckCADMesh) deviation =
      new quorin::algoMesh_DeviationCheckCADMesh(reference);
  double maxDistance = -1.0;
  if (deviation->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned))
  {
    for (const double d : deviation->Deviations())
    {
      maxDistance = std::max(maxDistance, d);
    }
  }
  char text[400];
  std::snprintf(text, sizeof(text),
                "size=%.4g triangles=%d median-edge/S=%.3f max-edge/S=%.3f min-angle-p1=%.1f "
                "p5=%.1f p50=%.1f under20=%.2f%% max-aspect=%.3g boundary=%d non-manifold=%d "
                "crossing-triangles=%d max-distance=%.3g",
                size, mesh->NbTriangles(), lengths[lengths.size() / 2] / size,
                lengths.back() / size, percentile(0.01), percentile(0.05), percentile(0.5), under20,
                maxAspect, boundary, nonManifold, crossing, maxDistance);
  return text;
}

// The part and the size of a task: a file or "generated:NAME", and the size as a fraction
// of the bounding-box diagonal (default 0.02).
bool partAndSize(const Args& args, TopoDS_Shape& part, std::string& path, double& size)
{
  path = args.input;
  if (path.rfind("generated:", 0) == 0)
  {
    for (const GeneratedPart& generated : THE_PARTS)
    {
      if (path == std::string("generated:") + generated.name)
      {
        part = generated.make();
        path = "/tmp/quorin-bench-" + std::string(generated.name) + "-" + std::to_string(getpid()) +
               ".brep";
        BRepTools::Write(part, path.c_str());
      }
    }
  }
  else
  {
    part = ReadShape(path);
  }
  if (part.IsNull())
  {
    return false;
  }
  const double fraction = args.options.empty() ? 0.02 : std::atof(args.options[0].c_str());
  size                  = fraction * quorin::algoMesh_Extent::Diagonal(part, true);
  return size > 0.0;
}

// quorin-bench mesh-quality PART [FRACTION]: the surface tessellator.
int meshQuality(const Args& args)
{
  TopoDS_Shape part;
  std::string  path;
  double       size = 0.0;
  if (!partAndSize(args, part, path, size))
  {
    return 1;
  }
  Handle(quorin::algoMesh_SurfOptions) options = quorin::algoMesh_SurfOptions::Default();
  options->Real1                               = size;
  Handle(Poly_Triangulation) mesh;
  bool         done    = false;
  double       cpu     = 1.0e300;
  const double seconds = BestOf3(
      [&]
      {
        const std::clock_t start = std::clock();
        done = quorin::algoMesh_ExtGen::DoZeltMesh(part, options, mesh, ActAPI_ProgressEntry());
        cpu  = std::min(cpu, double(std::clock() - start) / CLOCKS_PER_SEC);
      });
  char cpuText[64];
  std::snprintf(cpuText, sizeof(cpuText), " cpu-seconds=%.3f", cpu);
  Report("mesh-quality", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         std::string(done ? "" : "FAILED ") + qualityFigures(part, args.input, size, mesh) +
             cpuText);
  return done ? 0 : 1;
}

// quorin-bench mesh-gmsh PART [FRACTION]: the peer, `gmsh PART -2 -clmax S`, three runs; the
// times are Gmsh's own wall and CPU times of its 1D and 2D meshing (reading and writing
// excluded), best of the three.
int meshGmsh(const Args& args)
{
  TopoDS_Shape part;
  std::string  path;
  double       size = 0.0;
  if (!partAndSize(args, part, path, size))
  {
    return 1;
  }
  if (std::system("command -v gmsh >/dev/null 2>&1") != 0)
  {
    std::fprintf(stderr, "gmsh is not installed (WITH_PEERS=1 scripts/install-deps.sh)\n");
    return 1;
  }
  // Named after the process, so that runs side by side do not read each other's meshes.
  const std::string stem = "/tmp/quorin-bench-gmsh-" + std::to_string(getpid());
  const std::string out = stem + ".stl", log = stem + ".log";
  double            best = 1.0e300, bestCpu = 1.0e300;
  for (int run = 0; run < 3; ++run)
  {
    char command[1024];
    std::snprintf(command, sizeof(command), "gmsh '%s' -2 -clmax %.17g -o %s > %s 2>&1",
                  path.c_str(), size, out.c_str(), log.c_str());
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command) != 0)
    {
      std::fprintf(stderr, "gmsh failed on '%s' (see %s)\n", path.c_str(), log.c_str());
      return 1;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Gmsh's own wall times of the meshing steps, when it prints them.
    std::ifstream text(log);
    std::string   line;
    double        meshing = 0.0, cpu = 0.0;
    bool          found = false;
    while (std::getline(text, line))
    {
      const size_t at   = line.find("Done meshing");
      const size_t wall = line.find("(Wall ");
      const size_t used = line.find("CPU ");
      if (at != std::string::npos && wall != std::string::npos && used != std::string::npos)
      {
        meshing += std::atof(line.c_str() + wall + 6);
        cpu += std::atof(line.c_str() + used + 4);
        found = true;
      }
    }
    best    = std::min(best, found ? meshing : seconds);
    bestCpu = std::min(bestCpu, found ? cpu : seconds);
  }
  const Handle(Poly_Triangulation) mesh = ReadMesh(out);
  char cpuText[64];
  std::snprintf(cpuText, sizeof(cpuText), " cpu-seconds=%.3f", bestCpu);
  Report("mesh-gmsh", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), best,
         qualityFigures(part, args.input, size, mesh) + cpuText);
  return mesh.IsNull() ? 1 : 0;
}

} // namespace

void AddMeshingTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"mesh-quality",
                   "PART|generated:nut|plate|narrow|cylinder|crank|linkrod|sphere|tinystep|"
                   "roundbox|cone|torus|vase [FRACTION]",
                   meshQuality});
  tasks.push_back({"mesh-gmsh", "PART|generated:NAME [FRACTION] (peer)", meshGmsh});
}

} // namespace bench
