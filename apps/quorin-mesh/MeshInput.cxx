#include "MeshInput.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"

#include <Exchange_OBJMaterials.hxx>
#include <algoBase_ProgressIndicator.hxx>
#include <algoBase_Utils.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_MSH.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>

#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshPrism.hxx>
#include <MorvDS_MeshPyramid.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Message_ProgressScope.hxx>
#include <OSD_Path.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unordered_map>

namespace cli
{

namespace
{
// A binary STL file is exactly an 80-byte header, a 4-byte count and 50 bytes per facet;
// anything else is read as ASCII by the kernel.
std::string stlEncoding(const std::string& path, const std::uintmax_t size)
{
  std::ifstream file(path, std::ios::binary);
  unsigned char count[4] = {0, 0, 0, 0};
  if (size < 84 || !file.seekg(80) || !file.read(reinterpret_cast<char*>(count), 4))
  {
    return "ASCII";
  }
  const std::uintmax_t nbFacets =
      count[0] | (count[1] << 8) | (count[2] << 16) | (std::uintmax_t(count[3]) << 24);
  return 84 + 50 * nbFacets == size ? "binary" : "ASCII";
}

// Reports a failed read in one line, with the reader's own reason when it gave one.
bool readFailed(const MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  if (progress.IsCancelling())
  {
    error = "interrupted";
    return false;
  }
  const std::string reason = CliNotifier::LastErrorOf(progress);
  error                    = reason.empty() ? "no triangles could be read from '" + input.Path + "'"
                                            : "cannot read '" + input.Path + "': " + reason;
  return false;
}

bool readStl(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format   = "STL";
  input.Encoding = stlEncoding(input.Path, input.FileSize);
  if (!quorin::algoMesh_STL::Read(input.Path.c_str(), input.Mesh, progress) ||
      progress.IsCancelling() || input.Mesh->NbTriangles() == 0)
  {
    return readFailed(input, progress, error);
  }
  progress.Complete();
  return true;
}

bool readPly(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "PLY";
  TCollection_AsciiString                                 storage;
  NCollection_Vector<quorin::algoMesh_PLY::HeaderElement> header;
  if (quorin::algoMesh_PLY::ReadHeader(input.Path.c_str(), storage, header))
  {
    input.Encoding = storage.ToCString();
    std::string elements;
    for (const quorin::algoMesh_PLY::HeaderElement& element : header)
    {
      elements += (elements.empty() ? "" : ", ") + std::string(element.Name.ToCString()) + " " +
                  std::to_string(element.Count);
    }
    input.Facts.push_back("Elements: " + (elements.empty() ? std::string("none") : elements));
  }
  if (!quorin::algoMesh_PLY::Read(input.Path.c_str(), input.Mesh, progress))
  {
    return readFailed(input, progress, error);
  }
  // A file without faces is read as a point set with one placeholder triangle on node 0.
  int a, b, c;
  input.Mesh->Triangle(1).Get(a, b, c);
  if (a < 1 || b < 1 || c < 1)
  {
    error = "'" + input.Path + "' holds no faces";
    return false;
  }
  return true;
}

// The materials an OBJ file refers to: those defined in its material libraries and the
// names its faces use (a used name may be missing from the libraries).
void objMaterialFacts(MeshInput& input)
{
  std::ifstream               file(input.Path);
  std::string                 line;
  std::set<std::string>       used;
  int                         defined = 0;
  std::string                 libraries;
  const std::filesystem::path directory = std::filesystem::path(input.Path).parent_path();
  while (std::getline(file, line))
  {
    std::istringstream words(line);
    std::string        keyword, name;
    words >> keyword >> name;
    if (keyword == "usemtl" && !name.empty())
    {
      used.insert(name);
    }
    else if (keyword == "mtllib" && !name.empty())
    {
      quorin::Exchange_OBJMaterials materials;
      if (materials.ReadMaterials((directory / name).string()))
      {
        defined += static_cast<int>(materials.Materials().size());
      }
      libraries += (libraries.empty() ? "" : ", ") + name;
    }
  }
  input.Facts.push_back("Materials: " + std::to_string(defined) + " defined" +
                        (libraries.empty() ? "" : " in " + libraries) + ", " +
                        std::to_string(used.size()) + " used");
}

bool readObj(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "OBJ";
  quorin::algoMesh_OBJ reader(progress);
  if (!reader.Read(input.Path, input.Mesh) || progress.IsCancelling() ||
      input.Mesh->NbTriangles() == 0)
  {
    return readFailed(input, progress, error);
  }
  objMaterialFacts(input);
  progress.Complete();
  return true;
}

bool readStep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "STEP";
  STEPControl_Reader reader;
  if (reader.ReadFile(input.Path.c_str()) != IFSelect_RetDone)
  {
    error = "'" + input.Path + "' is not a readable STEP file";
    return false;
  }
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading STEP", 100);
  reader.TransferRoots(indicator->Start());
  if (progress.IsCancelling())
  {
    error = "interrupted";
    return false;
  }
  input.Shape = reader.OneShape();
  return true;
}

bool readBRep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format                                 = "BREP";
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading BREP", 100);
  BRep_Builder builder;
  if (!BRepTools::Read(input.Shape, input.Path.c_str(), builder, indicator->Start()))
  {
    error = progress.IsCancelling() ? "interrupted"
                                    : "'" + input.Path + "' is not a readable BREP file";
    return false;
  }
  return true;
}

