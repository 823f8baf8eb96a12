// quorin-mesh wrap IN OUT [--size S]: a closed, manifold envelope of a mesh or CAD file by
// shrink wrapping (algoMesh_Wrap), written in the format of OUT's extension.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <algoMesh_Extent.hxx>
#include <algoMesh_Wrap.hxx>

#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh wrap IN OUT [--size S] [--ascii | --binary] [--deflection D]\n"
               "\n"
               "Wraps the mesh of IN (a triangle soup, a mesh with holes, overlaps or\n"
               "self-intersections, or a CAD file's face meshes) into a closed, manifold mesh\n"
               "without self-intersections and writes it to OUT. The input is voxelized at\n"
               "size S: gaps and holes up to about S close, cavities fill, and the envelope\n"
               "is shrunk onto the input and smoothed. Readable: %s. Writable: %s.\n"
               "\n"
               "Options:\n"
               "  --size S        voxel size in model units (default: 0.5%% of the\n"
               "                  bounding-box diagonal); smaller is finer and slower\n"
               "  --ascii         write STL or PLY as text\n"
               "  --binary        write STL or PLY as binary (the default)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), WritableExtensions());
}

} // namespace

int RunWrap(const std::vector<std::string>& arguments)
{
  std::vector<std::string>   paths;
  MeshCommand                command;
  double                     size    = 0.0; // 0 until given: a share of the diagonal
  std::vector<CommandOption> options = EncodingOptions(command.OutEncoding);
  options.insert(options.begin(), {"--size", true, [&size](const std::string& value) {
                                     return ParsePositive("--size", value, size) ? int(Exit_Ok)
                                                                                 : int(Exit_Usage);
                                   }});
  const CommandSyntax syntax{"wrap", 2, "two files", printUsage, options};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath  = paths[0];
  command.OutPath = paths[1];
  command.RunText = "Wrapping";

  // Wrap: CAD files through the shape form, which welds the face meshes itself.
  return RunMeshCommand(
      command,
      [size](CommandRun& run, MeshInput& input) mutable -> std::optional<int>
      {
        if (size <= 0.0)
        {
          size = 0.005 * quorin::algoMesh_Extent::Diagonal(input.Mesh);
        }
        Handle(quorin::algoMesh_Wrap) wrap = new quorin::algoMesh_Wrap(run.Progress());
        if (!(input.IsBRep ? wrap->Perform(input.Shape, size) : wrap->Perform(input.Mesh, size)))
        {
          return Fail(run.Notifier()->IsCancelRequested() ? "interrupted" : "the wrapping failed",
                      run.Notifier()->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
        }
        run.Result = wrap->Result();
        run.Print("Wrapped %s (%d triangles) at size %g: %d triangles, %d nodes\n",
                  input.Path.c_str(), input.Mesh->NbTriangles(), size, run.Result->NbTriangles(),
                  run.Result->NbNodes());
        return std::nullopt;
      });
}

} // namespace cli
