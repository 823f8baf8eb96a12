#include "MeshInput.hxx"

#include "CliNotifier.hxx"
#include "Commands.hxx"
#include "FormatSniffer.hxx"
#include "PointCloudInput.hxx"

#include <Exchange_OBJMaterials.hxx>
#include <Exchange_OBJScan.hxx>
#include <algoBase_ProgressIndicator.hxx>
#include <algoMesh_CADReader.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Extent.hxx>
#include <algoMesh_JT.hxx>
#include <algoMesh_MSH.hxx>
#include <algoMesh_ModelSurface.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>

#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshPrism.hxx>
#include <MorvDS_MeshPyramid.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Message_ProgressScope.hxx>
#include <OSD_Path.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

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
  // A vertex element without usable coordinates (a damaged property line, say) yields no
  // nodes at all: there is nothing to show, and an empty node array cannot be sized.
  if (input.Mesh->NbNodes() == 0)
  {
    error = "'" + input.Path + "' holds no vertices with x, y and z coordinates";
    return false;
  }
  // A file without faces is read as a point set with one placeholder triangle on node 0:
  // it is a point cloud.
  int a, b, c;
  input.Mesh->Triangle(1).Get(a, b, c);
  if (a < 1 || b < 1 || c < 1)
  {
    Handle(Poly_Triangulation) cloud = NewPointCloud(input.Mesh->NbNodes());
    for (int i = 1; i <= input.Mesh->NbNodes(); ++i)
    {
      cloud->SetNode(i, input.Mesh->Node(i));
    }
    input.Mesh         = cloud;
    input.IsPointCloud = true;
    return true;
  }
  if (input.Attributes.Read(input.Path, input.Mesh) && !input.Attributes.IsEmpty())
  {
    input.Facts.push_back("Vertex attributes: " + input.Attributes.Description());
  }
  return true;
}

bool readPoints(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format       = "point cloud";
  input.IsPointCloud = true;
  return ReadPointText(input.Path, progress, input.Mesh, error);
}