// Element kinds of a data model mesh, counted for the facts line.
struct KindCounts
{
  int zeroD = 0, edges = 0, triangles = 0, quadrangles = 0;
  int tetrahedra = 0, pyramids = 0, prisms = 0, hexahedra = 0;
};

KindCounts countKinds(const Handle(MorvDS_Mesh) & mesh)
{
  KindCounts counts;
  for (MorvDS_MeshElementsIterator it(mesh, MorvAbs_All); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) e = it.Value();
    switch (e->GetType())
    {
    case MorvAbs_0DElement:
      ++counts.zeroD;
      break;
    case MorvAbs_Edge:
      ++counts.edges;
      break;
    case MorvAbs_Face:
      ++(e->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)) ? counts.triangles : counts.quadrangles);
      break;
    default:
      if (e->IsKind(STANDARD_TYPE(MorvDS_MeshTetrahedron)))
        ++counts.tetrahedra;
      else if (e->IsKind(STANDARD_TYPE(MorvDS_MeshPyramid)))
        ++counts.pyramids;
      else if (e->IsKind(STANDARD_TYPE(MorvDS_MeshPrism)))
        ++counts.prisms;
      else
        ++counts.hexahedra;
    }
  }
  return counts;
}

std::string elementFacts(const KindCounts& c)
{
  const std::pair<const char*, int> kinds[] = {
      {"one-node", c.zeroD},          {"edges", c.edges},           {"triangles", c.triangles},
      {"quadrangles", c.quadrangles}, {"tetrahedra", c.tetrahedra}, {"pyramids", c.pyramids},
      {"prisms", c.prisms},           {"hexahedra", c.hexahedra}};
  std::string text;
  for (const auto& kind : kinds)
  {
    if (kind.second > 0)
    {
      text +=
          (text.empty() ? "" : ", ") + std::string(kind.first) + " " + std::to_string(kind.second);
    }
  }
  return "Elements: " + (text.empty() ? std::string("none") : text);
}

// Faces of a volume element as node positions in its node list, outward by the usual
// corner order; triangles end in -1.
const std::vector<std::array<int, 4>>& volumeFaces(const int nbNodes)
{
  static const std::vector<std::array<int, 4>> tetra = {
      {0, 2, 1, -1}, {0, 1, 3, -1}, {1, 2, 3, -1}, {0, 3, 2, -1}};
  static const std::vector<std::array<int, 4>> pyramid = {
      {0, 3, 2, 1}, {0, 1, 4, -1}, {1, 2, 4, -1}, {2, 3, 4, -1}, {3, 0, 4, -1}};
  static const std::vector<std::array<int, 4>> prism = {
      {0, 2, 1, -1}, {3, 4, 5, -1}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}};
  static const std::vector<std::array<int, 4>> hexa = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                       {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  static const std::vector<std::array<int, 4>> none;
  switch (nbNodes)
  {
  case 4:
    return tetra;
  case 5:
    return pyramid;
  case 6:
    return prism;
  case 8:
    return hexa;
  default:
    return none;
  }
}

