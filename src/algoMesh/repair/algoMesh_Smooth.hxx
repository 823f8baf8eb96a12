// Laplacian smoothing of a triangle mesh, with OpenMesh's Jacobi-Laplace smoother or with
// VTK's smoothing filter. The input is never modified: each function converts it, smooths
// the copy and converts the result back into a new triangulation.
//
//   Handle(Poly_Triangulation) smoothed;
//   if (quorin::algoMesh_Smooth::DoOpenMesh(mesh, 10,
//   quorin::algoMesh_Smooth::Component_Tangential,
//                                           smoothed, progress))
//     use(smoothed);
#ifndef algoMesh_Smooth_HeaderFile
#define algoMesh_Smooth_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

namespace algoMesh_Smooth
{

//! Which part of each Laplacian move is applied to the vertices.
enum Component
{
  Component_TangentialNormal = 0, //!< the whole move, tangential and normal
  //! only the part in the tangent plane: triangles are reshaped, the surface stays put
  Component_Tangential = 1,
  Component_Normal     = 2 //!< only the part along the vertex normal
};

//! Smooths with OpenMesh's Jacobi-Laplace smoother (C1 continuity, i.e. bi-Laplacian
//! moves; uniform weights, or cotangent weights of the input for normal-only moves).
//! Boundary vertices and their direct neighbours do not move. The mesh is converted to OpenMesh
//! (coordinates rounded to single precision; triangles OpenMesh refuses as non-manifold
//! are left out) and back (nodes closer than 1e-7 merged), so even 0 iterations give a
//! copy only up to these conversions.
//! @param[in]  mesh       the mesh to smooth; not modified.
//! @param[in]  iterations number of smoothing steps, 0 or more.
//! @param[in]  component  which part of the moves to apply; a value other than 0, 1 or 2
//!                        answers false without a message.
//! @param[out] result     a new triangulation; untouched unless the answer is true.
//! @param[in]  progress   messages and cancellation; may be empty.
//! @return false, with the message in brackets, when the component is unknown (none),
//!         the mesh is null or names nodes it does not have ("Cannot convert to OpenMesh
//!         polygonal data."), the iteration count is negative ("The number of smoothing
//!         iterations must not be negative."), a node is not finite ("The mesh has a node
//!         with a coordinate that is not a finite number."), the smoother throws (none), the user
//!         cancelled ("Smoothing was cancelled."), or the result cannot be converted back
//!         ("Cannot convert the smoothed mesh to a persistent form.").
algoMesh_EXPORT bool DoOpenMesh(const Handle(Poly_Triangulation) & mesh,
                                const int       iterations,
                                const Component component,
                                Handle(Poly_Triangulation) & result,
                                ActAPI_ProgressEntry progress);

//! Smooths with VTK's vtkSmoothPolyDataFilter: feature-edge and boundary smoothing off (so
//! boundary vertices stay where they are), the filter's defaults otherwise (relaxation
//! factor 0.01, convergence 0, no cleaning stage before it). Nodes used by no triangle
//! are dropped; coincident nodes (closer than 1e-7) of the result are merged.
//! @param[in]  mesh       the mesh to smooth; not modified.
//! @param[in]  iterations number of smoothing steps; VTK clamps a negative count to 0.
//! @param[out] result     a new triangulation; untouched unless the answer is true.
//! @param[in]  progress   messages and cancellation; may be empty.
//! @return false, with the message in brackets, when the mesh is null or names nodes it
//!         does not have ("Cannot convert to VTK polygonal data."), a node
//!         is not finite ("The mesh has a node with a coordinate that is not a finite
//!         number."), the user
//!         cancelled ("Smoothing was cancelled."), or the smoothed data have no triangle
//!         ("Cannot convert the smoothed mesh to a persistent form.").
algoMesh_EXPORT bool DoVTK(const Handle(Poly_Triangulation) & mesh,
                           const int iterations,
                           Handle(Poly_Triangulation) & result,
                           ActAPI_ProgressEntry progress);

} // namespace algoMesh_Smooth

} // namespace quorin

#endif
