// VTK XML exchange.
//
// Writing builds the data set (points, cells, one double array per field) in one pass over
// the mesh and hands it to VTK's XML writer, which writes into a string that is then
// stored in the file, so that a failed write leaves no file behind.
// Reading checks the file text first (read whole into memory), then lets VTK parse the file
// itself: VTK decodes a file about twice as fast as the same bytes handed over as a string,
// which it copies into a string stream and reads in small pieces. The check: VTK's XML
// readers allocate what the file declares and trust the cell arrays they decode, so
// declared sizes are bounded by what a file of this size can hold, and after parsing the
// cell arrays are validated (offsets increasing, point ids in range) before any cell is
// walked. Errors of VTK's reader and XML parser are caught by an observer instead of being
// printed.
#include <algoMesh_VTK_XML.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_CancellableZLib.hxx>
#include <Exchange_InputCheck.hxx>

#include <algoBase_TriangulatePolygon3d.hxx>

#include <ActAPI_LogMessage.hxx>
#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <OSD_OpenFile.hxx>
#include <gp_Trsf.hxx>

#include <mutex>

#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkCommand.h>
#include <vtkDataCompressor.h>
#include <vtkDoubleArray.h>
#include <vtkExecutive.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorin
{

namespace
{

void sendError(const ActAPI_ProgressEntry& progress, ActAPI_LogMessage& message)
{
  message.Severity = LogSeverity_Error;
  progress.SendLogMessage(message);
}

void sendError(const ActAPI_ProgressEntry& progress, const char* text)
{
  ActAPI_LogMessage message;
  message << text;
  sendError(progress, message);
}

//! Progress over a known amount of work: steps of at least 2 % of a range of 100, and
//! one cancellation poll per item.
class WorkProgress
{
public:
  WorkProgress(const ActAPI_ProgressEntry& progress, const long long total)
      : m_progress(progress), m_total(std::max(total, 1LL))
  {
  }

  //! Counts one item; false when the user asked to stop.
  bool Next()
  {
    if (m_progress.IsCancelling())
    {
      return false;
    }
    const int percent = static_cast<int>(100 * ++m_count / m_total);
    if (percent > 1)
    {
      m_progress.StepProgress(percent);
      m_count = 0;
    }
    return true;
  }

private:
  const ActAPI_ProgressEntry& m_progress;
  long long                   m_total;
  long long                   m_count = 0;
};

//! Node number to point index, dense for compact numbers.
class NodeIndex
{
public:
  void Bind(const int id, const vtkIdType index)
  {
    if (id >= 0 && static_cast<size_t>(id) < m_dense.size() + 4096 &&
        static_cast<size_t>(id) <= 4 * m_count + 4096)
    {
      if (static_cast<size_t>(id) >= m_dense.size())
      {
        m_dense.resize(std::max<size_t>(id + 1, 2 * m_dense.size()), -1);
      }
      m_dense[id] = index;
    }
    else
    {
      m_sparse[id] = index;
    }
    ++m_count;
  }

  vtkIdType Find(const int id) const
  {
    if (id >= 0 && static_cast<size_t>(id) < m_dense.size() && m_dense[id] >= 0)
    {
      return m_dense[id];
    }
    const auto it = m_sparse.find(id);
    return it == m_sparse.end() ? -1 : it->second;
  }

private:
  std::vector<vtkIdType>             m_dense;
  std::unordered_map<int, vtkIdType> m_sparse;
  size_t                             m_count = 0;
};

//! VTK cell type of an element, or -1 when the kind has no cell.
int cellTypeOf(const Handle(MorvDS_MeshElement) & element, const MorvAbs_ElementType type)
{
  switch (type)
  {
  case MorvAbs_Edge:
    return VTK_LINE;
  case MorvAbs_Face:
    if (element->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)))
    {
      return VTK_TRIANGLE;
    }
    return element->IsKind(STANDARD_TYPE(MorvDS_MeshQuadrangle)) ? VTK_QUAD : -1;
  case MorvAbs_Volume:
    if (element->IsKind(STANDARD_TYPE(MorvDS_MeshTetrahedron)))
    {
      return VTK_TETRA;
    }
    if (element->IsKind(STANDARD_TYPE(MorvDS_MeshHexahedron)))
    {
      return VTK_HEXAHEDRON;
    }
    return element->NbNodes() == 5 ? VTK_PYRAMID : (element->NbNodes() == 6 ? VTK_WEDGE : -1);
  default:
    return -1;
  }
}

//! Appends one double array per field to the point or cell data.
bool addFieldArrays(const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                    const std::vector<int>&                           pointNodes,
                    const std::vector<int>&                           cellElements,
                    vtkDataSet*                                       dataSet,
                    WorkProgress&                                     work)
{
  for (int f = 0; f < fields.Length(); ++f)
  {
    const Handle(algoMesh_Field)& field = fields.Value(f);
    if (field.IsNull() || field->NbComponents() < 1)
    {
      continue;
    }
    const bool              isCell = field->Association() == algoMesh_Field::Association_Element;
    const std::vector<int>& ids    = isCell ? cellElements : pointNodes;
    const int               nbComp = field->NbComponents();
    vtkNew<vtkDoubleArray>  array;
    array->SetName(field->Name().ToCString());
    array->SetNumberOfComponents(nbComp);
    array->SetNumberOfTuples(static_cast<vtkIdType>(ids.size()));
    double* out = array->GetPointer(0);
    for (size_t k = 0; k < ids.size(); ++k, out += nbComp)
    {
      if (!work.Next())
      {
        return false;
      }
      const double* tuple = field->Value(ids[k]);
      for (int c = 0; c < nbComp; ++c)
      {
        out[c] = tuple != nullptr ? tuple[c] : 0.0;
      }
    }
    if (isCell)
    {
      dataSet->GetCellData()->AddArray(array);
    }
    else
    {
      dataSet->GetPointData()->AddArray(array);
    }
  }
  return true;
}

