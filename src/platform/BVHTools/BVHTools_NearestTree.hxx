// Compact bounding-volume hierarchy over a triangle set, for nearest-triangle searches.
//
// Method: a linear build (Lauterbach et al., "Fast BVH Construction on GPUs", 2009): the
// triangles are sorted by the 63-bit Morton code of their box centres (radix sort), and
// each node splits its run of codes at the highest bit in which the run's codes differ (in
// the middle when they are all equal), down to leaves of at most four triangles. The layout
// is made for the descent: each inner node holds the boxes of both its children in single
// precision, rounded outwards so that they still contain the exact boxes, with the
// children's indices, in one 64-byte line, the first child right after its parent; the
// corners of the triangles are copied in leaf order, so a leaf is read from consecutive
// memory. Cost: O(n) (six radix passes and one pass over the tree); 64 bytes per inner node
// and 76 per triangle.
#ifndef BVHTools_NearestTree_HeaderFile
#define BVHTools_NearestTree_HeaderFile

#include <BVHTools_TriangleSet.hxx>

#include <cstdint>
#include <vector>

namespace BVHTools
{

//! Read-only compact hierarchy over the triangles of a set; safe to share between threads.
//! Triangles are addressed by their position in this tree (leaf order), not in the set.
class BVHTools_EXPORT NearestTree
{
public:
  //! One inner node: the boxes of its two children and what they are. A child with a
  //! count of 0 is the inner node at `child`; otherwise it is a leaf of `count` triangles
  //! starting at tree position `child`.
  struct alignas(64) Node
  {
    float   lower[3][2]; //!< per axis, per child: lower box corner, rounded down
    float   upper[3][2]; //!< per axis, per child: upper box corner, rounded up
    int32_t child[2];
    int32_t count[2];
  };

  //! Most triangles in one leaf.
  static constexpr int LeafSize() { return 4; }

  //! Deepest descent the build can make: one level per code bit, then halvings of runs of
  //! equal codes. A descent's stack needs no more entries than this.
  static constexpr int MaxDepth() { return 63 + 32; }

  //! Copies the triangles of `set`, as its positions stand, and builds the hierarchy over
  //! them; the set is only read. A null or empty set gives an empty tree.
  explicit NearestTree(const Handle(TriangleSet) & set);

  //! True when there is no triangle to search.
  bool IsEmpty() const { return m_ids.empty(); }

  //! The inner nodes, the root first; empty when all triangles fit in one leaf.
  const std::vector<Node>& Nodes() const { return m_nodes; }

  //! Number of triangles.
  int NbTriangles() const { return static_cast<int>(m_ids.size()); }

  //! The nine corner coordinates of the triangle at a tree position (as TriangleSet::Corners).
  const double* Corners(const int position) const { return &m_corners[9 * size_t(position)]; }

  //! The set's identifier (TriangleSet::Id) of the triangle at a tree position.
  int Id(const int position) const { return m_ids[position]; }

private:
  //! Set positions in Morton order of their box centres.
  std::vector<int> sortByCode(const TriangleSet& set, std::vector<uint64_t>& codes) const;

  //! Emits the inner node over the sorted run [begin, end) and its subtree (more than
  //! LeafSize() triangles); answers its index and its box (min x y z, max x y z).
  int emitNode(const std::vector<uint64_t>& codes, const int begin, const int end, double* box);

private:
  std::vector<Node>   m_nodes;
  std::vector<double> m_corners;
  std::vector<int>    m_ids;
};

} // namespace BVHTools

#endif
