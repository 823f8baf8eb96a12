#include <algoMesh_MgTetra.hxx>

#include <algoMesh_MgCADSurf.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgTetra, ActAPI_IAlgorithm)

using namespace quorin;

algoMesh_MgTetra::algoMesh_MgTetra(const Handle(algoMesh_MgSurfAdaptor) & surface,
                                   ActAPI_ProgressEntry progress,
                                   ActAPI_PlotterEntry  plotter)
    : ActAPI_IAlgorithm(progress, plotter), m_surface(surface)
{
}

bool algoMesh_MgTetra::Perform(const Handle(algoMesh_TetraOptions) &,
                               Handle(algoMesh_MgTetraOutput) &)
{
  return algoMesh_MgCADSurf::ReportUnavailable(m_progress);
}