//! Builds the data set of a mesh; null when the mesh is empty or the user cancelled.
template <class DataSet>
vtkSmartPointer<DataSet> toDataSet(const Handle(MorvDS_Mesh) & mesh,
                                   const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                                   const TopLoc_Location&                            location,
                                   const ActAPI_ProgressEntry&                       progress,
                                   const bool                                        isPoly)
{
  // 1. Start the progress; an empty mesh gives no data set.
  progress.Init("Saving VTK XML file", 100);
  if (mesh.IsNull() || mesh->IsEmpty())
  {
    return nullptr;
  }
  long long total = mesh->NbNodes() + mesh->NbElements();
  for (int f = 0; f < fields.Length(); ++f)
  {
    if (!fields.Value(f).IsNull())
    {
      total += fields.Value(f)->Association() == algoMesh_Field::Association_Element
                   ? mesh->NbElements()
                   : mesh->NbNodes();
    }
  }
  WorkProgress work(progress, total);

  // 2. Points: the nodes, placed.
  vtkSmartPointer<DataSet> dataSet = vtkSmartPointer<DataSet>::New();
  vtkNew<vtkPoints>        points;
  points->SetDataTypeToDouble();
  points->Allocate(mesh->NbNodes());
  const gp_Trsf    trsf = location.Transformation();
  NodeIndex        index;
  std::vector<int> pointNodes;
  pointNodes.reserve(mesh->NbNodes());
  for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next())
  {
    if (!work.Next())
    {
      return nullptr;
    }
    const Handle(MorvDS_MeshNode) node = it.Value();
    gp_XYZ xyz(node->X(), node->Y(), node->Z());
    trsf.Transforms(xyz);
    index.Bind(node->GetID(), points->InsertNextPoint(xyz.X(), xyz.Y(), xyz.Z()));
    pointNodes.push_back(node->GetID());
  }
  dataSet->SetPoints(points);

  // 3. Cells: edges, faces, volumes.
  dataSet->AllocateEstimate(mesh->NbElements(), 4);
  std::vector<int> cellElements;
  cellElements.reserve(mesh->NbElements());
  for (const MorvAbs_ElementType type : {MorvAbs_Edge, MorvAbs_Face, MorvAbs_Volume})
  {
    for (MorvDS_MeshElementsIterator it(mesh, type); it.More(); it.Next())
    {
      if (!work.Next())
      {
        return nullptr;
      }
      const Handle(MorvDS_MeshElement) element = it.Value();
      const int cellType                       = cellTypeOf(element, type);
      if (cellType < 0 || (isPoly && type == MorvAbs_Volume))
      {
        continue;
      }
      vtkIdType ids[8];
      for (int i = 0; i < element->NbNodes(); ++i)
      {
        ids[i] = index.Find(element->NodeID(i));
      }
      dataSet->InsertNextCell(cellType, element->NbNodes(), ids);
      cellElements.push_back(element->GetID());
    }
  }

  // 4. Fields.
  if (!addFieldArrays(fields, pointNodes, cellElements, dataSet, work))
  {
    return nullptr;
  }
  return dataSet;
}

//! Builds the data set, writes it with the VTK writer into a string and stores it.
template <class DataSet, class Writer>
core_ExportStatus writeFile(const Handle(MorvDS_Mesh) & mesh,
                            const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                            const TopLoc_Location&                            location,
                            const TCollection_AsciiString&                    path,
                            const ActAPI_ProgressEntry&                       progress,
                            const bool                                        binaryFile,
                            const bool                                        isPoly)
{
  (void)binaryFile; // text and binary file modes are the same on POSIX systems
  // 1. Build the data set.
  const vtkSmartPointer<DataSet> dataSet =
      toDataSet<DataSet>(mesh, fields, location, progress, isPoly);
  if (dataSet == nullptr)
  {
    if (!progress.IsCancelling())
    {
      sendError(progress, "The mesh has no nodes: nothing to write.");
    }
    return ExportStatus_Failed;
  }

  // 2. Encode it as XML, with a compressor that lets a cancellation cut the encoding short.
  vtkNew<Writer> writer;
  writer->SetWriteToOutputString(1);
  writer->SetInputData(dataSet);
  const vtkSmartPointer<vtkDataCompressor> compressor =
      vtkSmartPointer<vtkDataCompressor>::Take(Exchange_CancellableZLib::New(progress));
  writer->SetCompressor(compressor);
  if (writer->Write() != 1)
  {
    sendError(progress, "VTK's XML writer failed.");
    return ExportStatus_Failed;
  }
  if (progress.IsCancelling())
  {
    return ExportStatus_Failed;
  }

  // 3. Store the text in a temporary file beside the target, renamed onto it once
  //    complete: a failure or a cancellation leaves the target as it was.
  const std::string&  text = writer->GetOutputString();
  Exchange_AtomicFile output(path.ToCString());
  if (!output.IsOpen())
  {
    ActAPI_LogMessage message;
    message << "Cannot open the file '%1' for writing: %2." << path << output.Error();
    sendError(progress, message);
    return ExportStatus_Failed;
  }
  // Pieces of 4 MB keep the file write answering a cancellation too.
  const size_t piece     = size_t(1) << 22;
  bool         isWritten = true;
  for (size_t at = 0; isWritten && at < text.size(); at += piece)
  {
    isWritten = !progress.IsCancelling() &&
                output.Write(text.data() + at, std::min(piece, text.size() - at));
  }
  if (!isWritten || progress.IsCancelling() || !output.Commit())
  {
    if (!progress.IsCancelling())
    {
      ActAPI_LogMessage message;
      message << "Writing the file failed: %1." << output.Error();
      sendError(progress, message);
    }
    return ExportStatus_Failed;
  }
  progress.Complete();
  return ExportStatus_Ok;
}

