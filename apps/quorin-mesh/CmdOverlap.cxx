// quorin-mesh overlap A B [--voxel-ratio R]: how much the solids bounded by two closed
// meshes overlap (algoMesh_CheckMeshesOverlap), from 0 (disjoint) to 1 (the same solid).
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

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
  MeshCommand              command;
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
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }

  command.InPath = paths[1];

  // The first file is read before the second; the step compares them.
  MeshInput first;
  return RunMeshCommand(
      command,
      [&first, ratio](CommandRun& run, MeshInput& second) -> std::optional<int>
      {
        Handle(quorin::algoMesh_CheckMeshesOverlap) check =
            new quorin::algoMesh_CheckMeshesOverlap(ratio, run.Progress());
        if (!check->Perform(first.Mesh, second.Mesh))
        {
          return Fail("the overlap could not be computed: a mesh encloses no volume at this "
                      "voxel size (open surface, or voxels too coarse)");
        }
        run.Print("Overlap ratio: %.6g\n", check->OverlapRatio());
        return std::nullopt;
      },
      [&first, &paths, &command](CommandRun& run)
      { return LoadForCommand(paths[0], command.Options, run.Progress(), first); });
}

} // namespace cli
