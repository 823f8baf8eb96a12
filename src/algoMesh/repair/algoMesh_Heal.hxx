// One healing pass over a triangle mesh with VTK: small holes closed, triangle orientation
// made consistent, duplicate points and degenerate cells removed. The input is never
// modified; the healed mesh is a new triangulation.
#ifndef algoMesh_Heal_HeaderFile
#define algoMesh_Heal_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <Poly_Triangulation.hxx>

namespace quorin
{

namespace algoMesh_Heal
{

//! Runs vtkFillHolesFilter (holes whose bounding sphere is smaller than `holeSize`
//! closed), then vtkPolyDataNormals with consistent ordering (neighbouring triangles
//! turned to agree with the first one of each connected part; the filter's defaults
//! otherwise, so edges sharper than 30 degrees are split and their points duplicated),
//! then vtkCleanPolyData (coincident points merged, degenerate cells dropped); the
//! conversion back merges nodes closer than 1e-7, so the split edges join again. Progress
//! goes to `progress`, which also stops the filters; no message is sent, whatever the
//! outcome.
//! @param[in]  mesh     the mesh to heal; not modified.
//! @param[in]  holeSize largest hole to close, as the radius of its bounding sphere in
//!                      model units; 0 closes nothing, negative values count as 0.
//! @param[out] result   a new triangulation; untouched unless the answer is true.
//! @param[in]  progress progress and cancellation; may be empty.
//! @return false when the mesh is null, has no triangle, names nodes it does not have
//!         or has a node that is not finite, when the hole size is not a number, or when
//!         the run was cancelled.
algoMesh_EXPORT bool DoVTK(const Handle(Poly_Triangulation) & mesh,
                           const double holeSize,
                           Handle(Poly_Triangulation) & result,
                           ActAPI_ProgressEntry progress);

} // namespace algoMesh_Heal

} // namespace quorin

#endif