//! Collects the errors VTK's reader and XML parser report, instead of printing them.
class ErrorCatcher
{
public:
  ErrorCatcher()
  {
    m_command->SetClientData(this);
    m_command->SetCallback(&ErrorCatcher::onEvent);
  }

  vtkCommand* Command() { return m_command; }

  bool               HasError() const { return !m_text.empty(); }
  const std::string& Text() const { return m_text; }

  //! Keeps the first error text (VTK's own wording, without its source position).
  void Take(const char* data)
  {
    if (!m_text.empty())
    {
      return;
    }
    const std::string text = data != nullptr ? data : "error";
    // VTK's texts start with the source position; keep the explanation after it.
    const size_t colon = text.rfind(": ");
    m_text             = text.substr(colon == std::string::npos ? 0 : colon + 2);
    while (!m_text.empty() && (m_text.back() == '\n' || m_text.back() == ' '))
    {
      m_text.pop_back();
    }
    if (m_text.empty())
    {
      m_text = "error";
    }
  }

private:
  static void onEvent(vtkObject*, unsigned long event, void* client, void* data)
  {
    if (event == vtkCommand::ErrorEvent)
    {
      static_cast<ErrorCatcher*>(client)->Take(static_cast<const char*>(data));
    }
  }

  vtkNew<vtkCallbackCommand> m_command;
  std::string                m_text;
};

//! The read of this thread that collects VTK's errors, if any.
thread_local ErrorCatcher* THE_ROUTED_READ = nullptr;

//! VTK's output window for the process, installed on the first read: objects without an
//! observer (its decompressors, its XML elements) print their errors through it, which
//! during a read go to that read's catcher instead of the console. Outside a read the
//! texts go to the window installed before.
class RoutingOutputWindow : public vtkOutputWindow
{
public:
  static RoutingOutputWindow* New();
  vtkTypeMacro(RoutingOutputWindow, vtkOutputWindow);

  static void Install()
  {
    static std::once_flag once;
    std::call_once(once,
                   []()
                   {
                     vtkNew<RoutingOutputWindow> window;
                     window->m_previous = vtkOutputWindow::GetInstance();
                     vtkOutputWindow::SetInstance(window);
                   });
  }

  void DisplayText(const char* text) override { route(text, &vtkOutputWindow::DisplayText); }
  void DisplayErrorText(const char* text) override
  {
    route(text, &vtkOutputWindow::DisplayErrorText);
  }
  void DisplayWarningText(const char* text) override
  {
    route(nullptr, &vtkOutputWindow::DisplayWarningText, text);
  }
  void DisplayGenericWarningText(const char* text) override
  {
    route(nullptr, &vtkOutputWindow::DisplayGenericWarningText, text);
  }
  void DisplayDebugText(const char* text) override
  {
    route(nullptr, &vtkOutputWindow::DisplayDebugText, text);
  }

private:
  //! During a read, keeps `error` (warnings are dropped); otherwise hands `text` on.
  void route(const char* error,
             void (vtkOutputWindow::*display)(const char*),
             const char* text = nullptr)
  {
    if (THE_ROUTED_READ != nullptr)
    {
      if (error != nullptr)
      {
        THE_ROUTED_READ->Take(error);
      }
      return;
    }
    if (m_previous != nullptr)
    {
      (m_previous->*display)(error != nullptr ? error : text);
    }
  }

  vtkSmartPointer<vtkOutputWindow> m_previous;
};

vtkStandardNewMacro(RoutingOutputWindow);

//! Routes VTK's printed errors of this thread to a catcher while alive. VTK's logger also
//! prints every such error on the standard error stream by itself; that printing is off
//! while any read runs (the logger's level is process-wide, hence the count of reads).
class RouteOutput
{
public:
  explicit RouteOutput(ErrorCatcher& catcher)
  {
    RoutingOutputWindow::Install();
    THE_ROUTED_READ = &catcher;
    std::lock_guard<std::mutex> lock(loggerMutex());
    if (loggerUsers()++ == 0)
    {
      savedVerbosity() = vtkLogger::GetCurrentVerbosityCutoff();
      vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
    }
  }
  ~RouteOutput()
  {
    THE_ROUTED_READ = nullptr;
    std::lock_guard<std::mutex> lock(loggerMutex());
    if (--loggerUsers() == 0)
    {
      vtkLogger::SetStderrVerbosity(savedVerbosity());
    }
  }

private:
  static std::mutex& loggerMutex()
  {
    static std::mutex mutex;
    return mutex;
  }
  static int& loggerUsers()
  {
    static int users = 0;
    return users;
  }
  static vtkLogger::Verbosity& savedVerbosity()
  {
    static vtkLogger::Verbosity verbosity = vtkLogger::VERBOSITY_INFO;
    return verbosity;
  }
};

//! Largest count a file of `size` bytes may declare: compressed data expands at most about
//! a thousand times, and small files get room for a few thousand items.
long long declaredLimit(const size_t size)
{
  return 1100LL * static_cast<long long>(size) + 65536;
}