// The first two words of an OBJ line, as `>>` splits them (blanks as isspace in the C
// locale).
void firstTwoWords(const std::string& line, std::string& keyword, std::string& name)
{
  const auto isBlank = [](const char c)
  { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n'; };
  size_t       at       = 0;
  const size_t length   = line.size();
  std::string* words[2] = {&keyword, &name};
  for (std::string* word : words)
  {
    while (at < length && isBlank(line[at]))
    {
      ++at;
    }
    const size_t start = at;
    while (at < length && !isBlank(line[at]))
    {
      ++at;
    }
    word->assign(line, start, at - start);
  }
}

// The materials an OBJ file refers to: those defined in its material libraries and the
// names its faces use (a used name may be missing from the libraries). Only lines that
// start with "u" or "m" can name one: a million-face file is scanned in a tenth of a
// second, after its reading has filled the bar.
//! @return whether the file switches material, group or object, where the kernel's reader
//! starts a new mesh with nodes of its own
bool objMaterialFacts(MeshInput& input)
{
  std::ifstream               file(input.Path);
  std::string                 line, keyword, name;
  std::set<std::string>       used;
  int                         defined = 0;
  bool                        isSplit = false;
  std::string                 libraries;
  const std::filesystem::path directory = std::filesystem::path(input.Path).parent_path();
  while (std::getline(file, line))
  {
    const size_t first = line.find_first_not_of(" \t\r\v\f");
    if (first == std::string::npos ||
        (line[first] != 'u' && line[first] != 'm' && line[first] != 'g' && line[first] != 'o'))
    {
      continue;
    }
    firstTwoWords(line, keyword, name);
    isSplit = isSplit || keyword == "usemtl" || keyword == "g" || keyword == "o";
    if (keyword == "usemtl" && !name.empty())
    {
      used.insert(name);
    }
    else if (keyword == "mtllib" && !name.empty())
    {
      const std::string rest = line.substr(line.find("mtllib") + 6);
      for (const std::string& library :
           quorin::Exchange_OBJScan::LibraryNames(rest, directory.string()))
      {
        quorin::Exchange_OBJMaterials materials;
        if (materials.ReadMaterials((directory / library).string()))
        {
          defined += static_cast<int>(materials.Materials().size());
        }
        libraries += (libraries.empty() ? "" : ", ") + library;
      }
    }
  }
  input.Facts.push_back("Materials: " + std::to_string(defined) + " defined" +
                        (libraries.empty() ? "" : " in " + libraries) + ", " +
                        std::to_string(used.size()) + " used");
  return isSplit;
}

// The kernel's reader gives each material, group or object its own nodes, so a closed OBJ
// with several materials would read as open along their borders: the nodes are welded back
// (as the STL and PLY readers weld theirs), every triangle kept.
void weldObjGroups(MeshInput& input)
{
  const Handle(Poly_Triangulation)& mesh = input.Mesh;
  const Handle(Poly_Triangulation) welded =
      quorin::algoMesh_NodesMerger::Weld(mesh, algoMesh_Tolerance, false);
  if (welded->NbNodes() == mesh->NbNodes())
  {
    return;
  }
  char tolerance[32];
  std::snprintf(tolerance, sizeof(tolerance), "%g", algoMesh_Tolerance);
  input.Facts.push_back(std::string("Welded at tolerance ") + tolerance + ": " +
                        std::to_string(mesh->NbNodes()) + " nodes before, " +
                        std::to_string(welded->NbNodes()) + " nodes after");
  input.Mesh = welded;
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
  if (objMaterialFacts(input))
  {
    weldObjGroups(input);
  }
  progress.Complete();
  return true;
}

std::string translationTimeout(const std::string& path)
{
  return "cannot read '" + path + "': the kernel did not finish translating it within " +
         std::to_string(static_cast<int>(KernelDeadline(path))) +
         " s; its geometry is likely damaged";
}

bool readStep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "STEP";
  // The kernel's translation polls for cancellation only between entities, and a single
  // malformed entity can keep it busy for minutes; no file is being written meanwhile.
  const ExitOnInterrupt watch(progress.Access(), KernelDeadline(input.Path),
                              translationTimeout(input.Path));
  if (!quorin::algoMesh_CADReader::ReadSTEP(input.Path, input.Shape, progress))
  {
    return readFailed(input, progress, error);
  }
  return true;
}

