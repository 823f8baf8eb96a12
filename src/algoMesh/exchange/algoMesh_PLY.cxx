// Reading walks the file once through the PLY layer's callbacks. Vertices go through the
// coincident-node merger as they arrive (cell-grid look-up, O(1) per vertex for spread
// data), so every face can be resolved to merged nodes and triangulated the moment its
// last index arrives. New nodes and triangles are written straight into the result's
// arrays, sized from the header's counts as far as the file's size allows, so a file
// whose header is right is read without regrowth or a final copy.
#include <algoMesh_PLY.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_InputCheck.hxx>

#include <algoMesh_MemoryAdvice.hxx>
#include <algoMesh_NodesMerger.hxx>

#include <algoBase_TriangulatePolygon3d.hxx>

#include <ActAPI_LogMessage.hxx>
#include <RPly_Reader.hxx>
#include <RPly_Writer.hxx>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <vector>

namespace quorin
{

namespace
{

//! Vertices handed to the merger together, which overlaps their look-ups.
const size_t THE_MERGE_BATCH = 256;

//! Polygons with more corners than this are not ear-clipped.
const size_t THE_EAR_CLIPPING_LIMIT = 1024;

//! State shared by the read callbacks of one Read call.
struct ReadContext
{
  //! The result being filled: its node array holds the merged nodes (node k is the
  //! merger's node k), its triangle array the first nbTriangles triangles; both arrays
  //! may be longer than what is filled so far.
  Handle(Poly_Triangulation) mesh  = new Poly_Triangulation();
  int                  nbTriangles = 0;
  algoMesh_NodesMerger merger{algoMesh_Tolerance};
  //! Vertices read but not merged yet: they are merged in batches, whose look-ups the
  //! merger overlaps.
  std::vector<gp_Pnt>  pending;
  double               vertex[3] = {0.0, 0.0, 0.0};
  std::vector<int>     face;
  int                  firstAxis     = 0; //!< axis whose property starts a vertex
  int                  lastAxis      = 2; //!< axis whose property completes it
  int64_t              vertexCounter = 0, faceCounter = 0;
  int64_t              nbVertices = 0, nbFaces = 0;
  int64_t              invalidVertex = -1; //!< first vertex with an invalid coordinate
  ActAPI_ProgressEntry progress;
  //! Constructed once per read (with empty entries) and reused for every polygon.
  algoBase_TriangulatePolygon3d triangulator;

  bool cancelled() const { return progress.IsCancelling(); }

  //! Stores a new node k (1-based), doubling the node array when it is full.
  void setNode(const int k, const gp_Pnt& point)
  {
    if (k > mesh->NbNodes())
    {
      mesh->ResizeNodes(std::max(2 * mesh->NbNodes(), 1024), true);
    }
    mesh->SetNode(k, point);
  }

  //! Merges the pending vertices in file order, storing the new nodes.
  void mergePending()
  {
    const int before = merger.NbNodes();
    merger.Append(pending.data(), pending.size());
    pending.clear();
    const std::vector<gp_Pnt>& nodes = merger.Nodes();
    for (int k = before; k < merger.NbNodes(); ++k)
    {
      setNode(k + 1, nodes[k]);
    }
  }

