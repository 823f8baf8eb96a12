// quorin-mesh obfuscate IN OUT.brep: meshes a CAD model and writes a disguised copy whose
// faces are replaced by distorted meshes (algoMesh_Obfuscate).
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <Exchange_AtomicFile.hxx>
#include <algoMesh_Obfuscate.hxx>

#include <BRepBndLib.hxx>
#include <BRepTools.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>

#include <cstdio>

namespace cli
{

namespace
{
//! Stretch coefficients drawn for each axis: lower bounds of kx, ky, kz, then upper bounds.
const double THE_STRETCH_RANGES[6] = {0.1, 0.1, 0.1, 0.3, 0.3, 0.3};

void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh obfuscate IN OUT.brep [--deflection D]\n"
               "\n"
               "Meshes the CAD model IN (.step, .stp or .brep) and writes to OUT a disguised\n"
               "copy that can be shared without revealing the exact geometry: every face is\n"
               "replaced by a face without surface carrying its mesh, stretched away from a\n"
               "random centre inside the model's bounding box by 10 to 30 %% per axis at the\n"
               "box boundary. Faces, edges and solids keep their arrangement. The random\n"
               "draw changes every second.\n"
               "\n"
               "Options:\n"
               "  --deflection D  linear deflection for meshing, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n");
}

// Writes the shape as BREP beside `path` and renames it once complete.
bool writeBRep(const TopoDS_Shape& shape, const std::string& path, std::string& error)
{
  quorin::Exchange_AtomicFile file(path, quorin::Exchange_AtomicFile::Access_Path);
  if (!file.IsOpen() || !BRepTools::Write(shape, file.TempPath().c_str()) || !file.Commit())
  {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

// The disguised model, to be written to `outPath`.
std::optional<int> disguise(CommandRun& run, MeshInput& input, const std::string& outPath)
{
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(input.Shape, TopAbs_FACE, faces);
  run.Print("Read %s: %d faces, meshed with deflection %g\n", input.Path.c_str(), faces.Extent(),
            input.Deflection);
  Bnd_Box box;
  BRepBndLib::Add(input.Shape, box);
  double bounds[6];
  box.Get(bounds[0], bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]);
  quorin::algoMesh_Obfuscate obfuscate(bounds, THE_STRETCH_RANGES, run.Progress(),
                                       ActAPI_PlotterEntry());
  if (!obfuscate.Perform(input.Shape))
  {
    const std::string reason = run.Notifier()->LastError();
    return Fail("obfuscation failed" + (reason.empty() ? std::string() : ": " + reason));
  }
  int nbReplaced = 0;
  for (int i = 1; i <= faces.Extent(); ++i)
  {
    nbReplaced += obfuscate.GetHistory()->Modified(faces(i)).IsEmpty() ? 0 : 1;
  }
  run.Print("Replaced %d of %d faces by distorted meshes\n", nbReplaced, faces.Extent());

  // The model is written beside its final name and renamed once complete.
  const TopoDS_Shape result = obfuscate.GetResult();
  run.Writer                = [result, outPath](const ActAPI_ProgressEntry&, std::string& error)
  { return writeBRep(result, outPath, error); };
  return std::nullopt;
}
} // namespace

int RunObfuscate(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshInputOptions         options;
  const CommandSyntax      syntax{"obfuscate", 2, "two files", printUsage, {}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }

  // 1. Only B-rep models have faces to disguise, and the result is one.
  const std::string in = LowerExtension(paths[0]);
  if (in != ".step" && in != ".stp" && in != ".brep")
  {
    return Fail("obfuscate needs a CAD model (.step, .stp, .brep), got '" + paths[0] + "'",
                Exit_Usage);
  }
  if (LowerExtension(paths[1]) != ".brep")
  {
    return Fail("obfuscate writes BREP files only, got '" + paths[1] + "'", Exit_Usage);
  }
  std::string error;
  if (!CheckDirectory(paths[1], error))
  {
    return Fail(error);
  }

  // 2. Read and mesh; 3. disguise within the model's bounding box; 4. write, meshes
  // included.
  MeshCommand command;
  command.InPath    = paths[0];
  command.OutPath   = paths[1];
  command.OutFormat = "BREP";
  command.Options   = options;
  return RunMeshCommand(command, [&paths](CommandRun& run, MeshInput& input)
                        { return disguise(run, input, paths[1]); });
}

} // namespace cli
