// quorin-mesh hull INPUT OUT: the convex hull (algoMesh_ConvexHull) of the nodes of a mesh
// or of a point cloud, written as a closed mesh.
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"

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
} // namespace

int RunHull(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshInputOptions         options;
  options.AcceptsPoints = true;
  Encoding   encoding   = Encoding::Default;
  const auto choose     = [&encoding](const Encoding asked)
  {
    if (encoding != Encoding::Default && encoding != asked)
    {
      return Fail("--ascii and --binary exclude each other", Exit_Usage);
    }
    encoding = asked;
    return int(Exit_Ok);
  };
  const CommandSyntax syntax{
      "hull",
      2,
      "two files",
      printUsage,
      {{"--ascii", false, [&choose](const std::string&) { return choose(Encoding::Ascii); }},
       {"--binary", false, [&choose](const std::string&) { return choose(Encoding::Binary); }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }
  std::string description, error;
  if (const std::optional<int> refused = CheckOutput(paths[1], encoding, description))
  {
    return *refused;
  }

  // 1. Read.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(paths[0], options, progress, input))
  {
    return *failed;
  }
  std::printf("Read %s: %d points\n", input.Path.c_str(), input.Mesh->NbNodes());
  std::fflush(stdout);

  // 2. Hull the nodes.
  std::vector<double> coords;
  coords.reserve(static_cast<size_t>(input.Mesh->NbNodes()) * 3);
  for (int i = 1; i <= input.Mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = input.Mesh->Node(i);
    coords.insert(coords.end(), {p.X(), p.Y(), p.Z()});
  }
  Handle(Poly_Triangulation) hull;
  if (!quorin::algoMesh_ConvexHull(progress).Perform(coords, hull))
  {
    const std::string reason = notifier->LastError();
    return Fail(reason.empty() ? "'" + input.Path +
                                     "' has no solid hull: fewer than 4 points, or all on one "
                                     "plane, line or point"
                               : "cannot hull '" + input.Path + "': " + reason);
  }
  std::printf("Hull: %d nodes, %d triangles\n", hull->NbNodes(), hull->NbTriangles());
  std::fflush(stdout);

  // 3. Write.
  if (!SaveMesh(hull, paths[1], encoding, progress, error))
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (%s)\n", paths[1].c_str(), description.c_str());
  return Exit_Ok;
}

} // namespace cli