//! Checks the sizes the file declares in its XML attributes before VTK allocates them.
bool checkDeclaredSizes(const std::string& text, std::string& reason)
{
  const long long          limit        = declaredLimit(text.size());
  long long                maxCount     = 0;
  static const char* const THE_COUNTS[] = {
      "NumberOfPoints=", "NumberOfCells=", "NumberOfVerts=",  "NumberOfLines=",
      "NumberOfStrips=", "NumberOfPolys=", "NumberOfTuples=", "NumberOfComponents="};
  long long maxComponents = 1;
  for (const char* attribute : THE_COUNTS)
  {
    const size_t length = std::char_traits<char>::length(attribute);
    for (size_t at = text.find(attribute); at != std::string::npos;
         at        = text.find(attribute, at + length))
    {
      size_t p = at + length;
      if (p < text.size() && (text[p] == '"' || text[p] == '\''))
      {
        ++p;
      }
      while (p < text.size() && text[p] == ' ')
      {
        ++p;
      }
      long long value   = 0;
      bool      isDigit = false;
      bool      isNeg   = p < text.size() && text[p] == '-';
      p += isNeg ? 1 : 0;
      for (; p < text.size() && text[p] >= '0' && text[p] <= '9' && value <= limit; ++p)
      {
        value   = 10 * value + (text[p] - '0');
        isDigit = true;
      }
      if (!isDigit || isNeg || value > limit)
      {
        reason = std::string("The file declares an impossible ") +
                 std::string(attribute, length - 1) + " value.";
        return false;
      }
      if (attribute[8] == 'C' && attribute[9] == 'o') // NumberOfComponents
      {
        maxComponents = std::max(maxComponents, value);
      }
      else
      {
        maxCount = std::max(maxCount, value);
      }
    }
  }
  if (maxComponents > 4096 || maxComponents * maxCount > 16 * limit)
  {
    reason = "The file declares more values than a file of its size can hold.";
    return false;
  }
  return true;
}

//! Value of attribute `name` in the tag text, or "" (the attribute must follow a blank).
std::string attributeOf(const std::string& tag, const char* name)
{
  const std::string key = std::string(name) + "=";
  for (size_t k = tag.find(key); k != std::string::npos; k = tag.find(key, k + 1))
  {
    if (k == 0 ||
        (tag[k - 1] != ' ' && tag[k - 1] != '\t' && tag[k - 1] != '\n' && tag[k - 1] != '\r'))
    {
      continue;
    }
    const size_t start = k + key.size();
    const char   quote = start < tag.size() ? tag[start] : '\0';
    const size_t close =
        quote == '"' || quote == '\'' ? tag.find(quote, start + 1) : std::string::npos;
    return close == std::string::npos ? std::string() : tag.substr(start + 1, close - start - 1);
  }
  return std::string();
}

//! Decodes `count` bytes from base64 text starting at `at`; false when the text is short
//! or not base64.
bool decodeBase64(const std::string&          text,
                  size_t                      at,
                  const size_t                count,
                  std::vector<unsigned char>& out)
{
  out.clear();
  unsigned int bits = 0, nbBits = 0;
  for (; out.size() < count && at < text.size(); ++at)
  {
    const char c = text[at];
    int        v = -1;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
      continue;
    else
      return false;
    bits = (bits << 6) | static_cast<unsigned int>(v);
    nbBits += 6;
    if (nbBits >= 8)
    {
      nbBits -= 8;
      out.push_back(static_cast<unsigned char>((bits >> nbBits) & 0xFF));
    }
  }
  return out.size() == count;
}

//! Checks the block headers of binary and appended data: VTK allocates the block sizes they
//! declare before it decompresses anything, so they must fit what the file can expand to.
bool checkBlockHeaders(const std::string& text, std::string& reason)
{
  const size_t root = text.find("<VTKFile");
  if (root == std::string::npos)
  {
    return true; // VTK refuses the file itself
  }
  const std::string rootTag    = text.substr(root, text.find('>', root) - root);
  const bool        isWide     = attributeOf(rootTag, "header_type") == "UInt64";
  const bool        isBig      = attributeOf(rootTag, "byte_order") == "BigEndian";
  const bool        compressed = !attributeOf(rootTag, "compressor").empty();
  const size_t      wordSize   = isWide ? 8 : 4;
  const size_t      nbWords    = compressed ? 3 : 1;
  const long double limit      = 1100.0L * text.size() + (1 << 20);

  // Appended data starts after the '_' that follows the AppendedData tag.
  const size_t appended = text.find("<AppendedData");
  std::string  appendedTag;
  size_t       base = std::string::npos;
  if (appended != std::string::npos)
  {
    const size_t close = text.find('>', appended);
    appendedTag        = text.substr(appended, close - appended);
    base               = close == std::string::npos ? close : text.find('_', close);
    base               = base == std::string::npos ? base : base + 1;
  }
  const bool isAppendedRaw = attributeOf(appendedTag, "encoding") == "raw";

  std::vector<unsigned char> header;
  for (size_t at = text.find("<DataArray"); at != std::string::npos;
       at        = text.find("<DataArray", at + 10))
  {
    const size_t      close  = text.find('>', at);
    const std::string tag    = text.substr(at, close == std::string::npos ? close : close - at);
    const std::string format = attributeOf(tag, "format");
    bool              isRead = false;
    if (format == "appended" && base != std::string::npos)
    {
      const std::string offsetText = attributeOf(tag, "offset");
      const size_t      offset     = std::strtoull(offsetText.c_str(), nullptr, 10);
      const size_t      start      = base + offset;
      if (offsetText.empty() || offsetText.find_first_not_of("0123456789") != std::string::npos ||
          offsetText.size() > 18 || start >= text.size())
      {
        // VTK would seek outside its data and read whatever it finds there.
        reason = "The file has a data array offset outside its appended data.";
        return false;
      }
      if (isAppendedRaw)
      {
        header.assign(text.begin() + start,
                      text.begin() + std::min(text.size(), start + nbWords * wordSize));
        isRead = header.size() == nbWords * wordSize;
      }
      else
      {
        isRead = decodeBase64(text, start, nbWords * wordSize, header);
      }
    }
    else if (format == "binary" && close != std::string::npos)
    {
      isRead = decodeBase64(text, close + 1, nbWords * wordSize, header);
    }
    if (!isRead)
    {
      continue;
    }
    long double words[3] = {0, 0, 0};
    for (size_t w = 0; w < nbWords; ++w)
    {
      for (size_t b = 0; b < wordSize; ++b)
      {
        const size_t index = w * wordSize + (isBig ? b : wordSize - 1 - b);
        words[w]           = words[w] * 256 + header[index];
      }
    }
    // Compressed: block count, block size, last block size; raw: the byte count.
    const long double total = compressed ? words[0] * words[1] + words[2] : words[0];
    if (total > limit || words[1] > limit)
    {
      reason = "The file declares more data than a file of its size can hold.";
      return false;
    }
    // VTK divides by the block size and trusts the last block to fit in one; a header read
    // with the wrong header_type gives neither.
    if (compressed && words[0] > 0 &&
        (words[1] == 0 || words[2] > words[1] || words[0] * wordSize > text.size()))
    {
      reason = "The file's compressed block headers do not match its header_type.";
      return false;
    }
  }
  return true;
}

