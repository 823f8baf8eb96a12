// quorin-mesh check FILE [--metric NAME ...] [--out QUALITY.vtp] [--report REPORT.html]:
// grades every triangle of a mesh or CAD file with algoMesh_Checker, prints one summary row
// per metric, and writes the values per triangle as VTK cell fields or as an HTML report
// when asked, with the deviation from a CAD part and the self-intersecting groups beside
// the metrics.
#include "ArgParser.hxx"
#include "CellFields.hxx"
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
#include <iostream>

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
  const std::string& path = files[0];
  if (!outPath.empty())
  {
    if (const std::optional<int> refused = CheckFieldOutput("--out", outPath))
    {
      return *refused;
    }
  }
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
  if (metrics.empty())
  {
    metrics = TriangleMetrics();
  }

  // 1. Read, the reference part first when there is one.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  part;
  if (!cadPath.empty())
  {
    if (const std::optional<int> failed = LoadReferencePart(cadPath, options, notifier, part))
    {
      return *failed;
    }
  }
  MeshInput input;
  if (const std::optional<int> failed = LoadForCommand(path, options, progress, input))
  {
    return *failed;
  }

  // 2. Grade.
  quorin::algoMesh_Checker checker(input.Mesh, progress, ActAPI_PlotterEntry());
  if (!checker.Perform(metrics))
  {
    return Fail(notifier->IsCancelRequested() ? "interrupted" : "the quality check failed",
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
              input.Mesh->NbNodes());
  std::fflush(stdout);
  PrintQualityTable(std::cout, checker.QualityInfo(), metrics);
  std::cout.flush();
  // Values per triangle are gathered only for a file that shows them: nine metrics over
  // all triangles take 72 bytes per triangle beside the checker's own fields.
  std::vector<ReportField> fields;
  if (!outPath.empty() || !reportPath.empty())
  {
    fields = MetricReportFields(checker.QualityInfo(), metrics, input.Mesh->NbTriangles());
  }

  // 3. The measures asked besides the metrics.
  if (!cadPath.empty())
  {
    ReportField deviation;
    deviation.Name = "Deviation";
    if (const std::optional<int> failed =
            MeasureDeviation(part, input, false, notifier, deviation.Values))
    {
      return *failed;
    }
    double maximum = 0.0;
    for (const double value : deviation.Values)
    {
      maximum = std::isnan(value) ? maximum : std::max(maximum, value);
    }
    std::printf("Deviation from %s: max %.6g\n", part.Path.c_str(), maximum);
    fields.push_back(std::move(deviation));
  }
  if (withSelfx)
  {
    std::list<std::set<int>> groups;
    ReportField              groupOf;
    groupOf.Name = "Self-intersection group";
    groupOf.Type = ReportField::Kind_Groups;
    if (const std::optional<int> failed =
            GroupSelfIntersections(input, notifier, groups, groupOf.Values))
    {
      return *failed;
    }
    size_t nbTriangles = 0;
    for (const std::set<int>& group : groups)
    {
      nbTriangles += group.size();
    }
    std::printf("Self-intersecting groups: %zu (%zu triangles)\n", groups.size(), nbTriangles);
    fields.push_back(std::move(groupOf));
  }
  std::fflush(stdout);

  // 4. Write.
  std::string error;
  if (!outPath.empty())
  {
    std::vector<CellField> cells;
    for (const ReportField& field : fields)
    {
      cells.push_back({field.Name, field.Values});
    }
    if (!SaveCellFields(input.Mesh, cells, outPath, progress, error))
    {
      return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
    }
    notifier->ResetProgress();
    std::printf("Wrote %s\n", outPath.c_str());
  }
  if (!reportPath.empty())
  {
    if (!WriteQualityReport(reportPath, input.Path, input.Mesh, fields, error))
    {
      return Fail(error);
    }
    std::printf("Wrote %s\n", reportPath.c_str());
  }
  return Exit_Ok;
}

} // namespace cli
