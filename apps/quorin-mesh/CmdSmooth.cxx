// quorin-mesh smooth IN OUT [--vtk | --openmesh] [--iterations N]: smooths the mesh of a
// mesh or CAD file with algoMesh_Smooth and writes the result.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <algoMesh_Smooth.hxx>

#include <cstdio>
#include <cstdlib>

namespace cli
{

namespace
{
const int THE_DEFAULT_ITERATIONS = 10;

void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh smooth IN OUT [--openmesh | --vtk] [--iterations N]\n"
               "                   [--deflection D]\n"
               "\n"
               "Smooths the mesh of IN by Laplacian smoothing and writes it to OUT, in the\n"
               "format of its extension. Boundary nodes stay in place; node and triangle\n"
               "counts are kept (coincident nodes are merged). Readable: %s.\n"
               "Writable: %s.\n"
               "\n"
               "Options:\n"
               "  --openmesh      OpenMesh's Jacobi-Laplace smoother, bi-Laplacian moves (the\n"
               "                  default); coordinates pass through single precision\n"
               "  --vtk           VTK's smoothing filter (relaxation factor 0.01 per step)\n"
               "  --iterations N  number of smoothing steps, 0 or more (default: %d)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), WritableExtensions(), THE_DEFAULT_ITERATIONS);
}

//! Reads a count of 0 or more.
int parseIterations(const std::string& text, int& iterations)
{
  char*      end    = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < 0 || parsed > 1000000)
  {
    return Fail("--iterations needs a whole number from 0 to 1000000, got '" + text + "'",
                Exit_Usage);
  }
  iterations = static_cast<int>(parsed);
  return Exit_Ok;
}
} // namespace

int RunSmooth(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshCommand              command;
  int                      iterations = THE_DEFAULT_ITERATIONS;
  const char*              engine     = nullptr; // nullptr until chosen: OpenMesh
  const auto               choose     = [&engine](const char* asked)
  {
    if (engine != nullptr && std::string(engine) != asked)
    {
      return Fail("--openmesh and --vtk exclude each other", Exit_Usage);
    }
    engine = asked;
    return int(Exit_Ok);
  };
  const CommandSyntax syntax{
      "smooth",
      2,
      "two files",
      printUsage,
      {{"--openmesh", false, [&choose](const std::string&) { return choose("OpenMesh"); }},
       {"--vtk", false, [&choose](const std::string&) { return choose("VTK"); }},
       {"--iterations", true,
        [&iterations](const std::string& value) { return parseIterations(value, iterations); }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }
  const bool isVtk = engine != nullptr && std::string(engine) == "VTK";
  command.InPath   = paths[0];
  command.OutPath  = paths[1];

  return RunMeshCommand(command,
                        [isVtk, iterations](CommandRun& run, MeshInput& input) -> std::optional<int>
                        {
                          run.Print("Read %s: %d triangles, %d nodes\n", input.Path.c_str(),
                                    input.Mesh->NbTriangles(), input.Mesh->NbNodes());
                          const bool isDone =
                              isVtk ? quorin::algoMesh_Smooth::DoVTK(input.Mesh, iterations,
                                                                     run.Result, run.Progress())
                                    : quorin::algoMesh_Smooth::DoOpenMesh(
                                          input.Mesh, iterations,
                                          quorin::algoMesh_Smooth::Component_TangentialNormal,
                                          run.Result, run.Progress());
                          if (!isDone)
                          {
                            return run.Fail("smoothing failed");
                          }
                          run.Print("Smoothed with %s, %d iterations: %d triangles, %d nodes\n",
                                    isVtk ? "VTK" : "OpenMesh", iterations,
                                    run.Result->NbTriangles(), run.Result->NbNodes());
                          return std::nullopt;
                        });
}

} // namespace cli
