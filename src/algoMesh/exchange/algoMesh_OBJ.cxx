#include <algoMesh_OBJ.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_OBJMaterials.hxx>
#include <Exchange_KernelGuard.hxx>
#include <Exchange_OBJScan.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <BRep_Tool.hxx>
#include <NCollection_IndexedDataMap.hxx>
#include <Quantity_ColorRGBAHasher.hxx>
#include <RWObj_CafReader.hxx>
#include <TDF_LabelSequence.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace quorin
{

IMPLEMENT_STANDARD_RTTIEXT(algoMesh_OBJ, ActAPI_IAlgorithm)

namespace
{

//! Buffered text output. Numbers are formatted with to_chars, which yields exactly the
//! text of printf's "%f" (six decimals, correctly rounded) and "%d", several times faster.
class LineWriter
{
public:
  explicit LineWriter(Exchange_AtomicFile& file) : m_file(file)
  {
    m_buffer.reserve(THE_BLOCK + 256);
  }

  void Text(const char* text) { m_buffer.append(text); }
  void Text(const std::string& text) { m_buffer.append(text); }

  void Fixed6(const double value)
  {
    char                       text[400];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 6);
    m_buffer.append(text, result.ptr);
  }

  void Integer(const int value)
  {
    char                       text[16];
    const std::to_chars_result result = std::to_chars(text, text + sizeof(text), value);
    m_buffer.append(text, result.ptr);
  }

  //! Ends a line and writes the buffer out when it is full.
  void EndLine()
  {
    m_buffer.push_back('\n');
    if (m_buffer.size() >= THE_BLOCK)
    {
      Flush();
    }
  }

  //! @return false once a write has failed (a full disk, a lost device).
  bool Flush()
  {
    const bool isWritten = m_file.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return isWritten;
  }

private:
  static const size_t  THE_BLOCK = size_t(1) << 20;
  Exchange_AtomicFile& m_file;
  std::string          m_buffer;
};

//! Reports a failed write with its reason (the caller knows the file).
void sendWriteError(const ActAPI_ProgressEntry& progress, const std::string& reason)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << "Writing failed: %1." << reason.c_str();
  progress.SendLogMessage(message);
}

// Share of a read taken by the scan before the kernel reader.
constexpr double THE_SCAN_SHARE = 0.4;

//! Splits at a separator, keeping empty pieces.
std::vector<std::string> split(const std::string& text, const char separator)
{
  std::vector<std::string> pieces(1);
  for (const char c : text)
  {
    if (c == separator)
    {
      pieces.emplace_back();
    }
    else
    {
      pieces.back().push_back(c);
    }
  }
  return pieces;
}

//! The materials of the meshes: "mat_default" first, then one per distinct colour in order
//! of appearance, and each mesh's material name.
struct MaterialPlan
{
  Exchange_OBJMaterials                Materials;
  std::vector<TCollection_AsciiString> Names;
  bool                                 AnyColour = false;
};

MaterialPlan planMaterials(const std::vector<bool>&               hasColour,
                           const std::vector<Quantity_ColorRGBA>& colours)
{
  MaterialPlan plan;
  plan.Materials.Materials().emplace_back();
  plan.Materials.Materials().back().Name = "mat_default";
  NCollection_IndexedDataMap<Quantity_ColorRGBA, TCollection_AsciiString, Quantity_ColorRGBAHasher>
      colourMap;
  for (size_t i = 0; i < hasColour.size(); ++i)
  {
    if (!hasColour[i])
    {
      plan.Names.emplace_back("mat_default");
      continue;
    }
    plan.AnyColour = true;
    if (const TCollection_AsciiString* known = colourMap.Seek(colours[i]))
    {
      plan.Names.push_back(*known);
      continue;
    }
    const TCollection_AsciiString name =
        TCollection_AsciiString("mat_") + TCollection_AsciiString(colourMap.Extent() + 1);
    colourMap.Add(colours[i], name);
    Exchange_OBJMaterial material;
    material.Name    = name.ToCString();
    material.Diffuse = colours[i].GetRGB();
    material.Opacity = colours[i].Alpha();
    plan.Materials.Materials().push_back(material);
    plan.Names.push_back(name);
  }
  return plan;
}

