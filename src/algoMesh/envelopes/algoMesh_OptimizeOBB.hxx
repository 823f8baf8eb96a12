// Improvement of an oriented bounding box by turning its frame about its origin.
//
//   quorin::algoMesh_OptimizeOBB optimizer(shape, mesh, principalBox, progress, nullptr);
//   if (optimizer.Perform())
//     box = optimizer.GetResult();
#ifndef algoMesh_OptimizeOBB_HeaderFile
#define algoMesh_OptimizeOBB_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_OBB.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <ActAPI_IAlgorithm.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Ax3.hxx>
#include <math_Vector.hxx>

namespace quorin
{
class algoMesh_FuncOBB;

//! Finds the rotation of the initial box's frame that minimises algoMesh_FuncOBB (the box
//! volume of the mesh's convex hull, relative to the initial one) by quasi-Newton descent
//! from 64 starting rotations, then bounds the whole mesh in the best frame. The result's
//! origin is the initial box's origin; its axes are put in a canonical order (see Perform),
//! so that equivalent frames give the same box.
class algoMesh_EXPORT algoMesh_OptimizeOBB : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTIEXT(algoMesh_OptimizeOBB, ActAPI_IAlgorithm)
public:
  //! @param[in] shape     the shape the mesh belongs to; kept, not used by the computation
  //! @param[in] mesh      the nodes to bound, as stored (a face location is not applied)
  //! @param[in] initial   the box to improve; its placement is the starting frame
  //! @param[in] progress  receives the messages; may be empty
  //! @param[in] plotter   imaging sink, only carried; may be empty
  algoMesh_OptimizeOBB(const TopoDS_Shape& shape,
                       const Handle(Poly_Triangulation) & mesh,
                       const Handle(algoMesh_OBB) & initial,
                       ActAPI_ProgressEntry progress = ActAPI_ProgressEntry(),
                       ActAPI_PlotterEntry  plotter  = ActAPI_PlotterEntry());

  //! Computes the optimised box; a previous result is dropped first. The best rotation is
  //! the lowest minimum found by math_BFGS (tolerance 1e-8, 200 iterations) from each
  //! combination of the angles 0, 2pi/3, 4pi/3 and 2pi; when no run converges the initial
  //! frame is kept. Its axes are then each flipped so that their largest component is
  //! positive and ordered: X is the axis with the greatest x component, Z, of the other
  //! two, the one with the greatest z component (components within 1e-7 count as equal
  //! and pass the decision to the next component).
  //! @return false, with the error "Cannot optimize the OBB without triangulation.", for
  //!         a null mesh or one without nodes; with the error "Cannot optimize the OBB
  //!         without an initial box." for a null initial box; with the error "Cannot build
  //!         a convex hull for the input mesh." when the nodes have no solid hull (fewer
  //!         than four, coplanar, or not finite).
  bool Perform();

  //! The optimised box of the last successful Perform; null before it or after a failure.
  const Handle(algoMesh_OBB) & GetResult() const { return m_result; }

protected:
  //! The convex hull of the mesh nodes; false when there is none (or it was cancelled).
  bool buildHull(const algoMesh_ProgressScope& progress, Handle(Poly_Triangulation) & hull) const;

  //! Angles of the lowest minimum over the 64 starts; zero angles when no run converged.
  //! Counts the starts in `progress` and stops early when the run is cancelled.
  static math_Vector minimize(algoMesh_FuncOBB& func, algoMesh_ProgressScope& progress);

  //! The frame at the same origin whose axes are those of `frame`, signed and ordered
  //! canonically.
  static gp_Ax3 canonicalPlacement(const gp_Ax3& frame);

private:
  TopoDS_Shape m_shape;
  Handle(Poly_Triangulation) m_mesh;
  Handle(algoMesh_OBB) m_initial;
  Handle(algoMesh_OBB) m_result;
};

} // namespace quorin

#endif
