// The wrapping surface of a solid voxel grid, shrunk onto the input surface.
#ifndef Algo_ShrinkWrapping_HeaderFile
#define Algo_ShrinkWrapping_HeaderFile

#include <Algo_VoxelizationGSF.hxx>
#include <SurfWrap_WorkMesh.hxx>

#include <Poly_Triangulation.hxx>

//! Shrink wrapping ("Algo_ShrinkWrapping") in three calls:
//! - Extract: the faces between solid and other cells of a well-composed grid, one quad
//!   each, turned outwards, sharing the grid corners: a closed 2-manifold quad surface;
//! - Shrink: every vertex within the shrink distance of the input moves to its nearest
//!   point there and is attached; the others (over holes and wide gaps) stay;
//! - Triangulate: each quad split along its shorter diagonal; then vertices of triangles
//!   that cross others or collapsed are moved back towards their voxel corners, halfway
//!   and then fully, until no triangle crosses another (the voxel surface itself is free of
//!   crossings, so this ends).
//! Cost: O(F log F) for F boundary faces (the corner numbering sorts), one projection per
//! vertex, and one self-intersection test of the triangles per untangling round.
class SurfWrap_EXPORT Algo_ShrinkWrapping
{
public:
  //! @param[in] notifier  receives messages, answers cancellation; null counts as silent
  explicit Algo_ShrinkWrapping(const Handle(SurfWrap_ProgressNotifier) & notifier);

  //! Threads the parallel loops may use; values below 1 count as 1. Default 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }

  //! Builds the quad surface of the solid cells into `mesh` (replacing its content).
  //! @return false when the grid has no solid cell or when stopped
  bool Extract(const SurfWrap_VoxelGrid& grid, SurfWrap_WorkMesh& mesh) const;

  //! Moves the vertices within `maxShift` (model units) of the input onto it.
  //! @return false when stopped
  bool
  Shrink(const SurfWrap_Projector& projector, const double maxShift, SurfWrap_WorkMesh& mesh) const;

  //! Triangulates the quads and removes crossings as told in the class comment.
  //! @return the triangulation, or null when stopped
  Handle(Poly_Triangulation) Triangulate(SurfWrap_WorkMesh& mesh) const;

private:
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  int m_nbThreads;
};

#endif