//! The "v" lines of a mesh's nodes, placed, and its "f" lines with node numbers shifted by
//! `offset`; false when the user asked to stop.
template <class CountLine>
bool writeMesh(LineWriter& out,
               const Handle(Poly_Triangulation) & mesh,
               const gp_Trsf&              placement,
               const int                   offset,
               CountLine&                  countLine,
               const ActAPI_ProgressEntry& progress)
{
  for (int k = 1; k <= mesh->NbNodes(); ++k)
  {
    gp_XYZ p = mesh->Node(k).XYZ();
    placement.Transforms(p);
    out.Text("v ");
    out.Fixed6(p.X());
    out.Text(" ");
    out.Fixed6(p.Y());
    out.Text(" ");
    out.Fixed6(p.Z());
    out.EndLine();
    countLine();
    if ((k & 4095) == 0 && progress.IsCancelling())
    {
      return false;
    }
  }
  for (int k = 1; k <= mesh->NbTriangles(); ++k)
  {
    int a, b, c;
    mesh->Triangle(k).Get(a, b, c);
    out.Text("f ");
    out.Integer(a + offset);
    out.Text(" ");
    out.Integer(b + offset);
    out.Text(" ");
    out.Integer(c + offset);
    out.EndLine();
    countLine();
    if ((k & 4095) == 0 && progress.IsCancelling())
    {
      return false;
    }
  }
  return true;
}

//! The face triangulations of every free shape of the document, in document order.
std::vector<Handle(Poly_Triangulation)> faceMeshesOf(const Handle(TDocStd_Document) & document)
{
  Handle(XCAFDoc_ShapeTool) shapeTool = XCAFDoc_DocumentTool::ShapeTool(document->Main());
  TDF_LabelSequence freeShapes;
  shapeTool->GetFreeShapes(freeShapes);
  std::vector<Handle(Poly_Triangulation)> parts;
  for (TDF_LabelSequence::Iterator it(freeShapes); it.More(); it.Next())
  {
    const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(it.Value());
    for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
    {
      TopLoc_Location location;
      const Handle(Poly_Triangulation) mesh =
          BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
      if (!mesh.IsNull())
      {
        parts.push_back(mesh);
      }
    }
  }
  return parts;
}

//! One triangulation of all the parts, node indices shifted by the nodes before. The kernel
//! refuses to size a triangulation with zero nodes or triangles, so an empty result is
//! left unsized.
Handle(Poly_Triangulation) concatenate(const std::vector<Handle(Poly_Triangulation)>& parts)
{
  int nbNodes = 0, nbTriangles = 0;
  for (const Handle(Poly_Triangulation) & mesh : parts)
  {
    nbNodes += mesh->NbNodes();
    nbTriangles += mesh->NbTriangles();
  }
  if (nbNodes == 0 || nbTriangles == 0)
  {
    return new Poly_Triangulation();
  }
  Handle(Poly_Triangulation) merged = new Poly_Triangulation(nbNodes, nbTriangles, false);
  int nodeBase = 0, triangleBase = 0;
  for (const Handle(Poly_Triangulation) & mesh : parts)
  {
    for (int k = 1; k <= mesh->NbNodes(); ++k)
    {
      merged->SetNode(nodeBase + k, mesh->Node(k));
    }
    for (int k = 1; k <= mesh->NbTriangles(); ++k)
    {
      int a, b, c;
      mesh->Triangle(k).Get(a, b, c);
      merged->SetTriangle(triangleBase + k,
                          Poly_Triangle(a + nodeBase, b + nodeBase, c + nodeBase));
    }
    nodeBase += mesh->NbNodes();
    triangleBase += mesh->NbTriangles();
  }
  return merged;
}

} // namespace

