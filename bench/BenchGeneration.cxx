// Generation benchmarks: meshing a B-rep part with the kernel's incremental mesher through
// algoMesh_ExtGen::DoNative and with the surface tessellator through DoZeltMesh, beside the
// bare kernel mesher at the same deflection. Each reports the triangles produced (after
// welding), the largest deviation of a triangle from the part (centroid distance to a
// reference meshed 20 times finer) and the smallest triangle angle.
#include <BenchCommon.hxx>

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_DeviationCheckCADMesh.hxx>
#include <algoMesh_ExtGen.hxx>

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bench
{
namespace
{

double numberOption(const Args& args, const size_t index, const double fallback)
{
  return args.options.size() > index ? std::atof(args.options[index].c_str()) : fallback;
}

// Largest centroid deviation from the part and smallest angle (degrees) of a mesh.
std::string meshFigures(const TopoDS_Shape& part,
                        const double        referenceDeflection,
                        const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull())
  {
    return "triangles=0";
  }
  TopoDS_Shape reference = BRepBuilderAPI_Copy(part, true, false).Shape();
  BRepTools::Clean(reference);
  BRepMesh_IncrementalMesh(reference, referenceDeflection, false, 0.1, true);
  Handle(quorin::algoMesh_DeviationCheckCADMesh) check =
      new quorin::algoMesh_DeviationCheckCADMesh(reference);
  double maxDeviation = -1.0;
  if (check->Perform(mesh, quorin::algoMesh_DeviationCheckCADMesh::DistType_Unsigned))
  {
    for (const double d : check->Deviations())
    {
      maxDeviation = std::max(maxDeviation, d);
    }
  }
  double minAngle = M_PI;
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const gp_Vec u(mesh->Node(n[k]), mesh->Node(n[(k + 1) % 3]));
      const gp_Vec v(mesh->Node(n[k]), mesh->Node(n[(k + 2) % 3]));
      if (u.Magnitude() > 0.0 && v.Magnitude() > 0.0)
      {
        minAngle = std::min(minAngle, u.Angle(v));
      }
    }
  }
  char text[160];
  std::snprintf(text, sizeof(text), "triangles=%d max-deviation=%.4g min-angle=%.3g",
                mesh->NbTriangles(), maxDeviation, minAngle * 180.0 / M_PI);
  return text;
}

// quorin-bench mesh-native PART DEFLECTION [ANGLE]
int meshNative(const Args& args)
{
  const TopoDS_Shape part = ReadShape(args.input);
  if (part.IsNull())
  {
    return 1;
  }
  const double deflection = numberOption(args, 0, 0.0);
  const double angle      = numberOption(args, 1, 0.5);
  bool         done       = false;
  const double seconds    = BestOf3(
      [&] {
        done = quorin::algoMesh_ExtGen::DoNative(part, deflection, angle, ActAPI_ProgressEntry());
      },
      [&] { BRepTools::Clean(part); });
  const Handle(Poly_Triangulation) mesh = quorin::algoMesh_Conglomerate(part).GetPlain();
  Report("mesh-native", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         std::string(done ? "" : "FAILED ") + "deflection=" + std::to_string(deflection) + " " +
             meshFigures(part, deflection / 20.0, mesh));
  return done ? 0 : 1;
}

// Peer: the bare kernel mesher, same arguments as mesh-native.
int meshKernel(const Args& args)
{
  const TopoDS_Shape part = ReadShape(args.input);
  if (part.IsNull())
  {
    return 1;
  }
  const double deflection = numberOption(args, 0, 0.1);
  const double angle      = numberOption(args, 1, 0.5);
  const double seconds =
      BestOf3([&] { BRepMesh_IncrementalMesh(part, deflection, false, angle, true); },
              [&] { BRepTools::Clean(part); });
  const Handle(Poly_Triangulation) mesh = quorin::algoMesh_Conglomerate(part).GetPlain();
  Report("mesh-kernel", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         "deflection=" + std::to_string(deflection) + " " +
             meshFigures(part, deflection / 20.0, mesh));
  return 0;
}

// quorin-bench mesh-zelt PART SIZE [ANGLE-DEGREES]
int meshZelt(const Args& args)
{
  const TopoDS_Shape part = ReadShape(args.input);
  if (part.IsNull())
  {
    return 1;
  }
  Handle(quorin::algoMesh_SurfOptions) options = quorin::algoMesh_SurfOptions::Default();
  options->Real1                               = numberOption(args, 0, 1.0);
  options->Real5                               = numberOption(args, 1, 0.0);
  Handle(Poly_Triangulation) mesh;
  bool         done    = false;
  const double seconds = BestOf3(
      [&]
      { done = quorin::algoMesh_ExtGen::DoZeltMesh(part, options, mesh, ActAPI_ProgressEntry()); });
  double maxEdge = 0.0;
  for (int t = 1; !mesh.IsNull() && t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      maxEdge = std::max(maxEdge, mesh->Node(n[k]).Distance(mesh->Node(n[(k + 1) % 3])));
    }
  }
  char size[96];
  std::snprintf(size, sizeof(size), "size=%g max-edge=%.4g ", options->Real1, maxEdge);
  Report("mesh-zelt", args.input, mesh.IsNull() ? 0 : mesh->NbTriangles(), seconds,
         std::string(done ? "" : "FAILED ") + size +
             meshFigures(part, options->Real1 / 400.0, mesh));
  return done ? 0 : 1;
}

} // namespace

void AddGenerationTasks(std::vector<Task>& tasks)
{
  tasks.push_back({"mesh-native", "PART.brep|.step DEFLECTION [ANGLE]", meshNative});
  tasks.push_back({"mesh-kernel", "PART.brep|.step DEFLECTION [ANGLE] (peer)", meshKernel});
  tasks.push_back({"mesh-zelt", "PART.brep|.step SIZE [ANGLE-DEGREES]", meshZelt});
  AddMeshingTasks(tasks);
}

} // namespace bench
