// VTK XML writing: the data set (points, cells, one double array per field) is built in
// one pass over the mesh and handed to VTK's XML writer, which writes into a string that is
// then stored in the file, so that a failed write leaves no file behind. Linear in the
// mesh's size.
//
// The fixed progress steps (a range of 100) cover the building only; VTK's compression and
// encoding that follow take most of the time on large meshes. A notifier with the
// algoMesh_WorkFraction extension is also told the fraction of the whole write, the
// encoding included (from VTK's progress events); every notifier's cancellation is polled
// at those events and before each compressed block, so a write stops within a block.
#include <Exchange_VTKXMLWriter.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_CancellableZLib.hxx>

#include <algoMesh_WorkFraction.hxx>

#include <ActAPI_LogMessage.hxx>
#include <MorvDS_MeshElementsIterator.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>

#include <gp_Trsf.hxx>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCallbackCommand.h>
#include <vtkCellType.h>
#include <vtkCommand.h>
#include <vtkDataCompressor.h>
#include <vtkDoubleArray.h>
#include <vtkExecutive.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkXMLUnstructuredGridWriter.h>

#include <algorithm>
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

//! Share of VTK's encoding in what follows the building; storing the text takes the rest.
constexpr double THE_ENCODING_SHARE = 0.98;

//! Where the fraction of the whole write stands, for a notifier with the extension: the
//! building takes the first `BuildShare`, the encoding and storing the rest.
struct WriteFraction
{
  algoMesh_WorkFraction* Extension  = nullptr;
  double                 BuildShare = 1.0;

  void Report(const double fraction) const
  {
    if (Extension != nullptr)
    {
      Extension->SetWorkFraction(std::min(1.0, std::max(0.0, fraction)));
    }
  }
};

//! Progress over a known amount of work: steps of at least 2 % of a range of 100, and
//! one cancellation poll per item.
class WorkProgress
{
public:
  WorkProgress(const ActAPI_ProgressEntry& progress,
               const long long             total,
               const WriteFraction&        fraction)
      : m_progress(progress), m_total(std::max(total, 1LL)), m_fraction(fraction)
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
      m_done += m_count;
      m_count = 0;
      m_fraction.Report(m_fraction.BuildShare * static_cast<double>(m_done) / m_total);
    }
    return true;
  }

private:
  const ActAPI_ProgressEntry& m_progress;
  long long                   m_total;
  long long                   m_count = 0;
  long long                   m_done  = 0;
  const WriteFraction&        m_fraction;
};

//! Share of the building in the whole write, estimated from the work of each part: the
//! building handles items (nodes, elements, field tuples), VTK compresses and encodes bytes,
//! at about the same cost per item as per byte (measured on a million triangles, with and
//! without fields). Elements are counted at 40 bytes (connectivity, offset and type).
double buildShareOf(const long long nbItems,
                    const int       nbNodes,
                    const int       nbElements,
                    const long long nbFieldValues)
{
  const double bytes = 24.0 * nbNodes + 40.0 * nbElements + 8.0 * nbFieldValues;
  return static_cast<double>(nbItems) / (static_cast<double>(nbItems) + bytes);
}

//! VTK's XML writer of the kind, with two additions: its output string can be taken without
//! a copy, and it can be made to give up early. VTK's writers check their output stream
//! after each block they write and stop when it has failed; their abort flag alone does not
//! stop an encoding under way.
template <class Base> class StoppableWriter : public Base
{
public:
  static StoppableWriter* New()
  {
    StoppableWriter* writer = new StoppableWriter();
    writer->InitializeObjectBase();
    return writer;
  }

  //! Fails the output stream, so that the writer stops at its next check. The failure it
  //! then reports is expected: it is kept from VTK's error output.
  void Stop()
  {
    this->SetAbortExecute(1);
    const vtkNew<vtkCallbackCommand> swallow;
    this->AddObserver(vtkCommand::ErrorEvent, swallow);
    this->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, swallow);
    if (this->Stream != nullptr)
    {
      this->Stream->setstate(std::ios::badbit);
    }
  }

  //! The text written, moved out of the writer.
  std::string TakeOutputString() { return std::move(this->OutputString); }
};

