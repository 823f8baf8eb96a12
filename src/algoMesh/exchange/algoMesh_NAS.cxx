// NASTRAN bulk-data exchange over the data model component's reader and writer. Their
// messages are forwarded to the progress entry as errors; their progress goes through the
// base library's indicator. Joining reuses the STL writer's point map, so that both
// writers merge the same corners.
#include <algoMesh_NAS.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_InputCheck.hxx>

#include <algoMesh_STL.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <ActAPI_LogMessage.hxx>
#include <MorvTools_NASReader.hxx>
#include <MorvTools_NASWriter.hxx>

#include <Message_ProgressScope.hxx>

namespace quorin
{

namespace
{

void sendError(const ActAPI_ProgressEntry& progress, const char* text, const int line)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
  if (line > 0)
  {
    message << "Line %1: %2" << line << text;
  }
  else
  {
    message << text;
  }
  progress.SendLogMessage(message);
}

//! The component's reader with its messages sent to a progress entry.
class EntryReader : public MorvTools_NASReader
{
public:
  EntryReader(const TCollection_AsciiString& path, const ActAPI_ProgressEntry& progress)
      : MorvTools_NASReader(path.ToCString(), false), m_progress(progress)
  {
  }

  //! Names the included file a line belongs to; lines of the file read go without.
  void SendMessage(const char* text, const int line) override
  {
    if (RecordSource().empty() || line <= 0)
    {
      sendError(m_progress, text, line);
      return;
    }
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Error);
    message << "Line %1 of the included file '%2': %3" << line << RecordSource() << text;
    m_progress.SendLogMessage(message);
  }

private:
  ActAPI_ProgressEntry m_progress;
};

//! The component's writer with its messages sent to a progress entry.
class EntryWriter : public MorvTools_NASWriter
{
public:
  EntryWriter(const Handle(MorvDS_Mesh) & mesh,
              const TCollection_AsciiString& path,
              const ActAPI_ProgressEntry&    progress)
      : MorvTools_NASWriter(mesh, path.ToCString()), m_progress(progress)
  {
  }

  void SendMessage(const char* text) override { sendError(m_progress, text, 0); }

private:
  ActAPI_ProgressEntry m_progress;
};

} // namespace

bool algoMesh_NAS::Read(const TCollection_AsciiString& path,
                        Handle(MorvDS_Mesh) & result,
                        ActAPI_ProgressEntry progress)
{
  // 1. Bridge the reader's progress and cancellation to the entry.
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  Message_ProgressScope scope(indicator->Start(), "Loading NASTRAN file", 1);

  // 2. Read the cards into a new mesh. A directory or a device opens too, but holds none.
  std::string reason;
  if (!Exchange_InputCheck::CheckRegularFile(path.ToCString(), ~std::uintmax_t(0), reason) &&
      reason != "no such file" && reason != "permission denied")
  {
    sendError(progress, ("Cannot open the file for reading: " + reason + ".").c_str(), 0);
    return false;
  }
  EntryReader reader(path, progress);
  if (!reader.Read(scope.Next()))
  {
    return false;
  }
  result = reader.GetMesh();
  return true;
}