// The surface of a data model mesh as one triangulation: its triangles, its quadrangles cut
// along the first diagonal, and, when it has no surface elements, the faces of its volumes
// that no other volume shares. Nodes are those the triangles use, numbered in order of use.
Handle(Poly_Triangulation) surfaceOf(const Handle(MorvDS_Mesh) & mesh)
{
  std::vector<std::vector<int>> polygons; // node numbers of the file
  for (MorvDS_MeshElementsIterator it(mesh, MorvAbs_Face); it.More(); it.Next())
  {
    std::vector<int> nodes;
    for (int i = 0; i < it.Value()->NbNodes(); ++i)
    {
      nodes.push_back(it.Value()->NodeID(i));
    }
    polygons.push_back(nodes);
  }
  if (polygons.empty())
  {
    // Boundary faces: keyed by their sorted nodes, kept when met once.
    std::map<std::vector<int>, std::vector<int>> faces;
    std::map<std::vector<int>, int>              uses;
    for (MorvDS_MeshElementsIterator it(mesh, MorvAbs_Volume); it.More(); it.Next())
    {
      const Handle(MorvDS_MeshElement) volume = it.Value();
      for (const std::array<int, 4>& face : volumeFaces(volume->NbNodes()))
      {
        std::vector<int> nodes;
        for (const int corner : face)
        {
          if (corner >= 0)
          {
            nodes.push_back(volume->NodeID(corner));
          }
        }
        std::vector<int> key = nodes;
        std::sort(key.begin(), key.end());
        faces[key] = nodes;
        ++uses[key];
      }
    }
    for (const auto& face : faces)
    {
      if (uses[face.first] == 1)
      {
        polygons.push_back(face.second);
      }
    }
  }
  std::unordered_map<int, int> numbers;
  std::vector<int>             order;
  std::vector<Poly_Triangle>   triangles;
  const auto                   number = [&](const int id)
  {
    const auto found = numbers.emplace(id, static_cast<int>(order.size()) + 1);
    if (found.second)
    {
      order.push_back(id);
    }
    return found.first->second;
  };
  for (const std::vector<int>& polygon : polygons)
  {
    for (size_t k = 1; k + 1 < polygon.size(); ++k)
    {
      triangles.emplace_back(number(polygon[0]), number(polygon[k]), number(polygon[k + 1]));
    }
  }
  if (triangles.empty())
  {
    return Handle(Poly_Triangulation)();
  }
  Handle(Poly_Triangulation) result = new Poly_Triangulation(
      static_cast<int>(order.size()), static_cast<int>(triangles.size()), false);
  for (size_t n = 0; n < order.size(); ++n)
  {
    result->SetNode(static_cast<int>(n) + 1, mesh->FindNode(order[n])->Pnt());
  }
  for (size_t t = 0; t < triangles.size(); ++t)
  {
    result->SetTriangle(static_cast<int>(t) + 1, triangles[t]);
  }
  return result;
}

// The facts of a data model file and its surface as the input's mesh.
bool takeModel(MeshInput& input,
               const Handle(MorvDS_Mesh) & model,
               const std::vector<std::string>& fieldFacts,
               std::string&                    error)
{
  input.Facts.push_back("Nodes in the file: " + std::to_string(model->NbNodes()));
  input.Facts.push_back(elementFacts(countKinds(model)));
  input.Facts.insert(input.Facts.end(), fieldFacts.begin(), fieldFacts.end());
  input.Mesh = surfaceOf(model);
  if (input.Mesh.IsNull())
  {
    error = "'" + input.Path + "' holds no faces";
    return false;
  }
  return true;
}

std::string fieldFact(const Handle(quorin::algoMesh_Field) & field)
{
  return "Field '" + std::string(field->Name().ToCString()) + "': " +
         (field->Association() == quorin::algoMesh_Field::Association_Node ? "nodes" : "elements") +
         ", " + std::to_string(field->NbComponents()) + " component" +
         (field->NbComponents() == 1 ? "" : "s") + ", " + std::to_string(field->NbTuples()) +
         " values";
}

bool readNas(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "NASTRAN";
  Handle(MorvDS_Mesh) model;
  if (!quorin::algoMesh_NAS::Read(input.Path.c_str(), model, progress))
  {
    return readFailed(input, progress, error);
  }
  return takeModel(input, model, {}, error);
}

