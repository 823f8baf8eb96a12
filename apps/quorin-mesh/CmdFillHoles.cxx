// quorin-mesh fill-holes IN OUT [--hole-size S]: closes the holes of the mesh of a mesh or
// CAD file with algoMesh_FillHoles and writes the result.
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_FillHoles.hxx>

#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <TopoDS_Face.hxx>

#include <cmath>
#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh fill-holes IN OUT [--hole-size S] [--deflection D]\n"
               "\n"
               "Closes the holes of the mesh of IN and writes it to OUT, in the format of its\n"
               "extension. The mesh is welded first (nodes closer than 1e-7 shared; for CAD\n"
               "files, the meshes of all faces together), each hole small enough is closed\n"
               "with new triangles, the orientation is made consistent and duplicates are\n"
               "merged. Prints the number of boundary edges before and after.\n"
               "Readable: %s. Writable: %s.\n"
               "\n"
               "Options:\n"
               "  --hole-size S   close holes whose bounding sphere has a radius below S, in\n"
               "                  model units (default: the bounding-box diagonal, so all)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), WritableExtensions());
}

double diagonalOf(const Handle(Poly_Triangulation) & mesh)
{
  Bnd_Box box;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    box.Add(mesh->Node(i));
  }
  return box.IsVoid() ? 0.0 : std::sqrt(box.SquareExtent());
}
} // namespace

int RunFillHoles(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshInputOptions         options;
  double                   holeSize = 0.0; // 0 until given: the diagonal
  const CommandSyntax      syntax{"fill-holes",
                             2,
                             "two files",
                             printUsage,
                             {{"--hole-size", true, [&holeSize](const std::string& value) {
                                 return ParsePositive("--hole-size", value, holeSize)
                                                 ? int(Exit_Ok)
                                                 : int(Exit_Usage);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }

  // 1. Refuse an output we cannot write before spending time on the input.
  std::string description, error;
  if (const std::optional<int> refused = CheckOutput(paths[1], Encoding::Default, description))
  {
    return *refused;
  }

  // 2. Read; a mesh file is handed over as one face carrying its mesh.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(paths[0], options, progress, input))
  {
    return *failed;
  }
  TopoDS_Shape shape = input.Shape;
  if (!input.IsBRep)
  {
    TopoDS_Face face;
    BRep_Builder().MakeFace(face, input.Mesh);
    shape = face;
  }
  if (holeSize <= 0.0)
  {
    holeSize = diagonalOf(input.Mesh);
  }
  std::printf("Read %s: %d triangles, %d nodes, %d boundary edges\n", input.Path.c_str(),
              input.Mesh->NbTriangles(), input.Mesh->NbNodes(), CountBoundaryEdges(input.Mesh));
  std::fflush(stdout);

  // 3. Fill.
  quorin::algoMesh_FillHoles filler(shape, quorin::algoMesh_FillHoles::ShapeMap(), holeSize,
                                    progress, ActAPI_PlotterEntry());
  if (!filler.Perform())
  {
    const std::string reason = notifier->LastError();
    return Fail("hole filling failed" + (reason.empty() ? std::string() : ": " + reason));
  }
  const Handle(Poly_Triangulation)& filled = filler.GetResult();
  std::printf("Filled holes up to size %g: %d triangles, %d nodes, %d boundary edges\n", holeSize,
              filled->NbTriangles(), filled->NbNodes(), CountBoundaryEdges(filled));
  std::fflush(stdout);

  // 4. Write.
  if (!SaveMesh(filled, paths[1], Encoding::Default, progress, error))
  {
    return Fail(error, notifier->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }
  notifier->ResetProgress();
  std::printf("Wrote %s (%s)\n", paths[1].c_str(), description.c_str());
  return Exit_Ok;
}

} // namespace cli
