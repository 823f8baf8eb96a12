// Shrink wrapping through the wrapping component: chooses its algorithms, passes the size
// and thread count, bridges its progress to the host, and keeps the resulting mesh. The
// component's cost is linear in the voxels of the grid and the input triangles, plus a
// nearest-point query per envelope vertex and smoothing iteration.
#include <algoMesh_Wrap.hxx>

#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_NotifierWrapper.hxx>

#include <SurfWrap_API.hxx>

#include <OSD_Environment.hxx>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_Wrap, algoBase_Algorithm)

algoMesh_Wrap::algoMesh_Wrap(ActAPI_ProgressEntry progress, ActAPI_PlotterEntry plotter)
    : algoBase_Algorithm(progress, plotter)
{
}

bool algoMesh_Wrap::Perform(const Handle(Poly_Triangulation) & mesh, const double size)
{
  // 1. The message resources live in the directory the environment names.
  TCollection_AsciiString path;
  {
    OSD_Environment               variable("QUORIN_MESSAGE_DIR");
    const TCollection_AsciiString dir = variable.Value();
    if (!variable.Failed() && !dir.IsEmpty())
    {
      path = dir + "/SurfaceWrappingMessages";
    }
  }

  // 2. Tell the host which resource file is used.
  {
    ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Info);
    message << "Loading resource file: %1." << path;
    m_progress.SendLogMessage(message);
  }

  // 3. Whatever escapes the component makes the run fail.
  try
  {
    // 4. Threads: the option's count in parallel mode, one otherwise.
    const int nbThreads = GetParallelMode() ? GetNbThreads() : 1;

    // 5. Bridge the component's progress to the host.
    Handle(algoMesh_NotifierWrapper) notifier = new algoMesh_NotifierWrapper(path, m_progress);

    // 6. Choose the algorithms and their parameters.
    Handle(SurfWrap_WrappingSettings) settings = new SurfWrap_WrappingSettings(notifier);
    settings->SetVoxelizationAlgorithm("Algo_VoxelizationGSF");
    settings->SetTessellationAlgorithm("Algo_ShrinkWrapping");
    settings->Size = size;
    settings->SetNbThreads(nbThreads);
    settings->AppendRefinementAlgorithm("Algo_Smoothing",
                                        static_cast<Algo_Smoothing::SmoothingComponent>(2), 5);

    // 7. Wrap and keep whatever the component produced.
    SurfWrap_API api(notifier);
    api.SetDirtyMesh(mesh);
    bool isOk = api.PerformWrapping(settings);
    m_result  = api.GetResultTriangulation();

    // 8. A produced envelope counts even when the component reported a failure.
    if (!isOk && !m_result.IsNull() && m_result->NbNodes() > 0 && m_result->NbTriangles() > 0)
    {
      isOk = true;
    }

    // 9. Done.
    return isOk;
  }
  catch (...)
  {
    return false;
  }
}

bool algoMesh_Wrap::Perform(const TopoDS_Shape& shape, const double size)
{
  algoMesh_Conglomerate conglomerate(shape, algoMesh_Conglomerate::Mode_Plain, algoMesh_Tolerance);
  const Handle(Poly_Triangulation)& plain = conglomerate.GetPlain();
  if (!plain.IsNull() && plain->NbNodes() > 0 && plain->NbTriangles() > 0)
  {
    return Perform(plain, size);
  }
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
  message << "Cannot wrap an empty mesh.";
  m_progress.SendLogMessage(message);
  return false;
}
