// quorin-mesh convert IN OUT: reads a mesh or CAD file and writes its mesh in the format of
// OUT's extension, through the library's readers and writers.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"
#include "MeshOutput.hxx"
#include "VertexAttributes.hxx"

#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh convert IN OUT [--ascii | --binary] [--deflection D] [--lod N]\n"
               "\n"
               "Reads IN and writes its mesh to OUT, each in the format of its extension, and\n"
               "prints the counts of both. Readable: %s. Writable: %s.\n"
               "CAD files are meshed and their face meshes welded (nodes closer than 1e-7\n"
               "shared). PLY files have their coincident vertices merged and polygons\n"
               "triangulated on reading; STL files have their coincident nodes merged on\n"
               "writing.\n"
               "\n"
               "Options:\n"
               "  --ascii         write STL or PLY as text\n"
               "  --binary        write STL or PLY as binary (the default)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  --lod N         level of detail of JT files, 0 the finest (default 0)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), WritableExtensions());
}
} // namespace

int RunConvert(const std::vector<std::string>& arguments)
{
  std::vector<std::string>   paths;
  MeshCommand                command;
  std::vector<CommandOption> options = EncodingOptions(command.OutEncoding);
  options.push_back({"--lod", true, [&command](const std::string& value) {
                       return ApplyLodOption(value, command.Options);
                     }});
  const CommandSyntax syntax{"convert", 2, "two files", printUsage, options};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath    = paths[0];
  command.OutPath   = paths[1];
  command.ReadShare = 0.7;
  // Converting is reading and writing, but the counts of a NASTRAN output take a join of
  // their own.
  const std::string outExtension = LowerExtension(command.OutPath);
  command.RunShare               = outExtension == ".nas" || outExtension == ".bdf" ? 0.1 : 0.0;

  // The step reports what was read and picks the writer that keeps the vertex attributes where the
  // output format holds them.
  return RunMeshCommand(
      command,
      [&command](CommandRun& run, MeshInput& input) -> std::optional<int>
      {
        run.Print("Read %s (%s%s%s): %d triangles, %d nodes\n", input.Path.c_str(),
                  input.Encoding.c_str(), input.Encoding.empty() ? "" : " ", input.Format.c_str(),
                  input.Mesh->NbTriangles(), input.Mesh->NbNodes());
        run.Result      = input.Mesh;
        run.WroteDetail = WrittenCounts(input.Mesh, command.OutPath, run.Progress());
        if (input.Attributes.IsEmpty())
        {
          return std::nullopt;
        }
        const std::string extension = LowerExtension(command.OutPath);
        const bool        keepsAttributes =
            extension == ".ply" || extension == ".vtp" || extension == ".vtu";
        run.AfterWrite.push_back((keepsAttributes ? "Kept the vertex " : "Dropped the vertex ") +
                                 input.Attributes.Description() +
                                 (keepsAttributes ? "" : ": the format cannot hold them"));
        if (keepsAttributes)
        {
          run.Writer = [&command, &input](const ActAPI_ProgressEntry& progress, std::string& error)
          {
            return LowerExtension(command.OutPath) == ".ply"
                       ? input.Attributes.Write(input.Mesh, command.OutPath,
                                                command.OutEncoding != Encoding::Ascii, error)
                       : WriteVtkWithAttributes(input.Mesh, input.Attributes, command.OutPath,
                                                progress, error);
          };
        }
        return std::nullopt;
      });
}

} // namespace cli
