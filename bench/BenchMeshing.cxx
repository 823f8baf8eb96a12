// Meshing quality benchmark: the surface tessellator (algoMesh_ExtGen::DoZeltMesh) against
// Gmsh's surface mesher (`gmsh -2 -clmax S`, run as a separate process when it is installed)
// on the same part at the same size S, given as a fraction of the part's bounding-box
// diagonal. Both sides are judged by the same figures, computed here from the welded mesh:
// triangles, median edge over S, percentiles of the triangles' smallest angles, share of
// triangles under 20 degrees, largest aspect ratio (longest edge over the shortest height,
// times sqrt(3)/2: 1 for an equilateral triangle), boundary and non-manifold edges,
// triangles involved in self-intersections, and the largest distance to the B-rep (samples
// of every triangle projected onto the exact surfaces). Parts are files or generated ones
// ("generated:nut" ...), which are written as BREP files for Gmsh to read. Four prefixes
// turn any part into one shaped like other CAD systems' output: "nurbs:" converts every
// curve and surface to a B-spline, "step:" writes the part to STEP and reads it back
// (p-curves recomputed by the reader), "loose:" sets every vertex, edge and face tolerance
// to 0.01, as exported models often carry, and "split:" cuts every surface of revolution
// into faces of a quarter turn at most, as systems without closed faces write them; they
// combine ("step:nurbs:generated:nut").
#include <BenchCommon.hxx>
#include <FreeformParts.hxx>
#include <GeneratedParts.hxx>
#include <RobustnessParts.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_ExtGen.hxx>
#include <algoMesh_Extent.hxx>

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Copy.hxx>
#include <BRepCheck_Analyzer.hxx>
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
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <BVHTools_ProjectPntMesh.hxx>
#include <BVHTools_TriangleSet.hxx>
#include <ShapeAnalysis_Surface.hxx>
#include <ShapeFix_Shape.hxx>
#include <ShapeFix_ShapeTolerance.hxx>
#include <ShapeUpgrade_ShapeDivideAngle.hxx>
#include <Bnd_Box.hxx>
#include <STEPControl_Reader.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
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
#include <memory>
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
    {"vase", gentest::Vase},
    {"filletcyl", gentest::FilletedChamferedCylinder},
    {"chamferbox", gentest::ChamferedBox},
    {"drilled", gentest::DrilledPlate},
    {"cutcone", gentest::CutCone},
    {"cutsphere", gentest::CutSphere},
    {"pulley", gentest::Pulley},
    {"bentpipe", gentest::BentPipe},
    {"thincup", gentest::ThinCup},
    {"shortedge", gentest::ShortEdgePrism},
    {"tangent", gentest::TangentBlock},
    {"crossdrilled", gentest::CrossDrilledCylinder},
    {"halftorus", gentest::HalfTorus},
    {"boredsphere", gentest::BoredSphere},
    {"filletchamfer", gentest::FilletThenChamferBox},
    {"crescent", gentest::CrescentPipe},
    {"loft", gentest::FreeformLoft},
    {"sweep", gentest::SplineSweep},
    {"shell", gentest::ShelledBox},
    {"varfillet", gentest::VariableFilletBlock},
    {"freeform", gentest::DrilledFreeformBlock}};

// Largest distance from a mesh to the exact surfaces of the part. Every triangle is sampled
// at its centroid and its edge midpoints (its corners are nodes, which both meshers place on
// the surface); each sample takes the face of the nearest triangle of a coarse kernel mesh of
// the part and is projected onto that face's surface (Newton from the parameters of that
// triangle, the kernel's full search when it fails). A sample whose distance could raise the
// maximum is projected onto the neighbouring faces too and keeps the smallest distance, since
// near an edge the nearest coarse triangle may belong to the other face (and, when that
// still leaves it large, onto every face whose box is near enough). Cost: one tree
// search and one or two projections per sample, whatever the size, where a reference mesh
// fine enough to measure against grows with the inverse square of the size (minutes at 0.5 %
// on a torus).
struct SurfaceDistance
{
  double centroids = 0.0; //!< largest distance of a centroid
  double samples   = 0.0; //!< largest distance of any sample
};

