// quorin-mesh decimate IN OUT [--method topo|quadric|pro] [decimation keys]: reduces the
// triangles of a mesh with one of the library's decimation drivers, reports the mesh's
// boundary, non-manifold and self-intersecting defects before and after, and writes the
// result.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>

#include <Standard_Failure.hxx>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(
      stream,
      "Usage: quorin-mesh decimate IN OUT [--method topo|quadric|pro] [-reduction P] "
      "[keys...]\n"
      "\n"
      "Removes P percent of the triangles of IN and writes the result to OUT, each in the\n"
      "format of its extension. Readable: %s. Writable: %s.\n"
      "CAD files are meshed first; coincident points are merged before decimation.\n"
      "Boundary edges, non-manifold edges and self-intersecting triangle pairs are counted\n"
      "before and after.\n"
      "\n"
      "Options:\n"
      "  --method topo         quadric edge collapse that keeps the topology: no collapse\n"
      "                        may pinch the surface, fold a triangle or make triangles\n"
      "                        touch; boundaries stay in place; may stop short of P\n"
      "                        (default for closed manifold inputs)\n"
      "  --method quadric      collapse edges in the order of least quadric error, without\n"
      "                        topology checks (default for other inputs); boundaries are\n"
      "                        kept in place, only -reduction is used\n"
      "  --method pro          remove vertices in the order of least distance to their\n"
      "                        average plane; all keys below are used\n"
      "  -reduction P          percent of the triangles to remove, 0 to 100 (default 50)\n"
      "  -featureAngle A       pro: angle in degrees above which an edge is a feature\n"
      "                        (default 0, which makes every vertex a corner: set it)\n"
      "  -preserveTopo on|off  pro: forbid holes and splits (default on)\n"
      "  -splitting on|off     pro: allow splitting the mesh at sharp edges (default off)\n"
      "  -splitAngle A         pro: split angle in degrees (default 0)\n"
      "  -delBndVertices on|off\n"
      "                        pro: allow removing boundary vertices (default on)\n"
      "  --deflection D        linear deflection for meshing CAD files, in model units\n"
      "                        (default: 0.1%% of the bounding-box diagonal)\n"
      "  -h, --help            this text\n"
      "Keys are matched without regard to case.\n",
      SupportedExtensions(), WritableExtensions());
}

//! True when `word` is one of the decimation keys, in any case.
bool isDecimationKey(std::string word)
{
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* key : {"-reduction", "-featureangle", "-preservetopo", "-splitting",
                          "-splitangle", "-delbndvertices"})
  {
    if (word == key)
    {
      return true;
    }
  }
  return false;
}

// Shares of the run's progress: the defects of the input (a search for crossing triangles
// over the whole mesh), the decimation; the defects of the result take the rest.
constexpr double THE_DEFECTS_BEFORE_SHARE = 0.2;
constexpr double THE_DECIMATION_SHARE     = 0.75;

//! "B boundary edges, N non-manifold edges, P self-intersecting pairs" of a mesh, in
//! `text`, and the counts in `counts`; false when the count was cancelled.
bool describeDefects(const Handle(Poly_Triangulation) & mesh,
                     const ActAPI_ProgressEntry&         progress,
                     std::string&                        text,
                     quorin::algoMesh_DecimationDefects& counts)
{
  if (!quorin::algoMesh_DecimationDefects::Count(mesh, progress, counts))
  {
    return false;
  }
  text = std::to_string(counts.NbBoundaryEdges) + " boundary edges, " +
         std::to_string(counts.NbNonManifoldEdges) + " non-manifold edges, " +
         std::to_string(counts.NbCrossingPairs) + " self-intersecting pairs";
  return true;
}
} // namespace

