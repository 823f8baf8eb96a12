// quorin-mesh selfx MESH [--out GROUPS.vtp]: the triangles of a mesh that cross other
// triangles of the same mesh (algoMesh_CheckSelfIntersections), grouped into connected
// clusters, optionally written with the group number of every triangle.
#include "ArgParser.hxx"
#include "CellFields.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "Measures.hxx"
#include "MeshInput.hxx"

#include <cstdio>

namespace cli
{

namespace
{
// Groups listed one per line; a badly broken mesh can have thousands, of which the first
// ones say enough.
constexpr int THE_LISTED_GROUPS = 20;

void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh selfx MESH [--out GROUPS.vtp] [--deflection D]\n"
               "\n"
               "Finds the triangles of MESH that intersect other triangles of the same mesh\n"
               "(triangles sharing only a node or an edge do not count) and groups them into\n"
               "connected clusters. Prints the number of groups and of triangles, then the\n"
               "size of each group (the first %d). Readable: %s.\n"
               "\n"
               "Options:\n"
               "  --out FILE      also write the mesh as VTK XML (.vtp or .vtu) with a cell\n"
               "                  field 'SelfIntersectionGroup': the group number from 1, 0\n"
               "                  for triangles that intersect nothing\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               THE_LISTED_GROUPS, SupportedExtensions());
}
} // namespace

int RunSelfx(const std::vector<std::string>& arguments)
{
  std::vector<std::string> files;
  MeshInputOptions         options;
  std::string              outPath;
  const CommandSyntax      syntax{"selfx",
                             1,
                             "one file",
                             printUsage,
                             {{"--out", true,
                                    [&outPath](const std::string& value)
                                    {
                                 outPath = value;
                                 return int(Exit_Ok);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, options.Deflection))
  {
    return *stop;
  }
  if (!outPath.empty())
  {
    if (const std::optional<int> refused = CheckFieldOutput("--out", outPath))
    {
      return *refused;
    }
  }

  // 1. Read.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(files[0], options, progress, input))
  {
    return *failed;
  }

  // 2. Search.
  std::list<std::set<int>> groups;
  std::vector<double>      groupOf;
  if (const std::optional<int> failed = GroupSelfIntersections(input, notifier, groups, groupOf))
  {
    return *failed;
  }

  // 3. Report.
  size_t nbTriangles = 0;
  for (const std::set<int>& group : groups)
  {
    nbTriangles += group.size();
  }
  std::printf("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
              input.Mesh->NbNodes());
  std::printf("Self-intersecting groups: %zu (%zu triangles)\n", groups.size(), nbTriangles);
  int number = 0;
  for (const std::set<int>& group : groups)
  {
    if (++number > THE_LISTED_GROUPS)
    {
      std::printf("  ... and %zu more groups\n", groups.size() - THE_LISTED_GROUPS);
      break;
    }
    std::printf("  group %d: %zu triangles, first %d\n", number, group.size(), *group.begin());
  }
  std::fflush(stdout);

  // 4. Write the groups.
  if (!outPath.empty())
  {
    std::string error;
    if (!SaveCellFields(input.Mesh, {{"SelfIntersectionGroup", groupOf}}, outPath, progress, error))
    {
      return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
    }
    notifier->ResetProgress();
    std::printf("Wrote %s\n", outPath.c_str());
  }
  return Exit_Ok;
}

} // namespace cli