class ExactDistance
{
public:
  explicit ExactDistance(const TopoDS_Shape& part, const double size)
      : myShape(BRepBuilderAPI_Copy(part, true, false).Shape())
  {
    // 1. Mesh a copy coarsely: it only tells which face a point is over.
    BRepTools::Clean(myShape);
    BRepMesh_IncrementalMesh(myShape, size / 20.0, false, 0.2, true);
    myProjector = std::make_unique<BVHTools::ProjectPntMesh>(new BVHTools::TriangleSet(myShape));
    // 2. Faces in the triangle set's order, with the first triangle number of each.
    TopTools_IndexedMapOfShape                faces;
    TopTools_IndexedDataMapOfShapeListOfShape edgeFaces;
    TopExp::MapShapes(myShape, TopAbs_FACE, faces);
    TopExp::MapShapesAndAncestors(myShape, TopAbs_EDGE, TopAbs_FACE, edgeFaces);
    int first = 1;
    for (TopExp_Explorer exp(myShape, TopAbs_FACE); exp.More(); exp.Next())
    {
      const TopoDS_Face& face = TopoDS::Face(exp.Current());
      TopLoc_Location    location;
      const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
      myFirst.push_back(first);
      myFaces.push_back(faces.FindIndex(face));
      first += mesh.IsNull() ? 0 : mesh->NbTriangles();
    }
    myFirst.push_back(first);
    mySurfaces.resize(faces.Extent() + 1);
    myBoxes.resize(faces.Extent() + 1);
    myNeighbours.resize(faces.Extent() + 1);
    for (int f = 1; f <= faces.Extent(); ++f)
    {
      mySurfaces[f] = new ShapeAnalysis_Surface(BRep_Tool::Surface(TopoDS::Face(faces(f))));
      BRepBndLib::Add(faces(f), myBoxes[f], false);
      myBoxes[f].Enlarge(size / 20.0);
      for (TopExp_Explorer exp(faces(f), TopAbs_EDGE); exp.More(); exp.Next())
      {
        for (const TopoDS_Shape& other : edgeFaces.FindFromKey(exp.Current()))
        {
          const int         index = faces.FindIndex(other);
          std::vector<int>& list  = myNeighbours[f];
          if (index != f && std::find(list.begin(), list.end(), index) == list.end())
          {
            list.push_back(index);
          }
        }
      }
    }
    myFaceShapes = faces;
  }

  SurfaceDistance Perform(const Handle(Poly_Triangulation) & mesh)
  {
    SurfaceDistance result;
    int             position = -1;
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int n[3];
      mesh->Triangle(t).Get(n[0], n[1], n[2]);
      const gp_XYZ a = mesh->Node(n[0]).XYZ(), b = mesh->Node(n[1]).XYZ(),
                   c          = mesh->Node(n[2]).XYZ();
      const gp_Pnt samples[4] = {(a + b + c) / 3.0, (a + b) / 2.0, (b + c) / 2.0, (c + a) / 2.0};
      for (int k = 0; k < 4; ++k)
      {
        // Each maximum is only raised by a sample whose nearest face gives more than it.
        const double d = distance(samples[k], position, k == 0 ? result.centroids : result.samples);
        result.samples = std::max(result.samples, d);
        if (k == 0)
        {
          result.centroids = std::max(result.centroids, d);
        }
      }
    }
    return result;
  }

