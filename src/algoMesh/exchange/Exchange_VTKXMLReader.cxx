// VTK XML reading. The file text is checked first (read whole into memory,
// Exchange_VTKXMLCheck), then VTK parses the file itself: VTK decodes a file about twice as
// fast as the same bytes handed over as a string, which it copies into a string stream and
// reads in small pieces. After parsing, the points and cell arrays are validated before any
// cell is walked; cells become elements and arrays fields. Errors of VTK's reader and XML
// parser are caught by an observer instead of being printed. Linear in the file's size.
#include <Exchange_VTKXMLReader.hxx>

#include <Exchange_InputCheck.hxx>
#include <Exchange_VTKXMLCheck.hxx>

#include <algoBase_TriangulatePolygon3d.hxx>

#include <ActAPI_LogMessage.hxx>
#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshNodesIterator.hxx>

#include <OSD_OpenFile.hxx>

#include <atomic>
#include <mutex>

#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkCommand.h>
#include <vtkDataArray.h>
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
#include <vtkXMLUnstructuredGridReader.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
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
    // A decompressor's own texts ("Unknown error.") do not tell a user what failed.
    const size_t compressor = text.find("DataCompressor (");
    if (compressor != std::string::npos)
    {
      // The text names the decompressor's class: vtkZLibDataCompressor and so on.
      const size_t start  = text.find_last_of(" \n", compressor);
      const size_t from   = start == std::string::npos ? 0 : start + 1;
      std::string  method = text.substr(from + 3, compressor - from - 3);
      method              = method == "ZLib" ? "zlib" : method;
      m_text = "its data are damaged or not " + method + " data, as its compressor attribute says";
      return;
    }
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
    // Some texts name VTK's classes ("... for vtkDataArray::L2_NORM_RANGE of type
    // vtkInformationDoubleVectorKey"): say what is wrong in the file instead.
    if (m_text.find("InformationKey") != std::string::npos)
    {
      m_text = "an InformationKey element of a data array is malformed";
      return;
    }
    for (size_t at = m_text.find("vtk"); at != std::string::npos; at = m_text.find("vtk", at))
    {
      const bool isClass =
          at + 3 < m_text.size() && std::isupper(static_cast<unsigned char>(m_text[at + 3]));
      m_text.erase(at, isClass ? 3 : 0);
      at += isClass ? 0 : 3;
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
public:
  //! False while reads run in a process that had turned VTK's messages off: the reads turn
  //! them on to see their own errors, and the texts of other threads stay unprinted.
  static std::atomic<bool>& IsForwarding()
  {
    static std::atomic<bool> isForwarding(true);
    return isForwarding;
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
    if (m_previous != nullptr && IsForwarding())
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
//! VTK reports no error at all, not even to observers, while an application has turned its
//! messages off: a read turns them on, or a failed decoding would pass for a smaller mesh.
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
      savedVerbosity()                    = vtkLogger::GetCurrentVerbosityCutoff();
      savedDisplay()                      = vtkObject::GetGlobalWarningDisplay() != 0;
      RoutingOutputWindow::IsForwarding() = savedDisplay();
      vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
      vtkObject::GlobalWarningDisplayOn();
    }
  }
  ~RouteOutput()
  {
    THE_ROUTED_READ = nullptr;
    std::lock_guard<std::mutex> lock(loggerMutex());
    if (--loggerUsers() == 0)
    {
      vtkObject::SetGlobalWarningDisplay(savedDisplay() ? 1 : 0);
      RoutingOutputWindow::IsForwarding() = true;
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
  static bool& savedDisplay()
  {
    static bool isDisplayed = true;
    return isDisplayed;
  }
};

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
      if (array->GetNumberOfTuples() < nbItems)
      {
        ActAPI_LogMessage message;
        message << "The data array '%1' holds %2 values of the %3 the file declares."
                << std::string(array->GetName() != nullptr ? array->GetName() : "")
                << std::to_string(array->GetNumberOfTuples()) << std::to_string(nbItems);
        sendError(progress, message);
        return false;
      }
      const vtkIdType     nbTuples = nbItems;
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
  if (!Exchange_VTKXMLCheck::CheckText(text, reason))
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

  // 4. Refuse a decoding that gave less than the pieces declare (a wrong compressor name
  //    decodes nothing, without any error from VTK).
  long long nbPoints = 0, nbCells = 0;
  Exchange_VTKXMLCheck::DeclaredCounts(text, nbPoints, nbCells);
  const long long nbReadCells = dataSet->GetNumberOfCells() > 0 ? dataSet->GetNumberOfCells() : 0;
  if (dataSet->GetNumberOfPoints() < nbPoints || nbReadCells < nbCells)
  {
    ActAPI_LogMessage message;
    message << "VTK decoded %1 points and %2 cells of the %3 and %4 the file declares."
            << std::to_string(dataSet->GetNumberOfPoints()) << std::to_string(nbReadCells)
            << std::to_string(std::max(nbPoints, 0LL)) << std::to_string(std::max(nbCells, 0LL));
    sendError(progress, message);
    return nullptr;
  }
  return dataSet;
}

//! Validates the cells of a data set against its points; false with a message.
bool checkCells(vtkPolyData* polyData, const ActAPI_ProgressEntry& progress)
{
  const vtkIdType nbPoints = polyData->GetNumberOfPoints();
  for (vtkCellArray* cells :
       {polyData->GetVerts(), polyData->GetLines(), polyData->GetPolys(), polyData->GetStrips()})
  {
    if (!Exchange_VTKXMLCheck::IsValidCellArray(cells, nbPoints))
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
  if (!Exchange_VTKXMLCheck::IsValidCellArray(cells, grid->GetNumberOfPoints()) ||
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
  const vtkIdType invalidPoint = Exchange_VTKXMLCheck::FirstInvalidPoint(dataSet);
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

bool Exchange_VTKXMLReader::Read(const TCollection_AsciiString& path,
                                 Handle(MorvDS_Mesh) & mesh,
                                 NCollection_Vector<Handle(algoMesh_Field)>& fields,
                                 const Standard_GUID&                        owner,
                                 const ActAPI_ProgressEntry&                 progress,
                                 const bool                                  isPoly)
{
  return isPoly ? readFile<vtkXMLPolyDataReader>(path, mesh, fields, owner, progress)
                : readFile<vtkXMLUnstructuredGridReader>(path, mesh, fields, owner, progress);
}

} // namespace quorin
