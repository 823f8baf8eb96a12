// quorin-mesh convert IN OUT: reads a mesh or CAD file and writes its mesh in the format of
// OUT's extension, through the library's readers and writers.
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
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
  std::vector<std::string> paths;
  MeshInputOptions         options;
  Encoding                 encoding = Encoding::Default;
  // --ascii and --binary may be repeated but not mixed.
  const auto choose = [&encoding](const Encoding asked)
  {
    if (encoding != Encoding::Default && encoding != asked)
    {
      return Fail("--ascii and --binary exclude each other", Exit_Usage);
    }
    encoding = asked;
    return int(Exit_Ok);
  };
  const CommandSyntax syntax{
      "convert",
      2,
      "two files",
      printUsage,
      {{"--ascii", false, [&choose](const std::string&) { return choose(Encoding::Ascii); }},
       {"--binary", false, [&choose](const std::string&) { return choose(Encoding::Binary); }},
       {"--lod", true,
        [&options](const std::string& value) { return ApplyLodOption(value, options); }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }

  // 1. Refuse an output we cannot write before spending time on the input.
  std::string description, error;
  if (const std::optional<int> refused = CheckOutput(paths[1], encoding, description))
  {
    return *refused;
  }

  // 2. Read.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(paths[0], options, progress, input))
  {
    return *failed;
  }
  std::printf("Read %s (%s%s%s): %d triangles, %d nodes\n", input.Path.c_str(),
              input.Encoding.empty() ? "" : input.Encoding.c_str(),
              input.Encoding.empty() ? "" : " ", input.Format.c_str(), input.Mesh->NbTriangles(),
              input.Mesh->NbNodes());
  std::fflush(stdout);

  // 3. Write, with the vertex attributes where the format holds them.
  const std::string outExtension = LowerExtension(paths[1]);
  const bool        keepsAttributes =
      outExtension == ".ply" || outExtension == ".vtp" || outExtension == ".vtu";
  bool isWritten = false;
  if (!input.Attributes.IsEmpty() && keepsAttributes)
  {
    isWritten =
        outExtension == ".ply"
            ? WritePlyWithAttributes(input.Mesh, input.Attributes, paths[1],
                                     encoding != Encoding::Ascii, error)
            : WriteVtkWithAttributes(input.Mesh, input.Attributes, paths[1], progress, error);
  }
  else
  {
    isWritten = SaveMesh(input.Mesh, paths[1], encoding, progress, error);
  }
  if (!isWritten)
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (%s): %d triangles, %d nodes\n", paths[1].c_str(), description.c_str(),
              input.Mesh->NbTriangles(), input.Mesh->NbNodes());
  if (!input.Attributes.IsEmpty())
  {
    std::printf(keepsAttributes ? "Kept the vertex %s\n"
                                : "Dropped the vertex %s: the format cannot hold them\n",
                input.Attributes.Description().c_str());
  }
  return Exit_Ok;
}

} // namespace cli