  //! Appends a triangle, doubling the triangle array when it is full.
  void addTriangle(const int a, const int b, const int c)
  {
    if (nbTriangles == mesh->NbTriangles())
    {
      mesh->ResizeTriangles(std::max(2 * nbTriangles, 1024), true);
    }
    mesh->SetTriangle(++nbTriangles, Poly_Triangle(a, b, c));
  }
};

int onVertexCoordinate(const RPly_Argument& argument)
{
  ReadContext& context = *static_cast<ReadContext*>(argument.UserData);
  if (context.cancelled())
  {
    return 0;
  }
  const int axis = static_cast<int>(argument.UserIndex);
  if (axis == context.firstAxis)
  {
    context.vertex[0] = context.vertex[1] = context.vertex[2] = 0.0;
    if (++context.vertexCounter >= context.nbVertices / 100)
    {
      context.progress.StepProgress(1);
      context.vertexCounter = 0;
    }
  }
  if (!Exchange_InputCheck::IsValidCoordinate(argument.Value))
  {
    context.invalidVertex = argument.Instance;
    return 0;
  }
  context.vertex[axis] = argument.Value;
  if (axis == context.lastAxis)
  {
    // The merger keeps the distinct nodes and the merged node of every file vertex.
    context.pending.emplace_back(context.vertex[0], context.vertex[1], context.vertex[2]);
    if (context.pending.size() == THE_MERGE_BATCH ||
        argument.Instance + 1 == argument.Element->Count)
    {
      context.mergePending();
    }
  }
  return 1;
}

//! Triangulates the buffered polygon and appends its triangles as merged node numbers.
void addPolygon(ReadContext& context)
{
  algoBase_TriangulatePolygon3d& triangulator = context.triangulator;
  const std::vector<gp_Pnt>&     nodes        = context.merger.Nodes();
  const std::vector<int>&        vertexNodes  = context.merger.Indices();
  if (context.face.size() > THE_EAR_CLIPPING_LIMIT)
  {
    // Ear clipping costs the square of the corner count: a polygon this long is cut as a
    // fan from its first corner, in linear time (exact for convex outlines).
    const std::vector<int>& face = context.face;
    for (size_t k = 1; k + 1 < face.size(); ++k)
    {
      context.addTriangle(vertexNodes[face[0]], vertexNodes[face[k]], vertexNodes[face[k + 1]]);
    }
    return;
  }
  triangulator.Clear();
  for (const int vertex : context.face)
  {
    triangulator.AddPoint(nodes[vertexNodes[vertex] - 1].XYZ());
  }
  if (!triangulator.Perform())
  {
    return;
  }
  for (int k = 0; k < triangulator.NbTriangles(); ++k)
  {
    int a, b, c;
    triangulator.GetTriangleNodes(k, a, b, c);
    context.addTriangle(vertexNodes[context.face[a]], vertexNodes[context.face[b]],
                        vertexNodes[context.face[c]]);
  }
  if (++context.faceCounter >= context.nbFaces / 100)
  {
    context.progress.StepProgress(1);
    context.faceCounter = 0;
  }
}

int onFaceList(const RPly_Argument& argument)
{
  ReadContext& context = *static_cast<ReadContext*>(argument.UserData);
  if (context.cancelled())
  {
    return 0;
  }
  if (!context.pending.empty())
  {
    context.mergePending(); // faces may only name vertices merged before them
  }
  // An index that names no vertex read so far (or no integer at all) spoils the polygon:
  // it is dropped as a whole rather than guessed at. An empty list is no polygon.
  const double nbVertices = static_cast<double>(context.merger.Indices().size());
  context.face.clear();
  for (int64_t k = 0; k < argument.Length; ++k)
  {
    const double value = argument.Values[k];
    if (!(value >= 0.0 && value < nbVertices))
    {
      return 1;
    }
    context.face.push_back(static_cast<int>(value));
  }
  if (!context.face.empty())
  {
    addPolygon(context);
  }
  return 1;
}

void sendError(const ActAPI_ProgressEntry& progress, const char* text)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  message << text;
  progress.SendLogMessage(message);
}

//! Installs the vertex callbacks; the axis of the first and the last coordinate property
//! in file order start and complete a vertex, whatever order the file lists them in.
void installVertexCallbacks(RPly_Reader& reader, const RPly_Element& element, ReadContext& context)
{
  static const char* axes[3]     = {"x", "y", "z"};
  int                position[3] = {-1, -1, -1};
  for (size_t p = 0; p < element.Properties.size(); ++p)
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      if (!element.Properties[p].IsList && element.Properties[p].Name == axes[axis] &&
          position[axis] < 0)
      {
        position[axis] = static_cast<int>(p);
      }
    }
  }
  // A vertex needs all three coordinates; without one of them no node is made.
  if (position[0] < 0 || position[1] < 0 || position[2] < 0)
  {
    return;
  }
  for (int axis = 0; axis < 3; ++axis)
  {
    if (position[axis] < position[context.firstAxis])
    {
      context.firstAxis = axis;
    }
    if (position[axis] > position[context.lastAxis])
    {
      context.lastAxis = axis;
    }
  }
  if (reader.SetReadCallback(element.Name, "x", onVertexCoordinate, &context, 0) > 0 &&
      reader.SetReadCallback(element.Name, "y", onVertexCoordinate, &context, 1) > 0)
  {
    reader.SetReadCallback(element.Name, "z", onVertexCoordinate, &context, 2);
  }
}

//! Fewest bytes one instance of the element can take in the file, with `listEntries`
//! values in each list (a number and its separator in ASCII). Used to bound the declared
//! counts by what the file can actually hold: a lying header must not make us allocate.
int64_t
minRecordBytes(const RPly_Element& element, const RPly_Storage storage, const int listEntries)
{
  int64_t bytes = 0;
  for (const RPly_Property& property : element.Properties)
  {
    const int64_t values = property.IsList ? 1 + listEntries : 1;
    if (storage == RPly_Ascii)
    {
      bytes += 2 * values;
    }
    else
    {
      bytes += property.IsList
                   ? RPly_SizeOf(property.LengthType) + listEntries * RPly_SizeOf(property.Type)
                   : RPly_SizeOf(property.Type);
    }
  }
  return std::max<int64_t>(bytes, 1);
}

