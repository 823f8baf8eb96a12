// Entry of the external tetrahedral volume mesher, which this library does not carry: every run
// reports that the module is unavailable.
#ifndef algoMesh_MgTetra_HeaderFile
#define algoMesh_MgTetra_HeaderFile

#include <algoMesh_TetraOptions.hxx>
#include <algoMesh_MgTetraOutput.hxx>
#include <algoMesh_MgSurfAdaptor.hxx>

#include <ActAPI_IAlgorithm.hxx>

namespace quorin
{

//! Tetrahedral mesher of the volume a closed surface mesh bounds, through the external
//! MeshGems module. The module is not part of this library: Perform always fails with the
//! message of algoMesh_MgCADSurf::UnavailableText().
class algoMesh_EXPORT algoMesh_MgTetra : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_MgTetra, ActAPI_IAlgorithm)
public:
  //! @param[in] surface  the bounding surface mesh
  //! @param[in] progress receives the unavailability message; may be empty
  //! @param[in] plotter  imaging sink; may be empty
  algoMesh_MgTetra(const Handle(algoMesh_MgSurfAdaptor) & surface,
                   ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                   ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Sends the unavailability message as an error of high priority and answers false;
  //! `output` is not touched.
  bool Perform(const Handle(algoMesh_TetraOptions) & options,
               Handle(algoMesh_MgTetraOutput) & output);

  const Handle(algoMesh_MgSurfAdaptor) & Surface() const { return m_surface; }

private:
  Handle(algoMesh_MgSurfAdaptor) m_surface;
};

} // namespace quorin

#endif