//! Checks that no tag or comment before the appended data is longer than VTK's XML
//! parser takes in linear time: it parses the file in blocks and starts a token that
//! spans blocks again with every block, so its time grows with the square of the token.
//! Also checks the nesting depth: VTK builds and frees its element tree recursively, and a
//! file nesting elements thousands deep overflows the stack (VTK files nest fewer than 10).
bool checkTokenLengths(const std::string& text, std::string& reason)
{
  const size_t THE_TOKEN_LIMIT = size_t(1) << 20;
  const int    THE_DEPTH_LIMIT = 256;
  const size_t appended        = text.find("<AppendedData");
  const size_t end             = appended == std::string::npos ? text.size() : appended;
  int          depth           = 0;
  for (size_t open = text.find('<'); open < end; open = text.find('<', open + 1))
  {
    const size_t close = text.find('>', open);
    if ((close == std::string::npos ? text.size() : close) - open > THE_TOKEN_LIMIT)
    {
      reason = "The file has an XML tag or comment longer than 1 MB.";
      return false;
    }
    if (close == std::string::npos)
    {
      break;
    }
    const char kind = open + 1 < close ? text[open + 1] : '/';
    if (kind == '/')
    {
      --depth;
    }
    else if (kind != '!' && kind != '?' && text[close - 1] != '/' && ++depth > THE_DEPTH_LIMIT)
    {
      reason = "The file nests XML elements more than 256 deep.";
      return false;
    }
    open = close;
  }
  return true;
}

//! Checks that every DataArray names a type VTK knows: its readers dereference the array
//! they fail to create for any other type name.
bool checkArrayTypes(const std::string& text, std::string& reason)
{
  static const char* const THE_TYPES[] = {"Int8",    "UInt8",   "Int16",  "UInt16",
                                          "Int32",   "UInt32",  "Int64",  "UInt64",
                                          "Float32", "Float64", "String", "Bit"};
  for (size_t at = text.find("<DataArray"); at != std::string::npos;
       at        = text.find("<DataArray", at + 10))
  {
    const size_t      end = text.find('>', at);
    const std::string tag =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::string type;
    for (size_t k = tag.find("type="); k != std::string::npos; k = tag.find("type=", k + 5))
    {
      const char before = tag[k - 1];
      if (before != ' ' && before != '\t' && before != '\n' && before != '\r')
      {
        continue; // another attribute ending in "type", such as "header_type"
      }
      const char   quote = k + 5 < tag.size() ? tag[k + 5] : '\0';
      const size_t close =
          quote == '"' || quote == '\'' ? tag.find(quote, k + 6) : std::string::npos;
      type = close == std::string::npos ? "?" : tag.substr(k + 6, close - k - 6);
      break;
    }
    if (!type.empty() && std::none_of(std::begin(THE_TYPES), std::end(THE_TYPES),
                                      [&type](const char* known) { return type == known; }))
    {
      reason = "The file has a data array of unknown type '" + type + "'.";
      return false;
    }
  }
  return true;
}

//! True when every point id of the cell array lies in [0, nbPoints) and its offsets are
//! consistent.
bool isValidCellArray(vtkCellArray* cells, const vtkIdType nbPoints)
{
  if (cells == nullptr || cells->GetNumberOfCells() == 0)
  {
    return true;
  }
  if (!cells->IsValid())
  {
    return false;
  }
  vtkDataArray* connectivity = cells->GetConnectivityArray();
  if (connectivity->GetNumberOfTuples() == 0)
  {
    return true;
  }
  double range[2];
  connectivity->GetRange(range, 0);
  return range[0] >= 0.0 && range[1] < static_cast<double>(nbPoints);
}

//! Polygons with more corners than this are not ear-clipped.
const size_t THE_EAR_CLIPPING_LIMIT = 1024;

//! Builds the elements of the cells of a data set and remembers which cell made which
//! elements.
class MeshBuilder
{
public:
  MeshBuilder(const Handle(MorvDS_Mesh) & mesh) : m_mesh(mesh) { m_cellStart.push_back(0); }