void algoMesh_OBJ::AddMesh(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& placement)
{
  m_meshes.push_back(mesh);
  m_placements.push_back(placement);
  m_hasColour.push_back(false);
  m_colours.emplace_back(Quantity_Color(), 1.0f);
  m_hasName.push_back(false);
  m_names.emplace_back();
}

void algoMesh_OBJ::AddMesh(const Handle(Poly_Triangulation) & mesh,
                           const gp_Trsf&            placement,
                           const Quantity_ColorRGBA& colour)
{
  AddMesh(mesh, placement);
  m_hasColour.back() = true;
  m_colours.back()   = colour;
}

void algoMesh_OBJ::AddMesh(const Handle(Poly_Triangulation) & mesh,
                           const gp_Trsf&                 placement,
                           const Quantity_ColorRGBA&      colour,
                           const TCollection_AsciiString& name)
{
  AddMesh(mesh, placement, colour);
  m_hasName.back() = true;
  m_names.back()   = name;
}

void algoMesh_OBJ::AddMesh(const Handle(Poly_Triangulation) & mesh,
                           const gp_Trsf&                 placement,
                           const TCollection_AsciiString& name)
{
  AddMesh(mesh, placement);
  m_hasName.back() = true;
  m_names.back()   = name;
}

void algoMesh_OBJ::Clear()
{
  m_meshes.clear();
  m_placements.clear();
  m_hasColour.clear();
  m_colours.clear();
  m_hasName.clear();
  m_names.clear();
}

// The material file takes the OBJ file's base name (its last extension dropped) with
// ".mtl", in the OBJ file's directory; both separators are accepted.
bool algoMesh_OBJ::materialFileName(const std::string& path,
                                    std::string&       directory,
                                    std::string&       name) const
{
  std::string normalised = path;
  for (char& c : normalised)
  {
    if (c == '\\')
    {
      c = '/';
    }
  }
  const std::vector<std::string> pieces   = split(normalised, '/');
  const std::string&             fileName = pieces.back();
  if (fileName.empty())
  {
    return false;
  }
  const std::vector<std::string> parts = split(fileName, '.');
  std::string                    base  = parts.front();
  if (parts.size() > 2)
  {
    for (size_t i = 1; i + 1 < parts.size(); ++i)
    {
      base += "." + parts[i];
    }
  }
  if (base.empty())
  {
    return false;
  }
  name = base + ".mtl";
  directory.clear();
  for (size_t i = 0; i + 1 < pieces.size(); ++i)
  {
    directory += pieces[i] + "/";
  }
  return true;
}