private:
  // Distance of one sample; below `bound` it may be answered without the neighbours.
  double distance(const gp_Pnt& point, int& position, const double bound)
  {
    if (myProjector->DistanceNear(point, false, position) < 0.0)
    {
      return 0.0;
    }
    const int id = myProjector->Id(position);
    const int slot =
        int(std::upper_bound(myFirst.begin(), myFirst.end(), id) - myFirst.begin()) - 1;
    const int    face   = myFaces[slot];
    const double onFace = project(face, point, guess(slot, id - myFirst[slot] + 1));
    if (onFace <= bound)
    {
      return onFace;
    }
    double best = onFace;
    for (const int other : myNeighbours[face])
    {
      best = std::min(best, project(other, point, nullptr));
    }
    // The coarse mesh's chords stand up to S/20 off the surfaces, so beside a narrow face
    // (a fillet) the nearest coarse triangle can belong to a face that does not touch it:
    // then every face whose box is nearer than the best so far, keeping projections that
    // land within the face's box.
    if (best > bound)
    {
      Bnd_Box at;
      at.Add(point);
      for (int other = 1; other < static_cast<int>(myBoxes.size()); ++other)
      {
        if (myBoxes[other].Distance(at) < best)
        {
          best = std::min(best, project(other, point, nullptr, &myBoxes[other]));
        }
      }
    }
    return best;
  }

  // The parameters of the centroid of a coarse triangle of a face, when it has them.
  std::unique_ptr<gp_Pnt2d> guess(const int slot, const int triangle) const
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh =
        BRep_Tool::Triangulation(TopoDS::Face(myFaceShapes(myFaces[slot])), location);
    if (mesh.IsNull() || !mesh->HasUVNodes() || triangle > mesh->NbTriangles())
    {
      return nullptr;
    }
    int n[3];
    mesh->Triangle(triangle).Get(n[0], n[1], n[2]);
    return std::make_unique<gp_Pnt2d>(
        (mesh->UVNode(n[0]).XY() + mesh->UVNode(n[1]).XY() + mesh->UVNode(n[2]).XY()) / 3.0);
  }

  // Distance to the face's surface; with `within`, a projection outside that box counts as
  // no answer (infinite).
  double project(const int                        face,
                 const gp_Pnt&                    point,
                 const std::unique_ptr<gp_Pnt2d>& start,
                 const Bnd_Box*                   within = nullptr)
  {
    const Handle(ShapeAnalysis_Surface)& surface = mySurfaces[face];
    const double   precision                     = 1.0e-9;
    const gp_Pnt2d uv   = start ? surface->NextValueOfUV(*start, point, precision)
                                : surface->ValueOfUV(point, precision);
    const gp_Pnt   foot = surface->Value(uv);
    if (within != nullptr && within->IsOut(foot))
    {
      return 1.0e300;
    }
    return point.Distance(foot);
  }

  TopoDS_Shape                               myShape;
  std::unique_ptr<BVHTools::ProjectPntMesh>  myProjector;
  TopTools_IndexedMapOfShape                 myFaceShapes;
  std::vector<int>                           myFirst;      //!< first triangle per face slot
  std::vector<int>                           myFaces;      //!< face index per face slot
  std::vector<Handle(ShapeAnalysis_Surface)> mySurfaces;   //!< per face index
  std::vector<std::vector<int>>              myNeighbours; //!< faces sharing an edge
  std::vector<Bnd_Box>                       myBoxes;      //!< per face index, enlarged by S/20
};

// The figures both sides are judged by.
std::string
qualityFigures(const TopoDS_Shape& part, const double size, const Handle(Poly_Triangulation) & mesh)
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

  const SurfaceDistance distance = ExactDistance(part, size).Perform(mesh);
  char                  text[400];
  std::snprintf(text, sizeof(text),
                "size=%.4g triangles=%d median-edge/S=%.3f max-edge/S=%.3f min-angle-p1=%.1f "
                "p5=%.1f p50=%.1f under20=%.2f%% max-aspect=%.3g boundary=%d non-manifold=%d "
                "crossing-triangles=%d max-distance=%.3g centroid-distance=%.3g",
                size, mesh->NbTriangles(), lengths[lengths.size() / 2] / size,
                lengths.back() / size, percentile(0.01), percentile(0.05), percentile(0.5), under20,
                maxAspect, boundary, nonManifold, crossing, distance.samples, distance.centroids);
  return text;
}

// A part by name: a file, "generated:NAME", or one of those behind "nurbs:", "step:",
// "loose:" or "split:".
TopoDS_Shape makePart(const std::string& name)
{
  if (name.rfind("split:", 0) == 0)
  {
    const TopoDS_Shape part = makePart(name.substr(6));
    if (part.IsNull())
    {
      return part;
    }
    // The division leaves p-curves and tolerances for the healing a reader would apply.
    ShapeUpgrade_ShapeDivideAngle divide(M_PI / 2.0, part);
    if (!divide.Perform())
    {
      return part;
    }
    ShapeFix_Shape fix(divide.Result());
    fix.Perform();
    return fix.Shape();
  }
  if (name.rfind("loose:", 0) == 0)
  {
    const TopoDS_Shape part = makePart(name.substr(6));
    if (part.IsNull())
    {
      return part;
    }
    const TopoDS_Shape copy = BRepBuilderAPI_Copy(part).Shape();
    ShapeFix_ShapeTolerance().SetTolerance(copy, 0.01);
    return copy;
  }
  if (name.rfind("nurbs:", 0) == 0)
  {
    const TopoDS_Shape part = makePart(name.substr(6));
    return part.IsNull() ? part : gentest::ToBSplines(part);
  }
  if (name.rfind("step:", 0) == 0)
  {
    const TopoDS_Shape part = makePart(name.substr(5));
    if (part.IsNull())
    {
      return part;
    }
    const std::string  path = "/tmp/quorin-bench-step-" + std::to_string(getpid()) + ".step";
    STEPControl_Writer writer;
    if (writer.Transfer(part, STEPControl_AsIs) != IFSelect_RetDone ||
        writer.Write(path.c_str()) != IFSelect_RetDone)
    {
      std::fprintf(stderr, "cannot write '%s' as STEP\n", name.c_str());
      return TopoDS_Shape();
    }
    const TopoDS_Shape read = ReadShape(path);
    std::remove(path.c_str());
    return read;
  }
  if (name.rfind("generated:", 0) == 0)
  {
    for (const GeneratedPart& generated : THE_PARTS)
    {
      if (name == std::string("generated:") + generated.name)
      {
        return generated.make();
      }
    }
    std::fprintf(stderr, "no generated part '%s'\n", name.c_str());
    return TopoDS_Shape();
  }
  return ReadShape(name);
}