int RunDecimate(const std::vector<std::string>& arguments)
{
  // 1. The decimation keys with their values go to the options record; the rest to the
  // common parser.
  std::vector<std::string> keyWords, rest;
  for (size_t i = 0; i < arguments.size(); ++i)
  {
    if (isDecimationKey(arguments[i]))
    {
      keyWords.push_back(arguments[i]);
      if (i + 1 < arguments.size())
      {
        keyWords.push_back(arguments[++i]);
      }
    }
    else
    {
      rest.push_back(arguments[i]);
    }
  }
  std::string              method; // chosen from the input when not given
  std::vector<std::string> paths;
  MeshInputOptions         inputOptions;
  const CommandSyntax      syntax{"decimate",
                             2,
                             "two files",
                             printUsage,
                             {{"--method", true,
                                    [&method](const std::string& value)
                                    {
                                 if (value != "topo" && value != "quadric" && value != "pro")
                                 {
                                   return Fail("--method takes 'topo', 'quadric' or 'pro', got '" +
                                                        value + "'",
                                                    Exit_Usage);
                                 }
                                 method = value;
                                 return int(Exit_Ok);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, rest, paths, inputOptions.Deflection))
  {
    return *stop;
  }
  quorin::algoMesh_DecimationOptions options;
  std::vector<const char*>           argv;
  for (const std::string& word : keyWords)
  {
    argv.push_back(word.c_str());
  }
  try
  {
    quorin::algoMesh_DecimationOptions::FromCmdLine(static_cast<int>(argv.size()), argv.data(),
                                                    options);
  }
  catch (const Standard_Failure& failure)
  {
    return Fail(failure.GetMessageString(), Exit_Usage);
  }

  MeshCommand command;
  command.InPath  = paths[0];
  command.OutPath = paths[1];
  command.Options = inputOptions;
  return RunMeshCommand(
      command,
      [&options, &command, method](CommandRun& run, MeshInput& input) mutable -> std::optional<int>
      {
        run.Print("Read %s: %d triangles, %d nodes\n", input.Path.c_str(),
                  input.Mesh->NbTriangles(), input.Mesh->NbNodes());

        // A closed manifold input keeps its topology unless another method is asked for;
        // on others the topology-preserving collapses would leave most of the mesh alone.
        quorin::algoMesh_ProgressScope     progress = run.StepProgress("Decimating");
        std::string                        before, after;
        quorin::algoMesh_DecimationDefects inputDefects, resultDefects;
        if (!describeDefects(input.Mesh, progress.Next(THE_DEFECTS_BEFORE_SHARE).Entry(), before,
                             inputDefects))
        {
          return run.Fail("interrupted");
        }
        if (method.empty())
        {
          method = inputDefects.NbBoundaryEdges == 0 && inputDefects.NbNonManifoldEdges == 0
                       ? "topo"
                       : "quadric";
        }
        std::unique_ptr<quorin::algoMesh_Decimate> driver;
        const quorin::algoMesh_TopoDecimation*     topoDriver = nullptr;
        if (method == "topo")
        {
          // The input's crossings are counted already: with some, a result checked for
          // crossings only at the end would keep them and be refused, so the collapses test
          // contact on each collapse from the start.
          auto topo = std::make_unique<quorin::algoMesh_TopoDecimation>(options);
          topo->SetInputCrossingPairs(inputDefects.NbCrossingPairs);
          topoDriver = topo.get();
          driver     = std::move(topo);
        }
        else if (method == "pro")
        {
          driver = std::make_unique<quorin::algoMesh_VTKDecimatePro>(options);
        }
        else
        {
          driver = std::make_unique<quorin::algoMesh_VTKQuadricDecimation>(options);
        }
        bool isDecimated = false;
        {
          // The filters report their progress, but some poll for cancellation only between
          // their own passes; no file is open while they run, so Ctrl-C ends the process.
          const ExitOnInterrupt watch(run.Notifier());
          isDecimated =
              driver->Perform(input.Mesh, run.Result, progress.Next(THE_DECIMATION_SHARE).Entry());
        }
        if (!isDecimated || run.Result.IsNull() || run.Result->NbTriangles() == 0)
        {
          return Fail("decimation left no triangles or failed");
        }
        run.Print("Decimated (%s%s): %d triangles, %d nodes\n", method.c_str(),
                  driver->GetOptions().GetCmdLine().ToCString(), run.Result->NbTriangles(),
                  run.Result->NbNodes());
        // The topology-preserving collapses stop when none is allowed, or when contact leaves
        // only collapses that would cut across the shape: say so rather than let a smaller
        // reduction pass unnoticed.
        const double asked = std::clamp(options.Reduction, 0.0, 100.0);
        const double reached =
            100.0 * (1.0 - double(run.Result->NbTriangles()) / double(input.Mesh->NbTriangles()));
        if (topoDriver != nullptr && reached + 0.5 < asked)
        {
          run.Print(topoDriver->IsStoppedAtErrorLimit()
                        ? "Stopped at %.1f %% of the triangles removed, short of %g %%: further "
                          "collapses would make triangles touch, or cost more error than "
                          "collapses that ignore contact reach\n"
                        : "Stopped at %.1f %% of the triangles removed, short of %g %%: no "
                          "further collapse keeps the topology\n",
                    reached, asked);
        }
        if (!describeDefects(run.Result, progress.Next(1.0).Entry(), after, resultDefects))
        {
          return run.Fail("interrupted");
        }
        run.Print("Before: %s\nAfter: %s\n", before.c_str(), after.c_str());
        run.WroteDetail = WrittenCounts(run.Result, command.OutPath);
        return std::nullopt;
      });
}

} // namespace cli
