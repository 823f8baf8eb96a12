// quorin-mesh fill-holes IN OUT [--hole-size S]: closes the holes of the mesh of a mesh or
// CAD file with algoMesh_FillHoles and writes the result.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_FillHoles.hxx>

#include <BRep_Builder.hxx>
#include <TopoDS_Face.hxx>

#include <cstdio>

namespace cli
{

namespace
{
// Shares of the run's progress: the boundary edges are counted before and after the filling
// (a tenth of a second each on a million triangles, against seconds of filling).
constexpr double THE_COUNT_BEFORE_SHARE = 0.03;
constexpr double THE_FILL_SHARE         = 0.92;

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

} // namespace

int RunFillHoles(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshCommand              command;
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
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }

  command.InPath  = paths[0];
  command.OutPath = paths[1];

  return RunMeshCommand(
      command,
      [holeSize](CommandRun& run, MeshInput& input) mutable -> std::optional<int>
      {
        // A mesh file is handed over as one face carrying its mesh.
        TopoDS_Shape shape = input.Shape;
        if (!input.IsBRep)
        {
          TopoDS_Face face;
          BRep_Builder().MakeFace(face, input.Mesh);
          shape = face;
        }
        if (holeSize <= 0.0)
        {
          holeSize = quorin::algoMesh_Extent::Diagonal(input.Mesh);
        }
        quorin::algoMesh_ProgressScope progress     = run.StepProgress("Filling holes");
        const int                      nbOpenBefore = quorin::algoMesh_BoundaryEdges::Count(
                                 input.Mesh, progress.Next(THE_COUNT_BEFORE_SHARE).Entry());
        if (nbOpenBefore < 0)
        {
          return run.Fail("interrupted");
        }
        run.Print("Read %s: %d triangles, %d nodes, %d boundary edges\n", input.Path.c_str(),
                  input.Mesh->NbTriangles(), input.Mesh->NbNodes(), nbOpenBefore);
        quorin::algoMesh_FillHoles filler(shape, quorin::algoMesh_FillHoles::ShapeMap(), holeSize,
                                          progress.Next(THE_FILL_SHARE).Entry(),
                                          ActAPI_PlotterEntry());
        if (!filler.Perform())
        {
          const std::string reason = run.Notifier()->LastError();
          return Fail("hole filling failed" + (reason.empty() ? std::string() : ": " + reason));
        }
        run.Result = filler.GetResult();
        const int nbOpenAfter =
            quorin::algoMesh_BoundaryEdges::Count(run.Result, progress.Next(1.0).Entry());
        if (nbOpenAfter < 0)
        {
          return run.Fail("interrupted");
        }
        run.Print("Filled holes up to size %g: %d triangles, %d nodes, %d boundary edges\n",
                  holeSize, run.Result->NbTriangles(), run.Result->NbNodes(), nbOpenAfter);
        return std::nullopt;
      });
}

} // namespace cli
