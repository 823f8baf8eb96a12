// quorin-mesh check FILE [--metric NAME ...] [--out QUALITY.vtp] [--report REPORT.html]:
// grades every triangle of a mesh or CAD file with algoMesh_Checker, prints one summary row
// per metric, and writes the values per triangle as VTK cell fields or as an HTML report
// when asked, with the deviation from a CAD part and the self-intersecting groups beside
// the metrics.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "Measures.hxx"
#include "MeshOutput.hxx"
#include "QualityReport.hxx"
#include "MeshInput.hxx"
#include "QualityTable.hxx"

#include "CliNotifier.hxx"

#include <algoMesh_Checker.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(
      stream,
      "Usage: quorin-mesh check FILE [--metric NAME ...] [--out QUALITY.vtp]\n"
      "                         [--report REPORT.html] [--cad PART] [--selfx] [--deflection D]\n"
      "\n"
      "Grades the triangles of FILE by quality metrics and prints, per metric, the\n"
      "number of graded triangles (degenerate ones are skipped), the minimum, mean\n"
      "and maximum, and the share of triangles inside the metric's acceptable range.\n"
      "CAD files (.step, .stp, .brep) are meshed first. Readable: %s.\n"
      "\n"
      "Options:\n"
      "  --metric NAME   grade by this metric only; repeat for several (default: all)\n"
      "                  names: %s\n"
      "  --out FILE      also write the mesh as VTK XML (.vtp or .vtu) with one cell\n"
      "                  field per metric, NaN where a triangle has no value\n"
      "  --report FILE   also write an HTML page that shows the mesh in 3D coloured by\n"
      "                  a chosen metric, the worst triangles and a histogram per metric;\n"
      "                  the page needs no network. Above %d triangles it shows a\n"
      "                  decimated view and says so\n"
      "  --cad PART      also measure the distance of each triangle from the CAD part\n"
      "                  (.step, .stp, .brep), as the field 'Deviation'\n"
      "  --selfx         also find the self-intersecting triangles, as the field\n"
      "                  'Self-intersection group' (0: none)\n"
      "  --deflection D  linear deflection for meshing CAD files, in model units\n"
      "                  (default: 0.1%% of the bounding-box diagonal)\n"
      "  -h, --help      this text\n",
      SupportedExtensions(), MetricNames().c_str(), THE_REPORT_VIEW_LIMIT);
}

