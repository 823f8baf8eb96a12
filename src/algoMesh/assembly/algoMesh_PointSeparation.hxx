// Whether the nodes of a triangulation are pairwise apart by more than a distance.
#ifndef algoMesh_PointSeparation_HeaderFile
#define algoMesh_PointSeparation_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_Trsf.hxx>

namespace quorin
{

//! Tells whether every two nodes of a triangulation differ by more than a distance in at
//! least one coordinate (their Chebyshev distance exceeds it). A welding that merges nodes
//! closer than that distance then merges nothing and numbers the nodes as they come, so a
//! caller may skip its incremental look-ups, whose random accesses to a hash table are
//! what makes welding a large mesh slow.
//!
//! The nodes are sorted by their cell in a grid of at most 2^16 cells per axis (cells at
//! least the distance wide, so that a close pair lies in the same or adjacent cells), by a
//! radix sort of the packed cell coordinates; one sweep over the sorted cells then compares
//! each node with those of the same cell and of the adjacent cells further in the order,
//! found by five cursors that only move forward. Cost: O(n) time, 32 bytes per node while
//! it runs.
class algoMesh_EXPORT algoMesh_PointSeparation
{
public:
  //! @param[in] mesh     the nodes to test
  //! @param[in] trsf     placement applied to every node before the test, as a welding of
  //!                     the placed face would do; null for none
  //! @param[in] distance the separation asked for, positive and finite
  //! @return true when no two nodes lie within `distance` of each other in every
  //!         coordinate; false when two do, when a coordinate is not finite, or when the
  //!         nodes crowd so few cells that telling would cost more than a welding (the
  //!         answer is then only "not known to be separated")
  static bool
  IsSeparated(const Handle(Poly_Triangulation) & mesh, const gp_Trsf* trsf, const double distance);
};

} // namespace quorin

#endif