//! Installs the callbacks of the vertex coordinates and the face index lists, and sizes the
//! result's arrays for the declared counts as far as the file can hold them (a triangle
//! face has three list entries): a lying header must not make us allocate.
void prepareReading(RPly_Reader& reader, const TCollection_AsciiString& path, ReadContext& context)
{
  std::error_code ec;
  const int64_t   fileSize = static_cast<int64_t>(std::filesystem::file_size(path.ToCString(), ec));
  const auto      bounded  = [&](const RPly_Element& element, const int listEntries)
  {
    return ec ? 0
              : std::min<int64_t>(
                    {element.Count,
                     fileSize / minRecordBytes(element, reader.Storage(), listEntries), INT_MAX});
  };
  for (const RPly_Element& element : reader.Elements())
  {
    if (element.Name == "vertex")
    {
      context.nbVertices = element.Count;
      installVertexCallbacks(reader, element, context);
      const int64_t vertices = bounded(element, 0);
      context.merger.Reserve(static_cast<size_t>(vertices), static_cast<size_t>(vertices));
      if (vertices > 0)
      {
        context.mesh->ResizeNodes(static_cast<int>(vertices), false);
        Poly_ArrayOfNodes& nodes = context.mesh->InternalNodes();
        algoMesh_MemoryAdvice::UseHugePages(nodes.changeValue(0), nodes.SizeBytes());
      }
    }
    else if (element.Name == "face")
    {
      context.nbFaces = element.Count;
      for (const RPly_Property& property : element.Properties)
      {
        if (property.IsList &&
            (property.Name == "vertex_indices" || property.Name == "vertex_index"))
        {
          reader.SetListReadCallback(element.Name, property.Name, onFaceList, &context, 0);
          break;
        }
      }
      const int64_t faces = bounded(element, 3);
      if (faces > 0)
      {
        context.mesh->ResizeTriangles(static_cast<int>(faces), false);
      }
    }
  }
}

//! Trims the result's arrays to what was filled: nothing to do when the header's counts
//! were right. At least one triangle slot, as files without faces are read as a point set
//! with one default triangle; the kernel refuses to size a triangulation with zero nodes,
//! hence a fresh one when no node was read.
void trimResult(ReadContext& context)
{
  Handle(Poly_Triangulation)& mesh = context.mesh;
  const int nbNodes                = context.merger.NbNodes();
  if (nbNodes == 0 && mesh->NbNodes() > 0)
  {
    mesh = new Poly_Triangulation();
  }
  else if (nbNodes != mesh->NbNodes())
  {
    mesh->ResizeNodes(nbNodes, true);
  }
  const int nbTriangles = std::max(context.nbTriangles, 1);
  if (nbTriangles != mesh->NbTriangles())
  {
    mesh->ResizeTriangles(nbTriangles, true);
  }
  if (context.nbTriangles == 0)
  {
    mesh->SetTriangle(1, Poly_Triangle());
  }
}

//! Declares the vertex element (float x, y, z; uchar red, green, blue with colours) and the
//! face element (list uchar uint "vertex_index") and writes the header.
bool declareHeader(RPly_Writer&  writer,
                   const int64_t nbNodes,
                   const int64_t nbTriangles,
                   const bool    withColours)
{
  bool declared =
      writer.AddElement("vertex", nbNodes) && writer.AddScalarProperty("x", RPly_Float32) &&
      writer.AddScalarProperty("y", RPly_Float32) && writer.AddScalarProperty("z", RPly_Float32);
  if (withColours)
  {
    declared = declared && writer.AddScalarProperty("red", RPly_UInt8) &&
               writer.AddScalarProperty("green", RPly_UInt8) &&
               writer.AddScalarProperty("blue", RPly_UInt8);
  }
  return declared && writer.AddElement("face", nbTriangles) &&
         writer.AddListProperty("vertex_index", RPly_UInt8, RPly_UInt32) && writer.WriteHeader();
}