  //! Elements of one cell of VTK type `type` over points `p`.
  void AddCell(const int type, const vtkIdType n, const vtkIdType* p)
  {
    m_nodes.resize(static_cast<size_t>(n));
    for (vtkIdType i = 0; i < n; ++i)
    {
      m_nodes[i] = static_cast<int>(p[i]) + 1;
    }
    const int* q = m_nodes.data();
    switch (type)
    {
    case VTK_VERTEX:
    case VTK_POLY_VERTEX:
      for (vtkIdType i = 0; i < n; ++i)
      {
        add0D(q[i]);
      }
      break;
    case VTK_LINE:
    case VTK_POLY_LINE:
      for (vtkIdType i = 0; i + 1 < n; ++i)
      {
        add(m_mesh->AddEdge(q[i], q[i + 1]));
      }
      break;
    case VTK_TRIANGLE:
      if (n == 3)
      {
        add(m_mesh->AddFace(q[0], q[1], q[2]));
      }
      break;
    case VTK_TRIANGLE_STRIP:
      for (vtkIdType k = 1; k + 1 < n; ++k)
      {
        add(m_mesh->AddFace(q[k - 1], q[k], q[k + 1]));
      }
      break;
    case VTK_POLYGON:
      addPolygon();
      break;
    case VTK_QUAD:
      if (n == 4)
      {
        add(m_mesh->AddFace(q[0], q[1], q[2], q[3]));
      }
      break;
    case VTK_TETRA:
    case VTK_QUADRATIC_TETRA:
      if (n >= 4)
      {
        add(m_mesh->AddVolume(q[0], q[1], q[2], q[3]));
      }
      break;
    case VTK_VOXEL:
      if (n == 8)
      {
        add(m_mesh->AddVolume(q[0], q[1], q[3], q[2], q[4], q[5], q[7], q[6]));
      }
      break;
    case VTK_HEXAHEDRON:
    case VTK_QUADRATIC_HEXAHEDRON:
      if (n >= 8)
      {
        add(m_mesh->AddVolume(q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]));
      }
      break;
    case VTK_WEDGE:
    case VTK_QUADRATIC_WEDGE:
      if (n >= 6)
      {
        add(m_mesh->AddVolume(q[0], q[1], q[2], q[3], q[4], q[5]));
      }
      break;
    case VTK_PYRAMID:
      if (n == 5)
      {
        add(m_mesh->AddVolume(q[0], q[1], q[2], q[3], q[4]));
      }
      break;
    case VTK_QUADRATIC_EDGE:
      if (n == 3)
      {
        add(m_mesh->AddEdge(q[0], q[2]));
        add(m_mesh->AddEdge(q[2], q[1]));
      }
      break;
    case VTK_QUADRATIC_TRIANGLE:
      if (n == 6)
      {
        add(m_mesh->AddFace(q[3], q[0], q[5]));
        add(m_mesh->AddFace(q[5], q[2], q[4]));
        add(m_mesh->AddFace(q[4], q[1], q[3]));
        add(m_mesh->AddFace(q[3], q[5], q[4]));
      }
      break;
    case VTK_QUADRATIC_QUAD:
      if (n == 8)
      {
        add(m_mesh->AddFace(q[4], q[0], q[7]));
        add(m_mesh->AddFace(q[7], q[3], q[6]));
        add(m_mesh->AddFace(q[6], q[2], q[5]));
        add(m_mesh->AddFace(q[5], q[1], q[4]));
        add(m_mesh->AddFace(q[5], q[4], q[7]));
        add(m_mesh->AddFace(q[7], q[6], q[5]));
      }
      break;
    default:
      break;
    }
    m_cellStart.push_back(static_cast<int>(m_cellElements.size()));
  }

  //! Number of elements a cell gave up because the mesh refused them (repeated points).
  int NbRefused() const { return m_nbRefused; }

  //! Elements made from cell `cell`: [First, Last).
  int First(const vtkIdType cell) const { return m_cellStart[cell]; }
  int Last(const vtkIdType cell) const { return m_cellStart[cell + 1]; }
  int Element(const int k) const { return m_cellElements[k]; }

private:
  void add(const int id)
  {
    if (id == 0)
    {
      ++m_nbRefused;
      return;
    }
    m_cellElements.push_back(id);
    m_lastId = id;
  }

  void add0D(const int node)
  {
    // One-node elements answer only success; numbering is automatic and nothing is ever
    // removed from this mesh, so the new element is the one after the last.
    if (m_mesh->Add0DElement(node))
    {
      add(++m_lastId);
    }
    else
    {
      ++m_nbRefused;
    }
  }

  void addPolygon()
  {
    if (m_nodes.size() > THE_EAR_CLIPPING_LIMIT)
    {
      // Ear clipping costs the square of the corner count: a polygon this long is cut as a
      // fan from its first corner, in linear time (exact for convex outlines).
      for (size_t k = 1; k + 1 < m_nodes.size(); ++k)
      {
        add(m_mesh->AddFace(m_nodes[0], m_nodes[k], m_nodes[k + 1]));
      }
      return;
    }
    m_triangulator.Clear();
    for (const int node : m_nodes)
    {
      m_triangulator.AddPoint(m_mesh->FindNode(node)->Pnt().XYZ());
    }
    if (!m_triangulator.Perform())
    {
      ++m_nbRefused;
      return;
    }
    for (int t = 0; t < m_triangulator.NbTriangles(); ++t)
    {
      int a, b, c;
      m_triangulator.GetTriangleNodes(t, a, b, c);
      add(m_mesh->AddFace(m_nodes[a], m_nodes[b], m_nodes[c]));
    }
  }

private:
  Handle(MorvDS_Mesh) m_mesh;
  std::vector<int>              m_nodes;
  std::vector<int>              m_cellStart;
  std::vector<int>              m_cellElements;
  int                           m_lastId    = 0;
  int                           m_nbRefused = 0;
  algoBase_TriangulatePolygon3d m_triangulator;
};

//! Walks the cells of a cell array, with the type each has in poly data.
bool addPolyCells(vtkCellArray* cells, const int kind, MeshBuilder& builder)
{
  auto iterator = vtk::TakeSmartPointer(cells->NewIterator());
  for (iterator->GoToFirstCell(); !iterator->IsDoneWithTraversal(); iterator->GoToNextCell())
  {
    vtkIdType        n = 0;
    const vtkIdType* p = nullptr;
    iterator->GetCurrentCell(n, p);
    int type = kind;
    if (kind == VTK_VERTEX)
    {
      type = n == 1 ? VTK_VERTEX : VTK_POLY_VERTEX;
    }
    else if (kind == VTK_LINE)
    {
      type = n == 2 ? VTK_LINE : VTK_POLY_LINE;
    }
    else if (kind == VTK_POLYGON)
    {
      type = n == 3 ? VTK_TRIANGLE : (n == 4 ? VTK_QUAD : VTK_POLYGON);
      type = n < 3 ? VTK_EMPTY_CELL : type;
    }
    builder.AddCell(type, n, p);
  }
  return true;
}