bool readBRep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "BREP";
  const ExitOnInterrupt watch(progress.Access(), KernelDeadline(input.Path),
                              translationTimeout(input.Path));
  if (!quorin::algoMesh_CADReader::ReadBRep(input.Path, input.Shape, progress))
  {
    return readFailed(input, progress, error);
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

// The facts of a data model file and its surface as the input's mesh.
bool takeModel(MeshInput& input,
               const Handle(MorvDS_Mesh) & model,
               const std::vector<std::string>& fieldFacts,
               std::string&                    error)
{
  input.Facts.push_back("Nodes in the file: " + std::to_string(model->NbNodes()));
  input.Facts.push_back(elementFacts(countKinds(model)));
  input.Facts.insert(input.Facts.end(), fieldFacts.begin(), fieldFacts.end());
  input.Mesh = quorin::algoMesh_ModelSurface::Perform(model);
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

bool readVtkXml(MeshInput&                  input,
                const bool                  isPoly,
                const ActAPI_ProgressEntry& progress,
                std::string&                error)
{
  input.Format = isPoly ? "VTP" : "VTU";
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

// Triangles of each level of a JT part, each level loaded and released in turn.
std::vector<long> jtPartLevels(const JTCAFControl_Reader::Product& part)
{
  std::vector<long> triangles;
  auto              stream = std::make_shared<std::ifstream>();
  for (const Handle(JTCAFControl_Triangulation) & face : part.Faces)
  {
    for (int level = face->Levels().Lower(); level <= face->Levels().Upper(); ++level)
    {
      if (triangles.size() <= size_t(level))
        triangles.resize(level + 1, 0);
      const Handle(JTCAFControl_Triangulation::Level)& lod = face->Levels().Value(level);
      for (int k = 0; !lod.IsNull() && k < lod->LateLoaded.Length(); ++k)
      {
        const Handle(JtProperty_LateLoaded)& property = lod->LateLoaded.Value(k);
        if (property->Load(nullptr, Message_ProgressRange(), stream))
          triangles[level] += property->Object()->NbTriangles();
        property->Release();
      }
    }
  }
  return triangles;
}

// The assembly tree of a JT file as fact lines: assemblies with their instances (repeats of
// one child counted), parts with their triangles per level. Unnamed grouping levels are
// left out, their children shown in their place.
void jtTreeFacts(const quorin::algoMesh_JT&        reader,
                 const int                         product,
                 const int                         count,
                 const int                         depth,
                 std::map<int, std::vector<long>>& levels,
                 std::vector<std::string>&         facts)
{
  const JTCAFControl_Reader::Product& node    = reader.Products()[product];
  const bool                          isShown = node.IsPart || !node.Name.empty() || depth == 0;
  std::string                         line    = std::string(2 * depth + 2, ' ') +
                     (node.Name.empty() ? "(unnamed)" : node.Name.substr(0, node.Name.find(';')));
  if (count > 1)
    line += " x" + std::to_string(count);
  if (node.IsPart)
  {
    if (levels.find(product) == levels.end())
      levels[product] = jtPartLevels(node);
    const std::vector<long>& triangles = levels[product];
    line += ": part, " + std::to_string(triangles.size()) + " level" +
            (triangles.size() == 1 ? "" : "s") + ", triangles";
    for (const long t : triangles)
      line += " " + std::to_string(t);
  }
  if (isShown)
    facts.push_back(line);
  if (depth >= 32 || facts.size() > 10000)
    return;
  for (size_t i = 0; i < node.Children.size();)
  {
    size_t j = i;
    while (j < node.Children.size() && node.Children[j] == node.Children[i])
      ++j;
    jtTreeFacts(reader, node.Children[i], int(j - i) * (isShown ? 1 : count),
                isShown ? depth + 1 : depth, levels, facts);
    i = j;
  }
}

bool readJt(MeshInput&                  input,
            const MeshInputOptions&     options,
            const ActAPI_ProgressEntry& progress,
            std::string&                error)
{
  input.Format                       = "JT";
  Handle(quorin::algoMesh_JT) reader = new quorin::algoMesh_JT();
  reader->SetLodIndex(options.Lod);
  reader->SetDocument(new TDocStd_Document(""));
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading JT", 100);
  if (!reader->Perform(input.Path.c_str(), indicator->Start()))
  {
    error = progress.IsCancelling()
                ? "interrupted"
                : "cannot read " + (reader->ErrorMessage().empty() ? "'" + input.Path + "'"
                                                                   : reader->ErrorMessage());
    return false;
  }
  input.Shape = reader->SingleShape();
  input.Facts.push_back("Version: " + std::to_string(reader->Model()->MajorVersion()) + "." +
                        std::to_string(reader->Model()->MinorVersion()));
  input.Facts.push_back("Levels of detail: " + std::to_string(reader->NbTriangulationLods()) +
                        ", level read: " + std::to_string(reader->LodIndex()));
  if (reader->RootProduct() >= 0)
  {
    input.Facts.push_back("Assembly tree (parts: levels, triangles per level):");
    std::map<int, std::vector<long>> levels;
    jtTreeFacts(*reader, reader->RootProduct(), 1, 0, levels, input.Facts);
  }
  input.Mesh = JoinFaceMeshes(input.Shape);
  if (input.Mesh.IsNull())
  {
    error =
        "'" + input.Path + "' holds no triangles at level " + std::to_string(reader->LodIndex());
    return false;
  }
  progress.Complete();
  return true;
}

// A fresh input for `path`, with its size, when it is a readable regular file.
bool startInput(const std::string& path, MeshInput& input, std::string& error)
{
  input      = MeshInput();
  input.Path = path;
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status))
  {
    const char* why = status == std::errc::too_many_symbolic_link_levels
                          ? "a loop of symbolic links"
                      : status == std::errc::permission_denied ? "permission denied"
                      : std::filesystem::exists(path, status)  ? "not a regular file"
                                                               : "no such file";
    error           = "cannot open '" + path + "': " + why;
    return false;
  }
  if (access(path.c_str(), R_OK) != 0)
  {
    error = "cannot read '" + path + "': permission denied";
    return false;
  }
  input.FileSize = std::filesystem::file_size(path, status);
  return true;
}

// Why a file is read by its content, not by its extension: "as VTP by its content (its
// extension says VTU)".
std::string contentNote(const std::string& extension, const SniffedFormat& sniffed)
{
  const std::string claimed = FormatOfExtension(extension);
  const std::string reason  = extension.empty() ? "it has no extension"
                              : claimed.empty() ? "its extension '" + extension + "' is unknown"
                                                : "its extension says " + claimed;
  return "as " + sniffed.Name + " by its content (" + reason + ")";
}

// Holds the reader's warnings while a file is read: a refusal is one line, so warnings
// about a file that is then refused are dropped.
void holdWarnings(const ActAPI_ProgressEntry& progress)
{
  if (CliNotifier* notifier = dynamic_cast<CliNotifier*>(progress.Access().get()))
  {
    notifier->HoldWarnings();
  }
}

// Tells the outcome of a read: when it succeeded, a note on standard error that the file
// was read by its content, then the reader's warnings; when it failed, the note becomes a
// part of the one error line (a user interrupt needs no explanation).
bool tellReadOutcome(const bool                  isLoaded,
                     const std::string&          path,
                     const std::string&          note,
                     const ActAPI_ProgressEntry& progress,
                     std::string&                error)
{
  if (isLoaded && !note.empty())
  {
    std::fprintf(stderr, "quorin-mesh: note: reading '%s' %s\n", path.c_str(), note.c_str());
  }
  else if (!isLoaded && !note.empty() && error != "interrupted")
  {
    error += " [read " + note + "]";
  }
  if (CliNotifier* notifier = dynamic_cast<CliNotifier*>(progress.Access().get()))
  {
    notifier->ReleaseWarnings(isLoaded);
  }
  return isLoaded;
}

} // namespace