//! Writes the vertices of every mesh, mesh i placed by location i, with their colours
//! when `nodeColours` is not empty; false when cancelled or on failure (with a message).
bool writeVertices(RPly_Writer&                                                        writer,
                   const NCollection_Vector<Handle(Poly_Triangulation)>&               meshes,
                   const NCollection_Vector<TopLoc_Location>&                          locations,
                   const NCollection_Vector<NCollection_DataMap<int, Quantity_Color>>& nodeColours,
                   const int64_t                                                       totalNodes,
                   const ActAPI_ProgressEntry&                                         progress)
{
  const bool withColours = !nodeColours.IsEmpty();
  int64_t    counter     = 0;
  for (int i = 0; i < meshes.Length(); ++i)
  {
    const Handle(Poly_Triangulation)& mesh = meshes.Value(i);
    if (mesh.IsNull())
    {
      continue;
    }
    const gp_Trsf trsf = i < locations.Length() ? locations.Value(i).Transformation() : gp_Trsf();
    const NCollection_DataMap<int, Quantity_Color>* colours =
        withColours && i < nodeColours.Length() && !nodeColours.Value(i).IsEmpty()
            ? &nodeColours.Value(i)
            : nullptr;
    for (int k = 1; k <= mesh->NbNodes(); ++k)
    {
      if (++counter >= totalNodes / 100)
      {
        progress.StepProgress(1);
        counter = 0;
      }
      if ((k & 4095) == 0 && progress.IsCancelling())
      {
        return false;
      }
      gp_XYZ p = mesh->Node(k).XYZ();
      trsf.Transforms(p);
      if (!Exchange_InputCheck::IsValidCoordinate(p.X()) ||
          !Exchange_InputCheck::IsValidCoordinate(p.Y()) ||
          !Exchange_InputCheck::IsValidCoordinate(p.Z()))
      {
        // The file stores single precision: such a node would become an infinity.
        sendError(progress, "Could not write the vertices to PLY: a coordinate is not a finite "
                            "number of at most 3.4e38.");
        return false;
      }
      bool ok = writer.Write(p.X()) && writer.Write(p.Y()) && writer.Write(p.Z());
      if (ok && withColours)
      {
        // Without a colour map for this mesh the colour columns still need values.
        const Quantity_Color* colour = colours != nullptr ? colours->Seek(k) : nullptr;
        ok                           = (colours == nullptr || colour != nullptr);
        const Quantity_Color c = colour != nullptr ? *colour : Quantity_Color(Quantity_NOC_BLACK);
        ok                     = ok && writer.Write(std::round(c.Red() * 255.0)) &&
             writer.Write(std::round(c.Green() * 255.0)) &&
             writer.Write(std::round(c.Blue() * 255.0));
      }
      if (!ok)
      {
        sendError(progress, "Could not write the vertices to PLY.");
        return false;
      }
    }
  }
  return true;
}

//! Writes the triangles of every mesh with 0-based node numbers, shifted by the nodes of
//! the meshes before; false when cancelled or on failure (with a message).
bool writeFaces(RPly_Writer&                                          writer,
                const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                const int64_t                                         totalTriangles,
                const ActAPI_ProgressEntry&                           progress)
{
  int64_t counter = 0;
  int64_t offset  = 0;
  for (const Handle(Poly_Triangulation) & mesh : meshes)
  {
    if (mesh.IsNull())
    {
      continue;
    }
    for (int k = 1; k <= mesh->NbTriangles(); ++k)
    {
      if (++counter >= totalTriangles / 100)
      {
        progress.StepProgress(1);
        counter = 0;
      }
      if ((k & 4095) == 0 && progress.IsCancelling())
      {
        return false;
      }
      int a, b, c;
      mesh->Triangle(k).Get(a, b, c);
      if (!writer.Write(3) || !writer.Write(double(a + offset - 1)) ||
          !writer.Write(double(b + offset - 1)) || !writer.Write(double(c + offset - 1)))
      {
        sendError(progress, "Could not write the nodes to PLY.");
        return false;
      }
    }
    offset += mesh->NbNodes();
  }
  return true;
}

} // namespace