namespace
{

// Shares of a write: joining (hashing every corner), copying into the data model, and the
// cards, which take about three times as long as the other two together.
constexpr double THE_JOIN_SHARE = 0.15;
constexpr double THE_COPY_SHARE = 0.1;

//! MergeAndConvert, reporting in `progress` and stopping with no data when it is
//! cancelled: joining and copying a large mesh take a second, and Ctrl-C must stop a write
//! at once.
core_ExportStatus mergeAndConvert(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                  const NCollection_Vector<TopLoc_Location>&            locations,
                                  Handle(MorvDS_Mesh) & result,
                                  algoMesh_ProgressScope progress)
{
  // 1. Check the input.
  if (meshes.IsEmpty() || locations.IsEmpty() || meshes.Length() != locations.Length())
  {
    return ExportStatus_NoData;
  }
  result = new MorvDS_Mesh(10, 10, 10, 10);

  // 2. Join the placed meshes: nodes in order of first use, triangles in order.
  const Handle(Poly_Triangulation) joined = algoMesh_STL::Join(
      meshes, locations, progress.Next(THE_JOIN_SHARE / (THE_JOIN_SHARE + THE_COPY_SHARE)));
  if (joined.IsNull() || progress.IsCancelled())
  {
    return ExportStatus_NoData;
  }

  // 3. Copy them into the data model, dropping triangles that merging made degenerate.
  algoMesh_ProgressScope copying = progress.Next(1.0);
  copying.SetTotal(int64_t(joined->NbNodes()) + joined->NbTriangles());
  for (int n = 1; n <= joined->NbNodes(); ++n)
  {
    if (n % 65536 == 0)
    {
      copying.SetDone(n);
      if (copying.IsCancelled())
      {
        return ExportStatus_NoData;
      }
    }
    const gp_Pnt point = joined->Node(n);
    result->AddNode(point.X(), point.Y(), point.Z());
  }
  for (int t = 1; t <= joined->NbTriangles(); ++t)
  {
    if (t % 65536 == 0)
    {
      copying.SetDone(int64_t(joined->NbNodes()) + t);
      if (copying.IsCancelled())
      {
        return ExportStatus_NoData;
      }
    }
    int a, b, c;
    joined->Triangle(t).Get(a, b, c);
    if (a != b && b != c && a != c)
    {
      result->AddFace(a, b, c);
    }
  }
  if (copying.IsCancelled())
  {
    return ExportStatus_NoData;
  }
  result->RebuildAllInverseConnections();
  copying.Complete();
  return result->IsEmpty() ? ExportStatus_NoData : ExportStatus_Ok;
}

} // namespace

core_ExportStatus
algoMesh_NAS::MergeAndConvert(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                              const NCollection_Vector<TopLoc_Location>&            locations,
                              Handle(MorvDS_Mesh) & result)
{
  return mergeAndConvert(meshes, locations, result,
                         algoMesh_ProgressScope(ActAPI_ProgressEntry(), TCollection_AsciiString()));
}

core_ExportStatus algoMesh_NAS::Write(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                      const NCollection_Vector<TopLoc_Location>& locations,
                                      const TCollection_AsciiString&             path,
                                      ActAPI_ProgressEntry                       progress)
{
  // 1. Open the write's progress: joining takes the first share, the cards the rest, so
  //    that the whole write moves the entry once from its start to its end.
  algoMesh_ProgressScope root(progress, TCollection_AsciiString());
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  Message_ProgressScope scope(indicator->Start(), "Writing", 1);

  // 2. Join the meshes into one data model mesh.
  const algoMesh_ProgressScope joining = root.Next(THE_JOIN_SHARE + THE_COPY_SHARE);
  Handle(MorvDS_Mesh) mesh;
  if (mergeAndConvert(meshes, locations, mesh, joining) != ExportStatus_Ok || mesh.IsNull() ||
      mesh->IsEmpty())
  {
    return joining.IsCancelled() ? ExportStatus_Failed : ExportStatus_NoData;
  }

  // The writer's progress and cancellation reach the entry through the indicator.
  indicator->ConnectNotifier(root.Next(1.0).Entry().Access());

  // 3. Write its cards into a temporary file beside the target, renamed onto it once
  //    complete: a failure or a cancellation leaves the target as it was.
  Exchange_AtomicFile output(path.ToCString(), Exchange_AtomicFile::Access_Path);
  if (!output.IsOpen())
  {
    sendError(progress, ("Cannot write the file: " + output.Error() + ".").c_str(), 0);
    return ExportStatus_Failed;
  }
  EntryWriter writer(mesh, output.TempPath().c_str(), progress);
  if (!writer.Write(scope.Next()))
  {
    return ExportStatus_Failed;
  }
  if (!output.Commit())
  {
    sendError(progress, ("Cannot write the file: " + output.Error() + ".").c_str(), 0);
    return ExportStatus_Failed;
  }
  return ExportStatus_Ok;
}

core_ExportStatus algoMesh_NAS::Write(const Handle(Poly_Triangulation) & mesh,
                                      const TCollection_AsciiString& path,
                                      ActAPI_ProgressEntry           progress)
{
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  return Write(meshes, locations, path, progress);
}

} // namespace quorin