//! Appends one field per numeric array of the cell data, then of the point data.
bool readFields(vtkDataSet*                                 dataSet,
                const MeshBuilder&                          builder,
                const Standard_GUID&                        owner,
                const ActAPI_ProgressEntry&                 progress,
                NCollection_Vector<Handle(algoMesh_Field)>& fields)
{
  for (const int association :
       {algoMesh_Field::Association_Element, algoMesh_Field::Association_Node})
  {
    vtkFieldData*   data    = association == algoMesh_Field::Association_Element
                                  ? static_cast<vtkFieldData*>(dataSet->GetCellData())
                                  : static_cast<vtkFieldData*>(dataSet->GetPointData());
    const vtkIdType nbItems = association == algoMesh_Field::Association_Element
                                  ? dataSet->GetNumberOfCells()
                                  : dataSet->GetNumberOfPoints();
    for (int a = 0; a < data->GetNumberOfArrays(); ++a)
    {
      vtkDataArray* array = data->GetArray(a);
      if (array == nullptr || array->GetNumberOfComponents() < 1)
      {
        continue;
      }
      const int nbComp             = array->GetNumberOfComponents();
      Handle(algoMesh_Field) field = new algoMesh_Field(
          array->GetName() != nullptr ? array->GetName() : "", association, nbComp, owner);
      const vtkIdType     nbTuples = std::min(array->GetNumberOfTuples(), nbItems);
      std::vector<double> tuple(nbComp);
      field->Reserve(static_cast<int>(nbTuples));
      for (vtkIdType i = 0; i < nbTuples; ++i)
      {
        if (progress.IsCancelling())
        {
          return false;
        }
        array->GetTuple(i, tuple.data());
        if (association == algoMesh_Field::Association_Node)
        {
          field->SetValues(static_cast<int>(i) + 1, tuple.data());
          continue;
        }
        for (int k = builder.First(i); k < builder.Last(i); ++k)
        {
          field->SetValues(builder.Element(k), tuple.data());
        }
      }
      fields.Append(field);
    }
  }
  return true;
}

//! Reads the file into a string, checks it and parses the file with the VTK reader; the
//! data set or null (a message is sent).
template <class Reader>
vtkSmartPointer<typename std::remove_pointer<decltype(std::declval<Reader>().GetOutput())>::type>
parseFile(const TCollection_AsciiString& path, const ActAPI_ProgressEntry& progress)
{
  typedef typename std::remove_pointer<decltype(std::declval<Reader>().GetOutput())>::type DataSet;
  // 1. Read the whole file.
  std::string unreadable;
  if (!Exchange_InputCheck::CheckRegularFile(path.ToCString(), ~std::uintmax_t(0), unreadable))
  {
    ActAPI_LogMessage message;
    message << "Cannot read the file '%1': %2." << path << unreadable;
    sendError(progress, message);
    return nullptr;
  }
  std::ifstream file(path.ToCString(), std::ios::binary | std::ios::ate);
  std::string   text;
  if (file)
  {
    text.resize(static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0)));
    file.seekg(0).read(&text[0], static_cast<std::streamsize>(text.size()));
  }
  if (!file || text.empty())
  {
    ActAPI_LogMessage message;
    message << "Cannot read the file '%1'." << path;
    sendError(progress, message);
    return nullptr;
  }

  // 2. Refuse declared sizes the file cannot hold.
  std::string reason;
  if (!checkTokenLengths(text, reason) || !checkDeclaredSizes(text, reason) ||
      !checkArrayTypes(text, reason) || !checkBlockHeaders(text, reason))
  {
    sendError(progress, reason.c_str());
    return nullptr;
  }

  // 3. Parse it with VTK, catching its errors.
  ErrorCatcher      catcher;
  const RouteOutput route(catcher);
  vtkNew<Reader>    reader;
  reader->SetReaderErrorObserver(catcher.Command());
  reader->SetParserErrorObserver(catcher.Command());
  reader->AddObserver(vtkCommand::ErrorEvent, catcher.Command());
  reader->AddObserver(vtkCommand::WarningEvent, catcher.Command());
  reader->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, catcher.Command());
  reader->SetFileName(path.ToCString());
  try
  {
    reader->Update();
  }
  catch (const std::bad_alloc&)
  {
    // Binary block headers can declare sizes the text checks cannot see.
    sendError(progress, "VTK could not read the file: it asks for more memory than there is.");
    return nullptr;
  }
  vtkSmartPointer<DataSet> dataSet = reader->GetOutput();
  if (catcher.HasError() || dataSet == nullptr)
  {
    ActAPI_LogMessage message;
    message << "VTK could not read the file: %1"
            << (catcher.HasError() ? catcher.Text() : "no data");
    sendError(progress, message);
    return nullptr;
  }
  return dataSet;
}

//! Index of the first point with a coordinate that is not finite or beyond single
//! precision, or -1.
vtkIdType firstInvalidPoint(vtkPointSet* dataSet)
{
  vtkPoints* points = dataSet->GetPoints();
  if (points == nullptr)
  {
    return -1;
  }
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    if (!Exchange_InputCheck::IsValidCoordinate(p[0]) ||
        !Exchange_InputCheck::IsValidCoordinate(p[1]) ||
        !Exchange_InputCheck::IsValidCoordinate(p[2]))
    {
      return i;
    }
  }
  return -1;
}

//! Validates the cells of a data set against its points; false with a message.
bool checkCells(vtkPolyData* polyData, const ActAPI_ProgressEntry& progress)
{
  const vtkIdType nbPoints = polyData->GetNumberOfPoints();
  for (vtkCellArray* cells :
       {polyData->GetVerts(), polyData->GetLines(), polyData->GetPolys(), polyData->GetStrips()})
  {
    if (!isValidCellArray(cells, nbPoints))
    {
      sendError(progress, "The file's cells name points that do not exist.");
      return false;
    }
  }
  return true;
}

