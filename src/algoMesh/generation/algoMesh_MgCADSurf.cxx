#include <algoMesh_MgCADSurf.hxx>

#include <ActAPI_LogMessage.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgCADSurf, ActAPI_IAlgorithm)

using namespace quorin;

algoMesh_MgCADSurf::algoMesh_MgCADSurf(const TopoDS_Shape&  shape,
                                       ActAPI_ProgressEntry progress,
                                       ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_shape(shape)
{
}

bool algoMesh_MgCADSurf::Perform(const Handle(algoMesh_SurfOptions) &,
                                 Handle(algoMesh_MgSurfOutput) &,
                                 const Handle(algoMesh_SurfTagSource) &)
{
  return ReportUnavailable(m_progress);
}

const char* algoMesh_MgCADSurf::UnavailableText()
{
  return "The MeshGems integrated module is not available. Please contact support for details.";
}

bool algoMesh_MgCADSurf::ReportUnavailable(const ActAPI_ProgressEntry& progress)
{
  ActAPI_LogMessage message(LogPriority_High, LogSeverity_Error);
  message << UnavailableText();
  progress.SendLogMessage(message);
  return false;
}
