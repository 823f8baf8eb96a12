// quorin-mesh info FILE: the statistics of a mesh or CAD file, then what its format tells.
#include "ArgParser.hxx"
#include "Commands.hxx"
#include "MeshInput.hxx"

#include "CliNotifier.hxx"

#include <algoBase_Utils.hxx>
#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_Info.hxx>

#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopExp.hxx>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace cli
{

namespace
{
const char* const THE_USAGE =
    "Usage: quorin-mesh info FILE [--deflection D] [--weld] [--lod N]\n"
    "\n"
    "Prints the number of triangles and nodes and the largest surface deviation of FILE,\n"
    "then the size and format of the file (with the elements of a PLY file and the\n"
    "materials of an OBJ file), its bounding box and the number of boundary edges (0 for a\n"
    "closed mesh). CAD files are meshed first and also report their solids and faces.\n"
    "JT files give the placed model at one level of detail (every instance counted), then\n"
    "their assembly tree with the triangles of each level of each part.\n"
    "Point clouds (.xyz, .pts, PLY without faces) report their points and box. A file\n"
    "with a missing or wrong extension is recognised by its content.\n"
    "\n"
    "Options:\n"
    "  --deflection D  linear deflection for meshing CAD files, in model units\n"
    "                  (default: 0.1% of the bounding-box diagonal)\n"
    "  --weld          for CAD files, give the statistics of the face meshes welded\n"
    "                  into one mesh (nodes closer than 1e-7 shared) instead of the\n"
    "                  face meshes side by side, and the node counts before and after\n"
    "  --lod N         level of detail of JT files, 0 the finest (default 0); a level\n"
    "                  above the last reads the last\n"
    "  -h, --help      this text\n";

void printUsage(FILE* stream)
{
  std::fputs(THE_USAGE, stream);
}

int countShapes(const TopoDS_Shape& shape, const TopAbs_ShapeEnum type)
{
  TopTools_IndexedMapOfShape shapes;
  TopExp::MapShapes(shape, type, shapes);
  return shapes.Extent();
}

void printBox(const Bnd_Box& box)
{
  if (box.IsVoid())
  {
    std::printf("Bounding box: empty\n");
    return;
  }
  const gp_Pnt lo = box.CornerMin();
  const gp_Pnt hi = box.CornerMax();
  // Round-off of the box computation (1e-15 instead of 0) is noise, not a fact of the file.
  const double noise = 1e-12 * lo.Distance(hi);
  const auto clean = [noise](const double value) { return std::abs(value) < noise ? 0.0 : value; };
  std::printf("Bounding box: [%g, %g, %g] .. [%g, %g, %g]\n", clean(lo.X()), clean(lo.Y()),
              clean(lo.Z()), clean(hi.X()), clean(hi.Y()), clean(hi.Z()));
}
} // namespace

int RunInfo(const std::vector<std::string>& arguments)
{
  std::vector<std::string> files;
  MeshInputOptions         options;
  options.AcceptsPoints = true;
  bool       weld       = false;
  const auto setWeld    = [&weld](const std::string&)
  {
    weld = true;
    return int(Exit_Ok);
  };
  const auto setLod = [&options](const std::string& value)
  { return ApplyLodOption(value, options); };
  const CommandSyntax syntax{
      "info", 1, "one file", printUsage, {{"--weld", false, setWeld}, {"--lod", true, setLod}}};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, files, options.Deflection))
  {
    return *stop;
  }
  const std::string& path = files[0];

  Handle(CliNotifier) notifier = CliNotifier::Start();
  const ActAPI_ProgressEntry progress(notifier);
  MeshInput                  input;
  if (const std::optional<int> failed = LoadForCommand(path, options, progress, input))
  {
    return *failed;
  }

  quorin::algoMesh_Info info;
  // CAD and JT files count their faces as placed, every instance with its own nodes.
  if ((input.IsBRep || input.Format == "JT") && !weld)
  {
    info.ExtractInfoFrom(input.Shape);
  }
  else
  {
    info.ExtractInfoFrom(input.Mesh);
  }
  info.Dump(std::cout);
  std::cout.flush();

  std::printf("File: %s\n", input.Path.c_str());
  std::printf("Format: %s%s%s, %ju bytes\n", input.Format.c_str(),
              input.Encoding.empty() ? "" : " ", input.Encoding.c_str(), input.FileSize);
  for (const std::string& fact : input.Facts)
  {
    std::printf("%s\n", fact.c_str());
  }
  Bnd_Box box;
  if (input.IsBRep)
  {
    std::printf("Solids: %d\n", countShapes(input.Shape, TopAbs_SOLID));
    std::printf("Faces: %d\n", countShapes(input.Shape, TopAbs_FACE));
    std::printf("Meshed with deflection: %g\n", input.Deflection);
    quorin::algoMesh_Info faces;
    faces.ExtractInfoFrom(input.Shape);
    std::printf("Welded at tolerance %g: %d nodes before, %d nodes after, %d triangles\n",
                algoMesh_Tolerance, faces.NbNodes, input.Mesh->NbNodes(),
                input.Mesh->NbTriangles());
    algoBase_Utils::Bounds(input.Shape, false, true, box);
  }
  else
  {
    algoBase_Utils::Bounds(input.Mesh, TopLoc_Location(), box);
  }
  printBox(box);
  std::printf("Boundary edges: %d\n", quorin::algoMesh_BoundaryEdges::Count(input.Mesh));
  return Exit_Ok;
}

} // namespace cli