bool checkCells(vtkUnstructuredGrid* grid, const ActAPI_ProgressEntry& progress)
{
  vtkUnsignedCharArray* types   = grid->GetCellTypesArray();
  vtkCellArray*         cells   = grid->GetCells();
  const vtkIdType       nbCells = cells != nullptr ? cells->GetNumberOfCells() : 0;
  if (!isValidCellArray(cells, grid->GetNumberOfPoints()) ||
      (nbCells > 0 && (types == nullptr || types->GetNumberOfTuples() != nbCells)))
  {
    sendError(progress, "The file's cells name points that do not exist.");
    return false;
  }
  return true;
}

void addCells(vtkPolyData* polyData, MeshBuilder& builder)
{
  addPolyCells(polyData->GetVerts(), VTK_VERTEX, builder);
  addPolyCells(polyData->GetLines(), VTK_LINE, builder);
  addPolyCells(polyData->GetPolys(), VTK_POLYGON, builder);
  addPolyCells(polyData->GetStrips(), VTK_TRIANGLE_STRIP, builder);
}

void addCells(vtkUnstructuredGrid* grid, MeshBuilder& builder)
{
  vtkCellArray* cells = grid->GetCells();
  if (cells == nullptr)
  {
    return;
  }
  vtkUnsignedCharArray* types    = grid->GetCellTypesArray();
  auto                  iterator = vtk::TakeSmartPointer(cells->NewIterator());
  for (iterator->GoToFirstCell(); !iterator->IsDoneWithTraversal(); iterator->GoToNextCell())
  {
    vtkIdType        n = 0;
    const vtkIdType* p = nullptr;
    iterator->GetCurrentCell(n, p);
    builder.AddCell(types->GetValue(iterator->GetCurrentCellId()), n, p);
  }
}

//! Reads a file of the reader's kind into a new mesh and fields.
template <class Reader>
bool readFile(const TCollection_AsciiString& path,
              Handle(MorvDS_Mesh) & mesh,
              NCollection_Vector<Handle(algoMesh_Field)>& fields,
              const Standard_GUID&                        owner,
              const ActAPI_ProgressEntry&                 progress)
{
  // 1. Parse the file with VTK after checking it.
  const auto dataSet = parseFile<Reader>(path, progress);
  if (dataSet == nullptr)
  {
    return false;
  }

  // 2. Start the progress and the mesh.
  progress.Init("Loading VTK XML file", 100);
  mesh                         = new MorvDS_Mesh(10, 10, 10, 10);
  const vtkIdType invalidPoint = firstInvalidPoint(dataSet);
  if (invalidPoint >= 0)
  {
    ActAPI_LogMessage message;
    message << "Point %1 of the file (counted from 0) has a coordinate that is not a finite "
               "number of at most 3.4e38."
            << std::to_string(invalidPoint);
    sendError(progress, message);
    return false;
  }
  if (!checkCells(dataSet.GetPointer(), progress))
  {
    return false;
  }

  // 3. Points become nodes numbered from 1.
  for (vtkIdType i = 0; i < dataSet->GetNumberOfPoints(); ++i)
  {
    double p[3];
    dataSet->GetPoint(i, p);
    mesh->AddNode(p[0], p[1], p[2]);
  }
  progress.SetProgress(20);

  // 4. Cells become elements.
  MeshBuilder builder(mesh);
  addCells(dataSet.GetPointer(), builder);
  if (builder.NbRefused() > 0)
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
    message << "Skipped %1 degenerate cells or cell parts." << builder.NbRefused();
    progress.SendLogMessage(message);
  }
  progress.SetProgress(50);

  // 5. Arrays become fields.
  if (!readFields(dataSet, builder, owner, progress, fields))
  {
    return false;
  }
  mesh->RebuildAllInverseConnections();
  progress.Complete();
  return true;
}

} // namespace

core_ExportStatus
algoMesh_VTK_XML::WriteVTP(const Handle(MorvDS_Mesh) & mesh,
                           const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                           const TopLoc_Location&                            location,
                           const TCollection_AsciiString&                    path,
                           ActAPI_ProgressEntry                              progress,
                           const bool                                        binaryFile)
{
  return writeFile<vtkPolyData, vtkXMLPolyDataWriter>(mesh, fields, location, path, progress,
                                                      binaryFile, true);
}

core_ExportStatus
algoMesh_VTK_XML::WriteVTU(const Handle(MorvDS_Mesh) & mesh,
                           const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                           const TopLoc_Location&                            location,
                           const TCollection_AsciiString&                    path,
                           ActAPI_ProgressEntry                              progress,
                           const bool                                        binaryFile)
{
  return writeFile<vtkUnstructuredGrid, vtkXMLUnstructuredGridWriter>(mesh, fields, location, path,
                                                                      progress, binaryFile, false);
}

bool algoMesh_VTK_XML::ReadVTP(const TCollection_AsciiString& path,
                               Handle(MorvDS_Mesh) & mesh,
                               NCollection_Vector<Handle(algoMesh_Field)>& fields,
                               const Standard_GUID&                        owner,
                               ActAPI_ProgressEntry                        progress)
{
  return readFile<vtkXMLPolyDataReader>(path, mesh, fields, owner, progress);
}

bool algoMesh_VTK_XML::ReadVTU(const TCollection_AsciiString& path,
                               Handle(MorvDS_Mesh) & mesh,
                               NCollection_Vector<Handle(algoMesh_Field)>& fields,
                               const Standard_GUID&                        owner,
                               ActAPI_ProgressEntry                        progress)
{
  return readFile<vtkXMLUnstructuredGridReader>(path, mesh, fields, owner, progress);
}

} // namespace quorin