const char* SupportedExtensions()
{
  return ".stl, .ply, .obj, .nas/.bdf, .msh, .vtp, .vtu (mesh; surface of volume meshes), "
         ".jt (assembly at one level of detail), "
         ".step/.stp and .brep (CAD, meshed first), or any of these under a missing or wrong "
         "extension (recognised by content)";
}

const char* PointCloudExtensions()
{
  return ".xyz, .pts (x y z per line) and PLY without faces";
}

int ApplyLodOption(const std::string& value, MeshInputOptions& options)
{
  char*      end    = nullptr;
  const long parsed = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || parsed < 0 || parsed > 1000000)
  {
    return Fail("--lod needs a whole number of 0 or more, got '" + value + "'", Exit_Usage);
  }
  options.Lod = static_cast<int>(parsed);
  return Exit_Ok;
}

namespace
{

bool loadMeshInput(const std::string&          path,
                   const MeshInputOptions&     options,
                   const ActAPI_ProgressEntry& progress,
                   MeshInput&                  input,
                   std::string&                error,
                   std::string&                note)
{
  // 1. Check that the file exists and is a readable regular file.
  if (!startInput(path, input, error))
  {
    return false;
  }
  std::string extension = LowerExtension(path);

  // 2. A content that shows another format than the extension's wins.
  const SniffedFormat sniffed = SniffFormat(path);
  if (!sniffed.Name.empty() && sniffed.Name != FormatOfExtension(extension))
  {
    note      = contentNote(extension, sniffed);
    extension = sniffed.Extension;
  }

  // 3. Read it with the reader of its format.
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
    isRead = readVtkXml(input, extension == ".vtp", progress, error);
  }
  else if (extension == ".xyz" || extension == ".pts")
  {
    isRead = readPoints(input, progress, error);
  }
  else if (extension == ".jt")
  {
    isRead = readJt(input, options, progress, error);
  }
  else if (extension == ".step" || extension == ".stp")
  {
    isRead = readStep(input, progress, error);
  }
  else if (extension == ".brep")
  {
    isRead = readBRep(input, progress, error);
  }
  else if (!sniffed.Name.empty())
  {
    // Recognised, but no reader of this format is built in.
    error = "'" + path + "' is a " + sniffed.Name + " file, which this build cannot read";
    return false;
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
  if (input.IsPointCloud)
  {
    input.Facts.push_back("Point cloud: " + std::to_string(input.Mesh->NbNodes()) + " points");
    if (!options.AcceptsPoints)
    {
      error = "'" + path + "' is a point cloud (" + std::to_string(input.Mesh->NbNodes()) +
              " points, no triangles); this command needs a triangle mesh (point clouds are "
              "read by info, hull and obb)";
      return false;
    }
    return true;
  }
  input.IsBRep = input.Format == "STEP" || input.Format == "BREP";
  if (!input.IsBRep)
  {
    return true;
  }

  // 4. Mesh a B-rep input and weld its face meshes into one.
  if (input.Shape.IsNull() || !TopExp_Explorer(input.Shape, TopAbs_FACE).More())
  {
    error = "'" + path + "' holds no faces";
    return false;
  }
  input.Deflection = options.Deflection;
  const ExitOnInterrupt watch(progress.Access(), KernelDeadline(path),
                              "meshing '" + path + "' did not finish within " +
                                  std::to_string(static_cast<int>(KernelDeadline(path))) +
                                  " s; its geometry is likely damaged");
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

} // namespace

bool LoadMeshInput(const std::string&          path,
                   const MeshInputOptions&     options,
                   const ActAPI_ProgressEntry& progress,
                   MeshInput&                  input,
                   std::string&                error)
{
  std::string note;
  holdWarnings(progress);
  const bool isLoaded = loadMeshInput(path, options, progress, input, error, note);
  return tellReadOutcome(isLoaded, path, note, progress, error);
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

double KernelDeadline(const std::string& path)
{
  std::error_code      status;
  const std::uintmax_t bytes = std::filesystem::file_size(path, status);
  return 30.0 + 20.0 * (status ? 0.0 : static_cast<double>(bytes) / 1e6);
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
    deflection = ratio * quorin::algoMesh_Extent::Diagonal(shape);
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

namespace
{

bool loadShapeInput(const std::string&          path,
                    const ActAPI_ProgressEntry& progress,
                    MeshInput&                  input,
                    std::string&                error,
                    std::string&                note)
{
  if (!startInput(path, input, error))
  {
    return false;
  }
  const SniffedFormat sniffed   = SniffFormat(path);
  std::string         extension = LowerExtension(path);
  if ((sniffed.Name == "STEP" || sniffed.Name == "BREP") &&
      sniffed.Name != FormatOfExtension(extension))
  {
    note      = contentNote(extension, sniffed);
    extension = sniffed.Extension;
  }
  bool isRead = false;
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

} // namespace

bool LoadShapeInput(const std::string&          path,
                    const ActAPI_ProgressEntry& progress,
                    MeshInput&                  input,
                    std::string&                error)
{
  std::string note;
  holdWarnings(progress);
  const bool isLoaded = loadShapeInput(path, progress, input, error, note);
  return tellReadOutcome(isLoaded, path, note, progress, error);
}

} // namespace cli