// The quality table of the metrics; with `keepValues`, the values per triangle as fields
// (nine metrics over all triangles take 72 bytes per triangle beside the checker's own
// fields, so they are gathered only for a file that shows them).
std::optional<int> gradeMesh(CommandRun&                                            run,
                             const MeshInput&                                       input,
                             const std::vector<quorin::algoMesh_QualityMetricType>& metrics,
                             const bool                                             keepValues,
                             std::vector<ReportField>&                              fields)
{
  quorin::algoMesh_Checker checker(input.Mesh, run.Progress(), ActAPI_PlotterEntry());
  if (!checker.Perform(metrics))
  {
    return Fail(run.Notifier()->IsCancelRequested() ? "interrupted" : "the quality check failed",
                run.Notifier()->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  run.Print("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
            input.Mesh->NbNodes());
  std::ostringstream table;
  PrintQualityTable(table, checker.QualityInfo(), metrics);
  run.Print("%s", table.str().c_str());
  if (keepValues)
  {
    fields = MetricReportFields(checker.QualityInfo(), metrics, input.Mesh->NbTriangles());
  }
  return std::nullopt;
}

// The deviation of every triangle from the part, as a field; prints its maximum.
std::optional<int> measureDeviation(CommandRun&               run,
                                    const MeshInput&          part,
                                    const MeshInput&          input,
                                    std::vector<ReportField>& fields)
{
  ReportField deviation;
  deviation.Name = "Deviation";
  if (const std::optional<int> failed =
          MeasureDeviation(part, input, false, run.Notifier(), deviation.Values))
  {
    return failed;
  }
  double maximum = 0.0;
  for (const double value : deviation.Values)
  {
    maximum = std::isnan(value) ? maximum : std::max(maximum, value);
  }
  run.Print("Deviation from %s: max %.6g\n", part.Path.c_str(), maximum);
  fields.push_back(std::move(deviation));
  return std::nullopt;
}

// The self-intersecting group of every triangle, as a field; prints the counts.
std::optional<int>
groupCrossings(CommandRun& run, const MeshInput& input, std::vector<ReportField>& fields)
{
  std::list<std::set<int>> groups;
  ReportField              groupOf;
  groupOf.Name = "Self-intersection group";
  groupOf.Type = ReportField::Kind_Groups;
  if (const std::optional<int> failed =
          GroupSelfIntersections(input, run.Notifier(), groups, groupOf.Values))
  {
    return failed;
  }
  size_t nbTriangles = 0;
  for (const std::set<int>& group : groups)
  {
    nbTriangles += group.size();
  }
  run.Print("Self-intersecting groups: %zu (%zu triangles)\n", groups.size(), nbTriangles);
  fields.push_back(std::move(groupOf));
  return std::nullopt;
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
  std::string outPath, reportPath, cadPath;
  bool        withSelfx = false;
  const auto  keep      = [](std::string& target)
  {
    return [&target](const std::string& value)
    {
      target = value;
      return int(Exit_Ok);
    };
  };
  const CommandSyntax syntax{"check",
                             1,
                             "one file",
                             printUsage,
                             {{"--metric", true, addMetric},
                              {"--out", true, keep(outPath)},
                              {"--report", true, keep(reportPath)},
                              {"--cad", true, keep(cadPath)},
                              {"--selfx", false,
                               [&withSelfx](const std::string&)
                               {
                                 withSelfx = true;
                                 return int(Exit_Ok);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, options.Deflection))
  {
    return *stop;
  }
  if (metrics.empty())
  {
    metrics = TriangleMetrics();
  }
  MeshCommand command;
  command.InPath      = files[0];
  command.OutPath     = outPath;
  command.FieldOption = "--out";

  // Before reading: the report's output is checked, and the reference part read.
  MeshInput  part;
  const auto prepare = [&](CommandRun& run) -> std::optional<int>
  {
    if (!reportPath.empty())
    {
      std::string error;
      if (LowerExtension(reportPath) != ".html" && LowerExtension(reportPath) != ".htm")
      {
        return Fail("--report writes an HTML page (.html), got '" + reportPath + "'", Exit_Usage);
      }
      if (!CanWriteReport())
      {
        return Fail("this build of quorin-mesh has no report viewer (three.js could not be "
                    "fetched with npm when it was built)");
      }
      if (!CheckDirectory(reportPath, error))
      {
        return Fail(error);
      }
    }
    if (!cadPath.empty())
    {
      return LoadReferencePart(cadPath, command.Options, run.Notifier(), part);
    }
    return std::nullopt;
  };

  // Grade, measure what is asked besides, and write the report after the fields.
  std::vector<ReportField> fields;
  const auto               grade = [&](CommandRun& run, MeshInput& input) -> std::optional<int>
  {
    if (const std::optional<int> stop =
            gradeMesh(run, input, metrics, !outPath.empty() || !reportPath.empty(), fields))
    {
      return stop;
    }
    if (!cadPath.empty())
    {
      if (const std::optional<int> stop = measureDeviation(run, part, input, fields))
      {
        return stop;
      }
    }
    if (withSelfx)
    {
      if (const std::optional<int> stop = groupCrossings(run, input, fields))
      {
        return stop;
      }
    }
    for (const ReportField& field : fields)
    {
      run.Fields.push_back({field.Name, field.Values});
    }
    if (!reportPath.empty())
    {
      run.Finish = [&reportPath, &fields, &input](CommandRun& finished) -> std::optional<int>
      {
        std::string error;
        if (!WriteQualityReport(reportPath, input.Path, input.Mesh, fields, error))
        {
          return Fail(error);
        }
        finished.Print("Wrote %s\n", reportPath.c_str());
        return std::nullopt;
      };
    }
    return std::nullopt;
  };
  return RunMeshCommand(command, grade, prepare);
}

} // namespace cli
