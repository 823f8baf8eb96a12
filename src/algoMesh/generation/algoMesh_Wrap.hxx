// Shrink wrapping: a closed, clean envelope mesh around a dirty mesh or the face meshes of
// a shape.
//
//   Handle(quorin::algoMesh_Wrap) wrap = new quorin::algoMesh_Wrap(progress, nullptr);
//   if (wrap->Perform(soup, 0.5))
//     use(wrap->Result());
#ifndef algoMesh_Wrap_HeaderFile
#define algoMesh_Wrap_HeaderFile

#include <algoMesh.hxx>

#include <algoBase_Algorithm.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

namespace quorin
{

//! Wraps its input with the wrapping component: the input is voxelized at the given size
//! (gaps and holes up to about that size close, cavities fill, overlapping parts merge), the
//! outer boundary of the voxels is shrunk onto the input and smoothed (five iterations,
//! whole Laplacian move, vertices held on the input). The result is closed, manifold,
//! outward oriented and free of self-intersections; it lies on the input wherever the
//! input is within two voxel sizes.
//!
//! Messages through the progress entry: "Loading resource file: %1." (information) with the
//! message resource path, which is the value of QUORIN_MESSAGE_DIR followed by
//! "/SurfaceWrappingMessages" (empty when the variable is unset); "Cannot load resources
//! from file %1." (warning) when that file cannot be read; "Cannot wrap an empty mesh."
//! (warning) for a shape without usable face meshes. Progress reaches the host's notifier
//! as percent of range 100 when it accepts progress, and cancellation is honoured.
class algoMesh_EXPORT algoMesh_Wrap : public algoBase_Algorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_Wrap, algoBase_Algorithm)
public:
  //! @param[in] progress  receives the messages and progress; may be empty
  //! @param[in] plotter   imaging sink; may be empty
  algoMesh_Wrap(ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Wraps a mesh, with NbThreadsFor() threads. Replaces the result.
  //! @param[in] mesh  triangles to wrap, 1-based; need not be connected nor closed
  //! @param[in] size  voxel size in model units, positive
  //! @return true when an envelope with nodes and triangles was produced; false when the
  //!         wrapping failed (null or empty mesh, size not positive, cancellation, an
  //!         exception); the result is then what the wrapping left, usually null
  virtual bool Perform(const Handle(Poly_Triangulation) & mesh, const double size);

  //! Welds the face meshes of `shape` (tolerance 1e-7) and wraps them with the mesh form.
  //! @return false with "Cannot wrap an empty mesh." when no face has a usable mesh
  virtual bool Perform(const TopoDS_Shape& shape, const double size);

  //! The envelope of the last mesh-form run; null before.
  const Handle(Poly_Triangulation) & Result() const { return m_result; }

private:
  Handle(Poly_Triangulation) m_result;
};

} // namespace quorin

#endif