// The part and the size of a task: a part name (see makePart), and the size as a fraction
// of the bounding-box diagonal (default 0.02). A part not read from a file as it is, is
// written as BREP for Gmsh.
bool partAndSize(const Args& args, TopoDS_Shape& part, std::string& path, double& size)
{
  path = args.input;
  part = makePart(path);
  if (part.IsNull())
  {
    return false;
  }
  if (path.find(':') != std::string::npos)
  {
    std::string stem = path;
    std::replace_if(
        stem.begin(), stem.end(), [](const char c) { return !std::isalnum(c); }, '-');
    path = "/tmp/quorin-bench-" + stem + "-" + std::to_string(getpid()) + ".brep";
    BRepTools::Write(part, path.c_str());
  }
  const double fraction = args.options.empty() ? 0.02 : std::atof(args.options[0].c_str());
  size                  = fraction * quorin::algoMesh_Extent::Diagonal(part, true);
  return size > 0.0;
}

// quorin-bench mesh-quality PART [FRACTION]: the surface tessellator, best of three runs;
// mesh-check the same figures from one run, for trying many parts.
int meshRuns(const Args& args, const int runs)
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
  bool       done = false;
  double     cpu  = 1.0e300;
  const auto run  = [&]
  {
    const std::clock_t start = std::clock();
    done = quorin::algoMesh_ExtGen::DoZeltMesh(part, options, mesh, ActAPI_ProgressEntry());
    cpu  = std::min(cpu, double(std::clock() - start) / CLOCKS_PER_SEC);
  };
  double seconds = 0.0;
  if (runs == 3)
  {
    seconds = BestOf3(run);
  }
  else
  {
    const auto start = std::chrono::steady_clock::now();
    run();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  char cpuText[64];
  std::snprintf(cpuText, sizeof(cpuText), " cpu-seconds=%.3f", cpu);
  // A part the kernel finds invalid (a Boolean gone wrong) is no test of the mesher.
  const std::string validity = runs == 3                            ? std::string()
                               : BRepCheck_Analyzer(part).IsValid() ? " valid"
                                                                    : " INVALID";
  Report(runs == 3 ? "mesh-quality" : "mesh-check", args.input,
         mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         std::string(done ? "" : "FAILED ") + qualityFigures(part, size, mesh) + cpuText +
             validity);
  return done ? 0 : 1;
}

int meshQuality(const Args& args)
{
  return meshRuns(args, 3);
}

int meshCheck(const Args& args)
{
  return meshRuns(args, 1);
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
         qualityFigures(part, size, mesh) + cpuText);
  return mesh.IsNull() ? 1 : 0;
}

} // namespace

void AddMeshingTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"mesh-quality",
                   "PART|generated:nut|plate|narrow|cylinder|crank|linkrod|sphere|tinystep|"
                   "roundbox|cone|torus|vase|filletcyl|chamferbox|drilled|cutcone|cutsphere|"
                   "pulley|bentpipe|thincup|shortedge|tangent|crossdrilled|halftorus|"
                   "boredsphere|filletchamfer|crescent|loft|sweep|shell|varfillet|freeform, "
                   "each also behind nurbs:, step:, loose: or split: [FRACTION]",
                   meshQuality});
  tasks.push_back({"mesh-check", "PART|generated:NAME [FRACTION] (one run)", meshCheck});
  tasks.push_back({"mesh-gmsh", "PART|generated:NAME [FRACTION] (peer)", meshGmsh});
}

} // namespace bench