bool algoMesh_OBJ::Write(const std::string& path)
{
  // 1. Refuse an empty list or a list of a single null mesh.
  if (m_meshes.empty() || (m_meshes.size() == 1 && m_meshes.front().IsNull()))
  {
    return false;
  }

  // 2. Open the file: a temporary beside it, renamed onto it once complete.
  Exchange_AtomicFile file(path);
  if (!file.IsOpen())
  {
    sendWriteError(m_progress, file.Error());
    return false;
  }

  // 3-4. Count and name the materials: one per distinct colour, in order of appearance.
  int totalNodes = 0, totalTriangles = 0;
  for (const Handle(Poly_Triangulation) & mesh : m_meshes)
  {
    if (!mesh.IsNull())
    {
      totalNodes += mesh->NbNodes();
      totalTriangles += mesh->NbTriangles();
    }
  }
  const MaterialPlan plan = planMaterials(m_hasColour, m_colours);

  LineWriter out(file);

  // 5. Header.
  out.Text("# Exported by Halvard Quorin");
  out.EndLine();
  out.Text("# Vertices: ");
  out.Integer(totalNodes);
  out.EndLine();
  out.Text("# Faces: ");
  out.Integer(totalTriangles);
  out.EndLine();

  // 6. Material library.
  if (plan.AnyColour)
  {
    std::string directory, mtlName;
    if (!materialFileName(path, directory, mtlName))
    {
      return false;
    }
    out.Text("mtllib " + mtlName);
    out.EndLine();
    if (!plan.Materials.WriteMaterials(directory + mtlName))
    {
      sendWriteError(m_progress, "the material file " + mtlName + " could not be written");
      return false;
    }
  }

  // 7. Progress over the v and f lines.
  m_progress.Init("Saving file", 100);
  const int threshold = (totalNodes + totalTriangles) / 100;
  int       counter   = 0;
  auto      countLine = [&]()
  {
    counter += 2;
    if (counter >= threshold)
    {
      m_progress.StepProgress(1);
      counter = 0;
    }
  };

  // 8. Groups, vertices and faces, mesh by mesh.
  int offset = 0;
  for (size_t i = 0; i < m_meshes.size(); ++i)
  {
    out.Text("g ");
    out.Text(m_hasName[i] ? m_names[i].ToCString() : "default");
    out.EndLine();
    if (plan.AnyColour)
    {
      out.Text("usemtl ");
      out.Text(plan.Names[i].ToCString());
      out.EndLine();
    }
    if (m_meshes[i].IsNull())
    {
      continue;
    }
    if (!writeMesh(out, m_meshes[i], m_placements[i], offset, countLine, m_progress))
    {
      return false;
    }
    offset += m_meshes[i]->NbNodes();
  }

  // 9. Finish: the target is replaced only when every byte reached the disk.
  if (!out.Flush() || !file.Commit())
  {
    sendWriteError(m_progress, file.Error());
    return false;
  }
  m_progress.SetProgress(100);
  return true;
}

bool algoMesh_OBJ::Read(const std::string& path, Handle(Poly_Triangulation) & result)
{
  // 1-3. Read the file into a fresh document with the kernel's reader.
  Handle(TDocStd_Document) document = new TDocStd_Document("");
  if (!Read(path, document))
  {
    return false;
  }

  // 4. Collect the face triangulations of every free shape.
  const std::vector<Handle(Poly_Triangulation)> parts = faceMeshesOf(document);

  // 5-6. Concatenate them, shifting node indices.
  const Handle(Poly_Triangulation) merged = concatenate(parts);

  // 7. Hand it over.
  result = merged;
  return true;
}

bool algoMesh_OBJ::Read(const std::string& path, Handle(TDocStd_Document) & document)
{
  // The scan takes the first share of the progress and the kernel reader, through the
  // indicator, the rest; the scan runs about as long as the reader's parsing.
  algoMesh_ProgressScope       root(m_progress, TCollection_AsciiString());
  const algoMesh_ProgressScope scanning        = root.Next(THE_SCAN_SHARE);
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  RWObj_CafReader reader;
  reader.SetDocument(document);
  // The kernel reader overruns its buffers on long polygons and trusts every number and
  // material library it meets, so the file is checked, and prepared when needed, first.
  Exchange_OBJScan scan;
  if (!scan.Perform(path, scanning))
  {
    if (!scanning.IsCancelled())
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
      message << scan.Error();
      m_progress.SendLogMessage(message);
    }
    return false;
  }
  for (const std::string& warning : scan.Warnings())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << warning;
    m_progress.SendLogMessage(message);
  }
  indicator->ConnectNotifier(root.Next(1.0).Entry().Access());
  std::string failure;
  const bool  read = Exchange_KernelGuard::Run(
      [&]() {
        return reader.Perform(TCollection_AsciiString(scan.ReadPath().c_str()), indicator->Start());
      },
      failure);
  if (!read && !m_progress.IsCancelling())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << (failure.empty() ? std::string("The file holds no readable OBJ content.")
                                : "Reading OBJ: " + failure + ".");
    m_progress.SendLogMessage(message);
  }
  return read;
}

} // namespace quorin
