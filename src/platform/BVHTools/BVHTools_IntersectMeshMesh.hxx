// Pairs of intersecting triangles of two triangle sets, or of one set with itself.
//
// Method: the two hierarchies are traversed together, descending into the larger node of
// each pair whose boxes touch; candidate triangle pairs whose own boxes touch are decided
// by the exact test of BVHTools_TriangleTests (orientation predicates with an exact
// fallback). The traversal is first expanded breadth-first into a fixed number of
// independent node pairs, which are then processed in parallel; the pairs found are
// sorted, so the result does not depend on the thread count or on the tree layout.
// Cost: O(n log n) for well-shaped meshes plus the number of touching pairs; the build of
// the hierarchies is not included.
#ifndef BVHTools_IntersectMeshMesh_HeaderFile
#define BVHTools_IntersectMeshMesh_HeaderFile

#include <BVHTools_TriangleSet.hxx>

#include <functional>
#include <vector>

namespace BVHTools
{

//! The intersection record: fill it, call Perform(), read Result().
//!
//! Which pairs count: two closed triangles intersect when they share a point. In self mode
//! (one set against itself) each unordered pair of distinct triangles is tested once, and
//! corners on the same node are shared: touching only at a shared node or along a shared
//! edge is the normal contact of neighbours in a mesh and does not count. Any further
//! contact counts, including two coplanar triangles folded over a shared edge, triangles on
//! the same three nodes, and the contact of distinct nodes at one position (an unwelded
//! mesh reports its neighbours; merge coincident nodes first). Degenerate triangles
//! (collinear corners) have no interior to cross and are never reported;
//! TriangleSet::NbDegenerate() tells how many were passed over.
class BVHTools_EXPORT IntersectMeshMesh
{
public:
  //! @param[in] nbThreads  threads the traversal may use (values below 1 count as 1); the
  //!                       work runs in a task arena of that size
  //! @param[in] first      first triangle set
  //! @param[in] second     second triangle set; the same handle as `first` in self mode
  //! @param[in] isSelf     self mode: `first` against itself
  IntersectMeshMesh(const int nbThreads,
                    const Handle(TriangleSet) & first,
                    const Handle(TriangleSet) & second,
                    const bool isSelf);

  //! Optional observer of the pair search, called from the working threads (so it must be
  //! safe for concurrent calls) before each piece of work with the number of pieces done
  //! and their total; answering false stops the search: no further piece starts.
  void SetMonitor(const std::function<bool(size_t done, size_t total)>& monitor)
  {
    m_monitor = monitor;
  }

  //! Builds the hierarchies that are not built yet, then finds the intersecting pairs.
  //! @return false when a set is null, when self mode is asked for two different sets, or
  //!         when the monitor stopped the search (the result is then empty); true
  //!         otherwise (also when no pair intersects).
  bool Perform();

  //! Consecutive pairs (a, b) of intersecting triangles, a of the first set and b of the
  //! second, as the sets' triangle indices, sorted by a then b; in self mode a < b.
  const std::vector<int>& Result() const { return m_result; }

private:
  int m_nbThreads;
  Handle(TriangleSet) m_first;
  Handle(TriangleSet) m_second;
  std::vector<int>                    m_result;
  bool                                m_isSelf;
  std::function<bool(size_t, size_t)> m_monitor;
};

} // namespace BVHTools

#endif
