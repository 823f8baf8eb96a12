// quorin-mesh wrap IN OUT [--size S]: a closed, manifold envelope of a mesh or CAD file by
// shrink wrapping (algoMesh_Wrap), written in the format of OUT's extension.
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_Wrap.hxx>

#include <Bnd_Box.hxx>

#include <cmath>
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

double diagonalOf(const Handle(Poly_Triangulation) & mesh)
{
  Bnd_Box box;
  for (int n = 1; n <= mesh->NbNodes(); ++n)
  {
    box.Add(mesh->Node(n));
  }
  return box.IsVoid() ? 0.0 : std::sqrt(box.SquareExtent());
}
} // namespace

int RunWrap(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshInputOptions         options;
  Encoding                 encoding = Encoding::Default;
  double                   size     = 0.0;
  const auto               choose   = [&encoding](const Encoding asked)
  {
    if (encoding != Encoding::Default && encoding != asked)
    {
      return Fail("--ascii and --binary exclude each other", Exit_Usage);
    }
    encoding = asked;
    return int(Exit_Ok);
  };
  const CommandSyntax syntax{
      "wrap",
      2,
      "two files",
      printUsage,
      {{"--size", true,
        [&size](const std::string& value)
        { return ParsePositive("--size", value, size) ? int(Exit_Ok) : int(Exit_Usage); }},
       {"--ascii", false, [&choose](const std::string&) { return choose(Encoding::Ascii); }},
       {"--binary", false, [&choose](const std::string&) { return choose(Encoding::Binary); }}}};
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
  if (size <= 0.0)
  {
    size = 0.005 * diagonalOf(input.Mesh);
  }

  // 3. Wrap: CAD files through the shape form, which welds the face meshes itself.
  Handle(quorin::algoMesh_Wrap) wrap = new quorin::algoMesh_Wrap(progress);
  const bool isWrapped =
      input.IsBRep ? wrap->Perform(input.Shape, size) : wrap->Perform(input.Mesh, size);
  if (!isWrapped)
  {
    return Fail(notifier->IsCancelRequested() ? "interrupted" : "the wrapping failed",
                notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  const Handle(Poly_Triangulation)& result = wrap->Result();
  std::printf("Wrapped %s (%d triangles) at size %g: %d triangles, %d nodes\n", input.Path.c_str(),
              input.Mesh->NbTriangles(), size, result->NbTriangles(), result->NbNodes());
  std::fflush(stdout);

  // 4. Write.
  if (!SaveMesh(result, paths[1], encoding, progress, error))
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (%s)\n", paths[1].c_str(), description.c_str());
  return Exit_Ok;
}

} // namespace cli