bool algoMesh_PLY::Read(const TCollection_AsciiString& path,
                        Handle(Poly_Triangulation) & result,
                        ActAPI_ProgressEntry progress)
{
  // 1. Progress: 100 units for the vertices, 100 for the faces.
  progress.Init("Loading a PLY file", 200);

  // 2. Open the file (a directory or a device opens too, but is no PLY file).
  std::string reason;
  RPly_Reader reader;
  if (!Exchange_InputCheck::CheckRegularFile(path.ToCString(), ~std::uintmax_t(0), reason) &&
      reason != "no such file" && reason != "permission denied")
  {
    sendError(progress, ("Cannot open the file for reading: " + reason + ".").c_str());
    return false;
  }
  if (!reader.Open(path.ToCString()))
  {
    sendError(progress, "Cannot open the file for reading.");
    return false;
  }

  // 3. Read the header.
  if (!reader.ReadHeader())
  {
    sendError(progress, "Cannot read the PLY header.");
    return false;
  }
  for (const std::string& warning : reader.Warnings())
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << warning.c_str();
    progress.SendLogMessage(message);
  }

  // 4. Install the callbacks of the vertex coordinates and the face index lists, and size
  //    the result's arrays for the declared counts as far as the file can hold them.
  ReadContext context;
  context.progress = progress;
  prepareReading(reader, path, context);

  // 5. Read the body through the callbacks.
  const bool bodyRead = reader.Read();
  reader.Close();
  context.mergePending();

  // 6. A cancelled read has no result.
  if (progress.IsCancelling())
  {
    return false;
  }
  if (context.invalidVertex >= 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Vertex %1 of the PLY file (counted from 0): a coordinate is not a finite number "
               "of at most 3.4e38."
            << std::to_string(context.invalidVertex);
    progress.SendLogMessage(message);
    return false;
  }
  if (!bodyRead)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Cannot read the PLY data: %1" << reader.Error();
    progress.SendLogMessage(message);
    return false;
  }

  // 7. Trim the arrays to what was filled.
  trimResult(context);

  // 8. Hand it over.
  result = context.mesh;
  progress.Complete();
  return true;
}

core_ExportStatus
algoMesh_PLY::Write(const NCollection_Vector<Handle(Poly_Triangulation)>&        meshes,
                    const NCollection_Vector<TopLoc_Location>&                   locations,
                    const TCollection_AsciiString&                               path,
                    ActAPI_ProgressEntry                                         progress,
                    const bool                                                   binary,
                    NCollection_Vector<NCollection_DataMap<int, Quantity_Color>> nodeColours)
{
  // 1. Progress: 100 units for the vertices, 100 for the faces.
  progress.Init("Writing to a PLY file", 200);

  // 2. Create the file: a temporary beside the target, renamed onto it once complete, so
  //    that a failure or a cancellation leaves the target as it was.
  Exchange_AtomicFile output(path.ToCString(), Exchange_AtomicFile::Access_Path);
  RPly_Writer         writer;
  if (!output.IsOpen() || !writer.Create(output.TempPath(), binary ? RPly_BinaryLE : RPly_Ascii))
  {
    sendError(progress,
              ("Could not open the file for writing: " +
               (output.Error().empty() ? std::string("cannot create it") : output.Error()) + ".")
                  .c_str());
    return ExportStatus_Failed;
  }

  // 3. Count nodes and triangles.
  int64_t totalNodes = 0, totalTriangles = 0;
  for (const Handle(Poly_Triangulation) & mesh : meshes)
  {
    if (!mesh.IsNull())
    {
      totalNodes += mesh->NbNodes();
      totalTriangles += mesh->NbTriangles();
    }
  }

  // 4. Declare and write the header.
  if (!declareHeader(writer, totalNodes, totalTriangles, !nodeColours.IsEmpty()))
  {
    sendError(progress, "Could not write the PLY header.");
    return ExportStatus_Failed;
  }

  // 5. Vertices, placed, with their colours.
  if (!writeVertices(writer, meshes, locations, nodeColours, totalNodes, progress))
  {
    return ExportStatus_Failed;
  }

  // 6. Faces, with 0-based node numbers shifted by the nodes of the meshes before.
  if (!writeFaces(writer, meshes, totalTriangles, progress))
  {
    return ExportStatus_Failed;
  }

  // 7. Close.
  errno = 0;
  if (!writer.Close() || !output.Commit())
  {
    const std::string reason =
        output.Error().empty() ? Exchange_AtomicFile::ErrorText(errno) : output.Error();
    sendError(progress, ("Could not write PLY: " + reason + ".").c_str());
    return ExportStatus_Failed;
  }

  // 8. Done.
  progress.Complete();
  return meshes.IsEmpty() ? ExportStatus_NoData : ExportStatus_Ok;
}

bool algoMesh_PLY::ReadHeader(const TCollection_AsciiString&     path,
                              TCollection_AsciiString&           storage,
                              NCollection_Vector<HeaderElement>& elements)
{
  RPly_Reader reader;
  if (!reader.Open(path.ToCString()) || !reader.ReadHeader())
  {
    return false;
  }
  static const char* const storages[] = {"ASCII", "binary little-endian", "binary big-endian"};
  storage                             = storages[reader.Storage()];
  elements.Clear();
  for (const RPly_Element& element : reader.Elements())
  {
    HeaderElement header;
    header.Name  = element.Name.c_str();
    header.Count = element.Count;
    elements.Append(header);
  }
  return true;
}

} // namespace quorin
