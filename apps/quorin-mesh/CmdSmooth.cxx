// quorin-mesh smooth IN OUT [--vtk | --openmesh] [--iterations N]: smooths the mesh of a
// mesh or CAD file with algoMesh_Smooth and writes the result.
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"

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
  MeshInputOptions         options;
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
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }
  const bool isVtk = engine != nullptr && std::string(engine) == "VTK";

  // 1. Refuse an output we cannot write before spending time on the input.
  std::string description, error;
  if (const std::optional<int> refused = CheckOutput(paths[1], Encoding::Default, description))
  {
    return *refused;
  }

  // 2. Read.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(paths[0], options, progress, input))
  {
    return *failed;
  }
  std::printf("Read %s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
              input.Mesh->NbNodes());
  std::fflush(stdout);

  // 3. Smooth.
  Handle(Poly_Triangulation) smoothed;
  const bool isDone =
      isVtk
          ? quorin::algoMesh_Smooth::DoVTK(input.Mesh, iterations, smoothed, progress)
          : quorin::algoMesh_Smooth::DoOpenMesh(input.Mesh, iterations,
                                                quorin::algoMesh_Smooth::Component_TangentialNormal,
                                                smoothed, progress);
  notifier->ResetProgress();
  if (!isDone)
  {
    const std::string reason = notifier->LastError();
    return Fail("smoothing failed" + (reason.empty() ? std::string() : ": " + reason),
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  std::printf("Smoothed with %s, %d iterations: %d triangles, %d nodes\n",
              isVtk ? "VTK" : "OpenMesh", iterations, smoothed->NbTriangles(), smoothed->NbNodes());
  std::fflush(stdout);

  // 4. Write.
  if (!SaveMesh(smoothed, paths[1], Encoding::Default, progress, error))
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (%s)\n", paths[1].c_str(), description.c_str());
  return Exit_Ok;
}

} // namespace cli