//! Observes VTK's XML writer while it encodes: its progress moves the fraction of the whole
//! write, and a cancellation request stops it (the compressor stops on its own too).
template <class Writer> class EncodingProgress
{
public:
  EncodingProgress(Writer*                     writer,
                   const ActAPI_ProgressEntry& progress,
                   const WriteFraction&        fraction)
      : m_writer(writer), m_progress(progress), m_fraction(fraction)
  {
    m_callback->SetCallback(&EncodingProgress::onProgress);
    m_callback->SetClientData(this);
    m_tag = m_writer->AddObserver(vtkCommand::ProgressEvent, m_callback);
  }

  ~EncodingProgress() { m_writer->RemoveObserver(m_tag); }

  EncodingProgress(const EncodingProgress&)            = delete;
  EncodingProgress& operator=(const EncodingProgress&) = delete;

  //! Whether a cancellation was seen while VTK wrote.
  bool IsCancelled() const { return m_isCancelled; }

  //! Moves the fraction to `share` of the rest after the building.
  void ReportStage(const double share) const
  {
    m_fraction.Report(m_fraction.BuildShare + (1.0 - m_fraction.BuildShare) * share);
  }

private:
  static void onProgress(vtkObject*, unsigned long, void* clientData, void* callData)
  {
    EncodingProgress* self = static_cast<EncodingProgress*>(clientData);
    if (callData != nullptr)
    {
      // VTK's progress may restart for each piece it writes; the fraction never goes back.
      self->m_reached = std::max(self->m_reached, *static_cast<double*>(callData));
      self->ReportStage(THE_ENCODING_SHARE * self->m_reached);
    }
    if (!self->m_isCancelled && self->m_progress.IsCancelling())
    {
      self->m_isCancelled = true;
      self->m_writer->Stop();
    }
  }

private:
  Writer*                     m_writer;
  const ActAPI_ProgressEntry& m_progress;
  const WriteFraction&        m_fraction;
  vtkNew<vtkCallbackCommand>  m_callback;
  unsigned long               m_tag         = 0;
  double                      m_reached     = 0.0;
  bool                        m_isCancelled = false;
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
                                   const bool                                        isPoly,
                                   WriteFraction&                                    fraction)
{
  // 1. Start the progress; an empty mesh gives no data set.
  progress.Init("Saving VTK XML file", 100);
  if (mesh.IsNull() || mesh->IsEmpty())
  {
    return nullptr;
  }
  long long total       = mesh->NbNodes() + mesh->NbElements();
  long long fieldValues = 0;
  for (int f = 0; f < fields.Length(); ++f)
  {
    if (!fields.Value(f).IsNull())
    {
      const long long tuples = fields.Value(f)->Association() == algoMesh_Field::Association_Element
                                   ? mesh->NbElements()
                                   : mesh->NbNodes();
      total += tuples;
      fieldValues += tuples * std::max(1, fields.Value(f)->NbComponents());
    }
  }
  fraction.Extension  = algoMesh_WorkFraction::Of(progress);
  fraction.BuildShare = buildShareOf(total, mesh->NbNodes(), mesh->NbElements(), fieldValues);
  fraction.Report(0.0);
  WorkProgress work(progress, total, fraction);

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
                            const bool                                        isPoly)
{
  // 1. Build the data set.
  WriteFraction                  fraction;
  const vtkSmartPointer<DataSet> dataSet =
      toDataSet<DataSet>(mesh, fields, location, progress, isPoly, fraction);
  if (dataSet == nullptr)
  {
    if (!progress.IsCancelling())
    {
      ActAPI_LogMessage message;
      message << "The mesh has no nodes: nothing to write.";
      sendError(progress, message);
    }
    return ExportStatus_Failed;
  }

  // 2. Encode it as XML, with a compressor that lets a cancellation cut the encoding short.
  vtkNew<StoppableWriter<Writer>> writer;
  writer->SetWriteToOutputString(1);
  writer->SetInputData(dataSet);
  const vtkSmartPointer<vtkDataCompressor> compressor =
      vtkSmartPointer<vtkDataCompressor>::Take(Exchange_CancellableZLib::New(progress));
  writer->SetCompressor(compressor);
  EncodingProgress<StoppableWriter<Writer>> encoding(writer, progress, fraction);
  const bool                                isEncoded = writer->Write() == 1;
  if (encoding.IsCancelled() || progress.IsCancelling())
  {
    return ExportStatus_Failed;
  }
  if (!isEncoded)
  {
    ActAPI_LogMessage message;
    message << "VTK's XML writer failed.";
    sendError(progress, message);
    return ExportStatus_Failed;
  }

  // 3. Store the text in a temporary file beside the target, renamed onto it once
  //    complete: a failure or a cancellation leaves the target as it was.
  const std::string   text = writer->TakeOutputString();
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
    encoding.ReportStage(THE_ENCODING_SHARE +
                         (1.0 - THE_ENCODING_SHARE) * static_cast<double>(at) / text.size());
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
  fraction.Report(1.0);
  return ExportStatus_Ok;
}

} // namespace

core_ExportStatus
Exchange_VTKXMLWriter::Write(const Handle(MorvDS_Mesh) & mesh,
                             const NCollection_Vector<Handle(algoMesh_Field)>& fields,
                             const TopLoc_Location&                            location,
                             const TCollection_AsciiString&                    path,
                             const ActAPI_ProgressEntry&                       progress,
                             const bool                                        isPoly)
{
  return isPoly ? writeFile<vtkPolyData, vtkXMLPolyDataWriter>(mesh, fields, location, path,
                                                               progress, true)
                : writeFile<vtkUnstructuredGrid, vtkXMLUnstructuredGridWriter>(
                      mesh, fields, location, path, progress, false);
}

} // namespace quorin
