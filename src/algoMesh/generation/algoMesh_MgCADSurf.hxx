// Entry of the external surface mesher, which this library does not carry: every run
// reports that the module is unavailable.
#ifndef algoMesh_MgCADSurf_HeaderFile
#define algoMesh_MgCADSurf_HeaderFile

#include <algoMesh_MgSurfOutput.hxx>
#include <algoMesh_SurfOptions.hxx>
#include <algoMesh_SurfTagSource.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <TopoDS_Shape.hxx>

namespace quorin
{

//! Surface mesher of a B-rep shape through the external MeshGems module. The module is not
//! part of this library: Perform always fails with the message of UnavailableText(). Use
//! algoMesh_ExtGen::DoNative or DoZeltMesh to mesh a shape.
class algoMesh_EXPORT algoMesh_MgCADSurf : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_MgCADSurf, ActAPI_IAlgorithm)
public:
  //! @param[in] shape    the shape to mesh
  //! @param[in] progress receives the unavailability message; may be empty
  //! @param[in] plotter  imaging sink; may be empty
  algoMesh_MgCADSurf(const TopoDS_Shape&  shape,
                     ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                     ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Sends UnavailableText() as an error of high priority and answers false; `output` is
  //! not touched.
  bool Perform(const Handle(algoMesh_SurfOptions) & options,
               Handle(algoMesh_MgSurfOutput) & output,
               const Handle(algoMesh_SurfTagSource) & tags);

  const TopoDS_Shape& Shape() const { return m_shape; }

  //! "The MeshGems integrated module is not available. Please contact support for details."
  static const char* UnavailableText();

  //! Sends UnavailableText() through `progress` with priority LogPriority_High and severity
  //! LogSeverity_Error; always answers false, for the callers to return.
  static bool ReportUnavailable(const ActAPI_ProgressEntry& progress);

private:
  TopoDS_Shape m_shape;
};

} // namespace quorin

#endif