bool readMsh(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "MSH";
  Handle(MorvDS_Mesh) model;
  NCollection_Vector<Handle(quorin::algoMesh_FieldFrame)> frames;
  if (!quorin::algoMesh_MSH::Read(input.Path.c_str(), model, frames, Standard_GUID(),
                                  progress.Access()))
  {
    if (!progress.IsCancelling() && CliNotifier::LastErrorOf(progress).empty())
    {
      error = "cannot read '" + input.Path + "': malformed MSH 2 ASCII content";
      return false;
    }
    return readFailed(input, progress, error);
  }
  std::vector<std::string> facts;
  for (int f = 0; f < frames.Length(); ++f)
  {
    facts.push_back(fieldFact(frames.Value(f)));
  }
  return takeModel(input, model, facts, error);
}

bool readVtkXml(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  const bool isPoly = LowerExtension(input.Path) == ".vtp";
  input.Format      = isPoly ? "VTP" : "VTU";
  Handle(MorvDS_Mesh) model;
  NCollection_Vector<Handle(quorin::algoMesh_Field)> fields;
  const bool isRead = isPoly ? quorin::algoMesh_VTK_XML::ReadVTP(input.Path.c_str(), model, fields,
                                                                 Standard_GUID(), progress)
                             : quorin::algoMesh_VTK_XML::ReadVTU(input.Path.c_str(), model, fields,
                                                                 Standard_GUID(), progress);
  if (!isRead)
  {
    return readFailed(input, progress, error);
  }
  std::vector<std::string> facts;
  for (int f = 0; f < fields.Length(); ++f)
  {
    facts.push_back(fieldFact(fields.Value(f)));
  }
  return takeModel(input, model, facts, error);
}

} // namespace

const char* SupportedExtensions()
{
  return ".stl, .ply, .obj, .nas/.bdf, .msh, .vtp, .vtu (mesh; surface of volume meshes), "
         ".step/.stp and .brep (CAD, meshed first)";
}

bool LoadMeshInput(const std::string&          path,
                   const MeshInputOptions&     options,
                   const ActAPI_ProgressEntry& progress,
                   MeshInput&                  input,
                   std::string&                error)
{
  // 1. Check that the file exists, is a regular file, and has a known extension.
  input      = MeshInput();
  input.Path = path;
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status))
  {
    error = "cannot open '" + path +
            "': " + (std::filesystem::exists(path, status) ? "not a regular file" : "no such file");
    return false;
  }
  input.FileSize              = std::filesystem::file_size(path, status);
  const std::string extension = LowerExtension(path);

  // 2. Read it with the reader of its format.
  bool isRead = false;
  if (extension == ".stl")
  {
    isRead = readStl(input, progress, error);
  }
  else if (extension == ".ply")
  {
    isRead = readPly(input, progress, error);
  }
  else if (extension == ".obj")
  {
    isRead = readObj(input, progress, error);
  }
  else if (extension == ".nas" || extension == ".bdf")
  {
    isRead = readNas(input, progress, error);
  }
  else if (extension == ".msh")
  {
    isRead = readMsh(input, progress, error);
  }
  else if (extension == ".vtp" || extension == ".vtu")
  {
    isRead = readVtkXml(input, progress, error);
  }
  else if (extension == ".step" || extension == ".stp")
  {
    isRead = readStep(input, progress, error);
  }
  else if (extension == ".brep")
  {
    isRead = readBRep(input, progress, error);
  }
  else
  {
    error =
        "unknown file type '" + extension + "' of '" + path + "'; known: " + SupportedExtensions();
    return false;
  }
  if (!isRead)
  {
    return false;
  }
  input.IsBRep = input.Format == "STEP" || input.Format == "BREP";
  if (!input.IsBRep)
  {
    return true;
  }

  // 3. Mesh a B-rep input and weld its face meshes into one.
  if (input.Shape.IsNull() || !TopExp_Explorer(input.Shape, TopAbs_FACE).More())
  {
    error = "'" + path + "' holds no faces";
    return false;
  }
  input.Deflection = options.Deflection;
  if (!MeshShape(input.Shape, input.Deflection, options.DeflectionRatio, progress))
  {
    error = progress.IsCancelling() ? "interrupted" : "meshing '" + path + "' failed";
    return false;
  }
  input.Mesh = JoinFaceMeshes(input.Shape);
  if (input.Mesh.IsNull() || input.Mesh->NbTriangles() == 0)
  {
    error = "meshing '" + path + "' gave no triangles";
    return false;
  }
  return true;
}

