#include <algoMesh_MgHexa.hxx>

#include <algoMesh_MgCADSurf.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgHexa, ActAPI_IAlgorithm)

using namespace quorin;

algoMesh_MgHexa::algoMesh_MgHexa(const Handle(algoMesh_MgSurfAdaptor) & surface,
                                 ActAPI_ProgressEntry progress,
                                 ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_surface(surface)
{
}

bool algoMesh_MgHexa::Perform(const Handle(algoMesh_HexaOptions) &, Handle(algoMesh_MgHexaOutput) &)
{
  return algoMesh_MgCADSurf::ReportUnavailable(m_progress);
}
