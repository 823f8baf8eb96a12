// quorin-mesh selfx MESH [--out GROUPS.vtp]: the triangles of a mesh that cross other
// triangles of the same mesh (algoMesh_CheckSelfIntersections), grouped into connected
// clusters, optionally written with the group number of every triangle.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "Measures.hxx"

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

// The groups of crossing triangles, listed, and each triangle's group as the field.
std::optional<int> reportGroups(CommandRun& run, MeshInput& input)
{
  std::list<std::set<int>> groups;
  std::vector<double>      groupOf;
  if (const std::optional<int> failed =
          GroupSelfIntersections(input, run.Notifier(), groups, groupOf))
  {
    return failed;
  }
  size_t nbTriangles = 0;
  for (const std::set<int>& group : groups)
  {
    nbTriangles += group.size();
  }
  run.Print("%s: %d triangles, %d nodes\n", input.Path.c_str(), input.Mesh->NbTriangles(),
            input.Mesh->NbNodes());
  run.Print("Self-intersecting groups: %zu (%zu triangles)\n", groups.size(), nbTriangles);
  int number = 0;
  for (const std::set<int>& group : groups)
  {
    if (++number > THE_LISTED_GROUPS)
    {
      run.Print("  ... and %zu more groups\n", groups.size() - THE_LISTED_GROUPS);
      break;
    }
    run.Print("  group %d: %zu triangles, first %d\n", number, group.size(), *group.begin());
  }
  run.Fields = {{"SelfIntersectionGroup", groupOf}};
  return std::nullopt;
}
} // namespace

int RunSelfx(const std::vector<std::string>& arguments)
{
  std::vector<std::string> files;
  MeshCommand              command;
  command.FieldOption = "--out";
  const CommandSyntax syntax{"selfx",
                             1,
                             "one file",
                             printUsage,
                             {{"--out", true,
                               [&command](const std::string& value)
                               {
                                 command.OutPath = value;
                                 return int(Exit_Ok);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath = files[0];
  return RunMeshCommand(command, reportGroups);
}

} // namespace cli
