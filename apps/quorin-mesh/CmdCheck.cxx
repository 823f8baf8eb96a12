// quorin-mesh check FILE [--metric NAME ...]: grades every triangle of a mesh or CAD file
// with algoMesh_Checker and prints one summary row per metric.
#include "ArgParser.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
#include "QualityTable.hxx"

#include "CliNotifier.hxx"

#include <algoMesh_Checker.hxx>

#include <cstdio>
#include <iostream>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh check FILE [--metric NAME ...] [--deflection D]\n"
               "\n"
               "Grades the triangles of FILE by quality metrics and prints, per metric, the\n"
               "number of graded triangles (degenerate ones are skipped), the minimum, mean\n"
               "and maximum, and the share of triangles inside the metric's acceptable range.\n"
               "CAD files (%s) are meshed first.\n"
               "\n"
               "Options:\n"
               "  --metric NAME   grade by this metric only; repeat for several (default: all)\n"
               "                  names: %s\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), MetricNames().c_str());
}
} // namespace

int RunCheck(const std::vector<std::string>& arguments)
{
  std::vector<std::string>                        files;
  MeshInputOptions                                options;
  std::vector<quorin::algoMesh_QualityMetricType> metrics;
  const auto                                      addMetric = [&metrics](const std::string& name)
  {
    quorin::algoMesh_QualityMetricType type;
    if (!FindMetric(name, type))
    {
      return Fail("unknown metric '" + name + "'; known: " + MetricNames(), Exit_Usage);
    }
    metrics.push_back(type);
    return int(Exit_Ok);
  };
  const CommandSyntax syntax{"check", 1, "one file", printUsage, {{"--metric", true, addMetric}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, options.Deflection))
  {
    return *stop;
  }
  const std::string& path = files[0];
  if (metrics.empty())
  {
    metrics = TriangleMetrics();
  }

  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(path, options, progress, input))
  {
    return *failed;
  }

  quorin::algoMesh_Checker checker(input.Mesh, progress, ActAPI_PlotterEntry());
  if (!checker.Perform(metrics))
  {
    return Fail(notifier->IsCancelRequested() ? "interrupted" : "the quality check failed",
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  std::printf("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
              input.Mesh->NbNodes());
  std::fflush(stdout);
  PrintQualityTable(std::cout, checker.QualityInfo(), metrics);
  return Exit_Ok;
}

} // namespace cli
