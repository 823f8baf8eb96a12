// Compact bounding-volume hierarchy over a triangle set, for nearest-triangle searches.
//
// Method: a linear build (Lauterbach et al., "Fast BVH Construction on GPUs", 2009): the
// triangles are sorted by the 63-bit Morton code of their box centres (radix sort), and
// a run of codes is split at the highest bit in which its codes differ (in the middle when
// they are all equal), and each half split once more, so that a node has up to four
// children, down to leaves of at most four triangles. Four children per node halve the
// levels a descent goes through, each level being a dependent memory read. The layout is
// made for the descent: each inner node holds the boxes of its four children in single
// precision, one array of four per axis and side (so that four boxes are tested at once),
// rounded outwards so that they still contain the exact boxes, with the children's
// indices, in two 64-byte lines, the first child right after its parent; the corners of the
// triangles are copied in leaf order, so a leaf is read from consecutive memory. The passes
// over all triangles (centres and codes, each radix pass's counting and scattering by blocks,
// the copy of the corners) and the subtrees below the root run in parallel. Cost: O(n) (six
// radix passes and one pass over the tree); 128 bytes per inner node and 76 per triangle.
#ifndef BVHTools_NearestTree_HeaderFile
#define BVHTools_NearestTree_HeaderFile

#include <BVHTools_TriangleSet.hxx>

#include <cstdint>
#include <vector>

namespace BVHTools
{

class TaskFence;

//! Read-only compact hierarchy over the triangles of a set; safe to share between threads.
//! Triangles are addressed by their position in this tree (leaf order), not in the set.
class BVHTools_EXPORT NearestTree
{
public:
  //! One inner node: the boxes of its (up to four) children and what they are. A child
  //! with a count of 0 is the inner node at `child`; a positive count is a leaf of `count`
  //! triangles starting at tree position `child`; a count of -1 is an unused slot, whose box
  //! is empty (lower corner +inf, upper corner -inf).
  struct alignas(64) Node
  {
    float   lower[3][4]; //!< per axis, per child: lower box corner, rounded down
    float   upper[3][4]; //!< per axis, per child: upper box corner, rounded up
    int32_t child[4];
    int32_t count[4];
  };

  //! Most children of one inner node.
  static constexpr int Width() { return 4; }

  //! Most triangles in one leaf.
  static constexpr int LeafSize() { return 4; }

  //! Deepest descent the build can make: at most one level per code bit, then halvings of
  //! runs of equal codes. A descent leaves at most Width() - 1 children waiting per level.
  static constexpr int MaxDepth() { return 63 + 32; }

  //! Copies the triangles of `set`, as its positions stand, and builds the hierarchy over
  //! them on up to `nbThreads` threads (the tree is the same for any count); the set is only
  //! read. A null or empty set gives an empty tree.
  explicit NearestTree(const Handle(TriangleSet) & set, const int nbThreads = 1);

  //! The same, taking over the caller's reference: the tree lets the set go as soon as it
  //! has copied the triangles, so that a set nobody else holds is freed before the inner
  //! nodes are built and does not add to the build's peak memory.
  explicit NearestTree(Handle(TriangleSet) && set, const int nbThreads = 1);

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
  //! The build, inside the arena.
  void build(Handle(TriangleSet) & set, const TaskFence& fence);

  //! Set positions in Morton order of their box centres.
  std::vector<int>
  sortByCode(const TriangleSet& set, const TaskFence& fence, std::vector<uint64_t>& codes) const;

  //! Emits the root over all triangles (more than LeafSize()), its children's subtrees in
  //! parallel.
  void emitRoot(const std::vector<uint64_t>& codes, const TaskFence& fence);

  //! Appends to `nodes` the inner node over the sorted run [begin, end) (more than
  //! LeafSize() triangles) and its subtree, numbered within `nodes`; answers its index and
  //! its box (min x y z, max x y z).
  int emitNode(std::vector<Node>&           nodes,
               const std::vector<uint64_t>& codes,
               const int                    begin,
               const int                    end,
               double*                      box) const;

  //! The up to four runs into which [begin, end) splits: in two, and each half of more than
  //! a leaf in two again; answers their number.
  static int
  childRanges(const std::vector<uint64_t>& codes, const int begin, const int end, int ranges[4][2]);

  //! Where the sorted run [begin, end) splits: at the first code with the run's highest
  //! differing bit set, or in the middle when all codes are equal. Both parts are non-empty
  //! for a run of two or more.
  static int splitOf(const std::vector<uint64_t>& codes, const int begin, const int end);

  //! Sets child slot `side` of `node`: its index and count, and its box rounded outwards.
  static void
  setChild(Node& node, const int side, const int child, const int count, const double* box);

  //! Marks child slot `side` of `node` unused.
  static void setEmpty(Node& node, const int side);

private:
  std::vector<Node>   m_nodes;
  std::vector<double> m_corners;
  std::vector<int>    m_ids;
};

} // namespace BVHTools

#endif
