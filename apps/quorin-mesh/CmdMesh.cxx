// quorin-mesh mesh IN OUT: meshes a CAD part with the kernel's incremental mesher
// (algoMesh_ExtGen::DoNative) or with the surface tessellator to a maximum edge size
// (algoMesh_ExtGen::DoZeltMesh), welds the face meshes into one and writes it.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_ExtGen.hxx>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh mesh IN OUT [--deflection D] [--angle A]\n"
               "       quorin-mesh mesh IN OUT --zelt --size S [--angle A]\n"
               "\n"
               "Meshes the CAD part IN (.step, .stp, .brep), welds its face meshes into one\n"
               "mesh (nodes closer than 1e-7 shared) and writes it to OUT (%s).\n"
               "By default the kernel's incremental mesher follows a chordal deflection and an\n"
               "angle; with --zelt the surface tessellator meshes to a maximum edge size with\n"
               "well-shaped triangles.\n"
               "\n"
               "Options:\n"
               "  --deflection D  largest distance between a triangle and the part, in model\n"
               "                  units (default: 5%% of the bounding-box diagonal)\n"
               "  --angle A       largest angle between the normals along a triangle, in\n"
               "                  degrees (default: 57.3 for the kernel's mesher, 28.6 with\n"
               "                  --zelt)\n"
               "  --zelt          mesh with the surface tessellator\n"
               "  --size S        with --zelt: longest edge allowed, in model units\n"
               "  -h, --help      this text\n",
               WritableExtensions());
}
} // namespace

int RunMesh(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  double                   deflection = 0.0, angle = 0.0, size = 0.0;
  bool                     zelt = false;
  const CommandSyntax      syntax{
      "mesh",
      2,
      "two files",
      printUsage,
      {{"--angle", true,
             [&angle](const std::string& value)
             { return ParsePositive("--angle", value, angle) ? int(Exit_Ok) : int(Exit_Usage); }},
            {"--size", true,
             [&size](const std::string& value)
             { return ParsePositive("--size", value, size) ? int(Exit_Ok) : int(Exit_Usage); }},
            {"--zelt", false,
             [&zelt](const std::string&)
             {
          zelt = true;
          return int(Exit_Ok);
        }}}};
  if (const std::optional<int> stop = ParseCommandLine(syntax, arguments, paths, deflection))
  {
    return *stop;
  }
  if (zelt && size <= 0.0)
  {
    return Fail("--zelt needs --size S", Exit_Usage);
  }
  if (!zelt && size > 0.0)
  {
    return Fail("--size applies to --zelt only", Exit_Usage);
  }
  if (zelt && deflection > 0.0)
  {
    return Fail("--deflection applies to the kernel's mesher only; --zelt meshes to --size",
                Exit_Usage);
  }
  if (angle > 180.0)
  {
    return Fail("--angle must be at most 180 degrees", Exit_Usage);
  }

  MeshCommand command;
  command.InPath       = paths[0];
  command.OutPath      = paths[1];
  command.IsShapeInput = true;
  command.ReadShare    = 0.1;
  command.RunShare     = 0.8;

  // Mesh the part with the mesher asked for; both give one welded mesh.
  return RunMeshCommand(
      command,
      [&](CommandRun& run, MeshInput& input) -> std::optional<int>
      {
        const auto start = std::chrono::steady_clock::now();
        if (zelt)
        {
          Handle(quorin::algoMesh_SurfOptions) options = quorin::algoMesh_SurfOptions::Default();
          options->Real1                               = size;
          options->Real5                               = angle;
          // The tessellator is handed no progress entry, so it cannot be stopped from
          // inside: a Ctrl-C ends the process at once (no file is open yet).
          const ExitOnInterrupt watch(run.Notifier());
          if (!quorin::algoMesh_ExtGen::DoZeltMesh(input.Shape, options, run.Result,
                                                   run.Progress()))
          {
            return Fail("the tessellator could not mesh '" + input.Path +
                        "' (a face it cannot mesh, or a size so small that it would give more "
                        "than 20 million triangles)");
          }
        }
        else
        {
          if (!quorin::algoMesh_ExtGen::DoNative(input.Shape, deflection, angle * M_PI / 180.0,
                                                 run.Progress()))
          {
            return run.Fail("meshing '" + input.Path + "' failed");
          }
          run.Result = JoinFaceMeshes(input.Shape);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (run.Result.IsNull() || run.Result->NbTriangles() == 0)
        {
          return Fail("meshing '" + input.Path + "' gave no triangles");
        }
        run.Print("Meshed %s (%s) with %s in %.3f s: %d triangles, %d nodes\n", input.Path.c_str(),
                  input.Format.c_str(), zelt ? "the surface tessellator" : "the kernel's mesher",
                  seconds, run.Result->NbTriangles(), run.Result->NbNodes());
        run.Print("Boundary edges: %d\n", quorin::algoMesh_BoundaryEdges::Count(run.Result));
        run.WroteDetail = WrittenCounts(run.Result, command.OutPath);
        return std::nullopt;
      });
}

} // namespace cli