std::optional<int> LoadForCommand(const std::string&          path,
                                  const MeshInputOptions&     options,
                                  const ActAPI_ProgressEntry& progress,
                                  MeshInput&                  input)
{
  std::string error;
  if (!LoadMeshInput(path, options, progress, input, error))
  {
    return Fail(error, progress.IsCancelling() ? Exit_Interrupted : Exit_Failure);
  }
  if (!progress.Access().IsNull())
  {
    progress.Access()->ResetProgress();
  }
  return std::nullopt;
}

bool MeshShape(const TopoDS_Shape&         shape,
               double&                     deflection,
               const double                ratio,
               const ActAPI_ProgressEntry& progress)
{
  if (shape.IsNull())
  {
    return false;
  }
  if (deflection <= 0.0)
  {
    Bnd_Box box;
    if (!algoBase_Utils::Bounds(shape, false, false, box))
    {
      return false;
    }
    deflection = ratio * box.CornerMin().Distance(box.CornerMax());
    if (!(deflection > 0.0))
    {
      return false;
    }
  }
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Meshing", 100);

  IMeshTools_Parameters parameters;
  parameters.Deflection = deflection;
  parameters.Angle      = 0.5;
  parameters.InParallel = true;
  parameters.Relative   = false;
  BRepMesh_IncrementalMesh mesher(shape, parameters, indicator->Start());
  if (progress.IsCancelling())
  {
    return false;
  }
  progress.Complete();
  return mesher.IsDone();
}

Handle(Poly_Triangulation) JoinFaceMeshes(const TopoDS_Shape& shape)
{
  const quorin::algoMesh_Conglomerate welded(
      shape, quorin::algoMesh_Conglomerate::Mode_CoherentAndPlain, algoMesh_Tolerance);
  const Handle(Poly_Triangulation)& mesh = welded.GetPlain();
  return !mesh.IsNull() && mesh->NbTriangles() > 0 ? mesh : Handle(Poly_Triangulation)();
}

int CountBoundaryEdges(const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull())
  {
    return 0;
  }
  // Edge keys pack the two node indices, smaller first, into one 64-bit number.
  std::unordered_map<std::uint64_t, int> uses;
  uses.reserve(static_cast<size_t>(mesh->NbTriangles()) * 2);
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const std::uint64_t a = static_cast<std::uint32_t>(std::min(n[k], n[(k + 1) % 3]));
      const std::uint64_t b = static_cast<std::uint32_t>(std::max(n[k], n[(k + 1) % 3]));
      ++uses[(a << 32) | b];
    }
  }
  int boundary = 0;
  for (const auto& entry : uses)
  {
    boundary += entry.second == 1 ? 1 : 0;
  }
  return boundary;
}

bool LoadShapeInput(const std::string&          path,
                    const ActAPI_ProgressEntry& progress,
                    MeshInput&                  input,
                    std::string&                error)
{
  input      = MeshInput();
  input.Path = path;
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status))
  {
    error = "cannot open '" + path +
            "': " + (std::filesystem::exists(path, status) ? "not a regular file" : "no such file");
    return false;
  }
  input.FileSize              = std::filesystem::file_size(path, status);
  const std::string extension = LowerExtension(path);
  bool              isRead    = false;
  if (extension == ".step" || extension == ".stp")
  {
    isRead = readStep(input, progress, error);
  }
  else if (extension == ".brep")
  {
    isRead = readBRep(input, progress, error);
  }
  else
  {
    error = "'" + path + "' is not a CAD file (.step, .stp or .brep)";
    return false;
  }
  if (!isRead)
  {
    return false;
  }
  input.IsBRep = true;
  if (input.Shape.IsNull() || !TopExp_Explorer(input.Shape, TopAbs_FACE).More())
  {
    error = "'" + path + "' holds no faces";
    return false;
  }
  return true;
}

} // namespace cli
