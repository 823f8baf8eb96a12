// quorin-mesh deviation MESH CAD [--out FIELD.vtp]: how far each triangle of a mesh lies
// from the CAD part it stands for (algoMesh_DeviationCheckCADMesh), summarised as maximum,
// mean, RMS and a text histogram, optionally written as a cell field.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "Measures.hxx"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace cli
{

namespace
{
constexpr int THE_NB_BINS    = 10;
constexpr int THE_BAR_LENGTH = 40;

void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh deviation MESH CAD [--out FIELD.vtp] [--signed]\n"
               "                             [--deflection D]\n"
               "\n"
               "Measures, for every triangle of MESH, the distance from its centroid to the\n"
               "surface of the part in CAD (.step, .stp or .brep), and prints the maximum,\n"
               "mean and RMS of the distances and their histogram. The part is meshed first;\n"
               "its mesh stands for the surface, so a finer deflection measures closer.\n"
               "Readable meshes: %s.\n"
               "\n"
               "Options:\n"
               "  --out FILE      also write MESH as VTK XML (.vtp or .vtu) with a cell field\n"
               "                  'Deviation' (NaN where a centroid is not finite)\n"
               "  --signed        negative distances behind the part's surface (inside a\n"
               "                  solid); the summary then uses absolute values\n"
               "  --deflection D  linear deflection for meshing the CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions());
}

// Maximum, mean and RMS of the absolute values, and their histogram over [0, max] in
// equal bins; NaN values are left out.
void printSummary(const CommandRun& run, const std::vector<double>& deviations)
{
  double maximum = 0.0, sum = 0.0, sumOfSquares = 0.0;
  size_t count = 0;
  for (const double value : deviations)
  {
    if (std::isnan(value))
    {
      continue;
    }
    const double magnitude = std::abs(value);
    maximum                = std::max(maximum, magnitude);
    sum += magnitude;
    sumOfSquares += magnitude * magnitude;
    ++count;
  }
  if (count == 0)
  {
    run.Print("Deviation: no triangle could be measured\n");
    return;
  }
  run.Print("Deviation: max %.6g, mean %.6g, RMS %.6g (%zu triangles)\n", maximum, sum / count,
            std::sqrt(sumOfSquares / count), count);
  std::vector<size_t> bins(THE_NB_BINS, 0);
  for (const double value : deviations)
  {
    if (!std::isnan(value))
    {
      const double share = maximum > 0.0 ? std::abs(value) / maximum : 0.0;
      ++bins[std::min(THE_NB_BINS - 1, static_cast<int>(share * THE_NB_BINS))];
    }
  }
  const size_t fullest = *std::max_element(bins.begin(), bins.end());
  for (int b = 0; b < THE_NB_BINS; ++b)
  {
    const int length =
        static_cast<int>(std::lround(double(bins[b]) / double(fullest) * THE_BAR_LENGTH));
    run.Print("  %-11.4g .. %-11.4g %9zu %s\n", maximum * b / THE_NB_BINS,
              maximum * (b + 1) / THE_NB_BINS, bins[b], std::string(length, '#').c_str());
  }
}
} // namespace

int RunDeviation(const std::vector<std::string>& arguments)
{
  std::vector<std::string> files;
  MeshCommand              command;
  command.FieldOption          = "--out";
  bool                isSigned = false;
  const CommandSyntax syntax{"deviation",
                             2,
                             "a mesh and a CAD file",
                             printUsage,
                             {{"--out", true,
                               [&command](const std::string& value)
                               {
                                 command.OutPath = value;
                                 return int(Exit_Ok);
                               }},
                              {"--signed", false,
                               [&isSigned](const std::string&)
                               {
                                 isSigned = true;
                                 return int(Exit_Ok);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath = files[0];

  // The part is read first: a wrong second argument is the cheaper mistake to report.
  MeshInput part;
  return RunMeshCommand(
      command,
      [&part, isSigned](CommandRun& run, MeshInput& input) -> std::optional<int>
      {
        std::vector<double> deviations;
        if (const std::optional<int> failed =
                MeasureDeviation(part, input, isSigned, run.Notifier(), deviations))
        {
          return failed;
        }
        run.Print("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
                  input.Mesh->NbNodes());
        run.Print("%s: meshed with deflection %g\n", part.Path.c_str(), part.Deflection);
        run.Print("Distance of the triangle centroids from the part (%s)\n",
                  isSigned ? "signed" : "unsigned");
        printSummary(run, deviations);
        run.Fields = {{"Deviation", deviations}};
        return std::nullopt;
      },
      [&part, &files, &command](CommandRun& run)
      { return LoadReferencePart(files[1], command.Options, run.Notifier(), part); });
}

} // namespace cli
