// quorin-mesh hull INPUT OUT: the convex hull (algoMesh_ConvexHull) of the nodes of a mesh
// or of a point cloud, written as a closed mesh.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <algoMesh_ConvexHull.hxx>

#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh hull INPUT OUT [--ascii | --binary] [--deflection D]\n"
               "\n"
               "Computes the convex hull of the nodes of INPUT, a mesh, a CAD file or a point\n"
               "cloud, and writes it to OUT as a closed mesh with outward triangles.\n"
               "Readable: %s; point clouds: %s.\nWritable: %s.\n"
               "\n"
               "Options:\n"
               "  --ascii         write STL or PLY as text\n"
               "  --binary        write STL or PLY as binary (the default)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), PointCloudExtensions(), WritableExtensions());
}

// The hull of the input's nodes.
std::optional<int> hullNodes(CommandRun& run, MeshInput& input)
{
  run.Print("Read %s: %d points\n", input.Path.c_str(), input.Mesh->NbNodes());
  std::vector<double> coords;
  coords.reserve(static_cast<size_t>(input.Mesh->NbNodes()) * 3);
  for (int i = 1; i <= input.Mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = input.Mesh->Node(i);
    coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
  }
  if (!quorin::algoMesh_ConvexHull(run.Progress()).Perform(coords, run.Result))
  {
    const std::string reason = run.Notifier()->LastError();
    return Fail(reason.empty() ? "'" + input.Path +
                                     "' has no solid hull: fewer than 4 points, or all on one "
                                     "plane, line or point"
                               : "cannot hull '" + input.Path + "': " + reason);
  }
  run.Print("Hull: %d nodes, %d triangles\n", run.Result->NbNodes(), run.Result->NbTriangles());
  return std::nullopt;
}
} // namespace

int RunHull(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshCommand              command;
  command.Options.AcceptsPoints = true;
  const CommandSyntax syntax{"hull", 2, "two files", printUsage,
                             EncodingOptions(command.OutEncoding)};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath  = paths[0];
  command.OutPath = paths[1];
  return RunMeshCommand(command, hullNodes);
}

} // namespace cli
