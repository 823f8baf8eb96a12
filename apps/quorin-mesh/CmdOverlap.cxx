// quorin-mesh overlap A B [--voxel-ratio R]: how much the solids bounded by two closed
// meshes overlap (algoMesh_CheckMeshesOverlap), from 0 (disjoint) to 1 (the same solid).
#include "ArgParser.hxx"
#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"

#include <algoMesh_CheckMeshesOverlap.hxx>

#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh overlap A B [--voxel-ratio R] [--deflection D]\n"
               "\n"
               "Voxelizes the closed meshes of A and B and prints the volume their solids\n"
               "share relative to the larger of the two, from 0 (disjoint) to 1 (the same\n"
               "solid). Voxels on the surface count fully, so the ratio is accurate to about\n"
               "the voxel size over the size of the solids. Readable: %s.\n"
               "\n"
               "Options:\n"
               "  --voxel-ratio R  smallest voxel as a share of each mesh's bounding-box\n"
               "                   diagonal (default: 0.01); smaller is finer and slower\n"
               "  --deflection D   linear deflection for meshing CAD files, in model units\n"
               "                   (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help       this text\n",
               SupportedExtensions());
}
} // namespace

int RunOverlap(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshInputOptions         options;
  double                   ratio = 0.01;
  const CommandSyntax      syntax{"overlap",
                             2,
                             "two files",
                             printUsage,
                             {{"--voxel-ratio", true, [&ratio](const std::string& value) {
                                 return ParsePositive("--voxel-ratio", value, ratio)
                                                 ? int(Exit_Ok)
                                                 : int(Exit_Usage);
                               }}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, options.Deflection))
  {
    return *stop;
  }

  // 1. Read both files.
  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  inputs[2];
  for (int k = 0; k < 2; ++k)
  {
    if (const std::optional<int> failed = LoadForCommand(paths[k], options, progress, inputs[k]))
    {
      return *failed;
    }
  }

  // 2. Compare.
  Handle(quorin::algoMesh_CheckMeshesOverlap) check =
      new quorin::algoMesh_CheckMeshesOverlap(ratio, progress);
  if (!check->Perform(inputs[0].Mesh, inputs[1].Mesh))
  {
    return Fail("the overlap could not be computed: a mesh encloses no volume at this voxel "
                "size (open surface, or voxels too coarse)");
  }
  std::printf("Overlap ratio: %.6g\n", check->OverlapRatio());
  return Exit_Ok;
}

} // namespace cli
