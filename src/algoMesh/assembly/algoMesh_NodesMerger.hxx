// Merging of coincident triangle corners into distinct nodes.
#ifndef algoMesh_NodesMerger_HeaderFile
#define algoMesh_NodesMerger_HeaderFile

#include <algoMesh.hxx>

#include <algoMesh_CellGrid.hxx>

#include <Poly_Triangulation.hxx>
#include <gp_Pnt.hxx>

#include <vector>

namespace quorin
{

//! Turns a stream of points (triangle corners) into distinct nodes: every point is either
//! recognised as a node met before, within the tolerance, or becomes a new node.
//!
//! Nodes are numbered from 1 in order of first appearance, so the numbers can be used
//! directly as node numbers of a Poly_Triangulation. A point is merged into a stored node
//! when their distance is at most the tolerance; it is compared with stored nodes only,
//! never with points that were merged, so merging is not transitive. When several stored
//! nodes lie within the tolerance, the first one reported by the cell filter wins (cells in
//! z-, then y-, then x-ascending order; within a cell the most recently stored node first),
//! which is not necessarily the nearest one.
//!
//! Cost: one look-up scans the few grid blocks around the point (algoMesh_CellGrid, cell
//! size = tolerance), so it does not depend on the number of stored nodes for well-spread
//! input.
//! An instance is used by one thread at a time.
class algoMesh_EXPORT algoMesh_NodesMerger
{
public:
  //! Empty merger. Copies are independent and continue exactly like their original.
  //! @param[in] tolerance merge distance, a positive finite length; 1e-7 by default.
  //!            A zero, negative or non-finite value would make the cell size meaningless
  //!            and is replaced by 1e-7.
  explicit algoMesh_NodesMerger(const double tolerance = algoMesh_Tolerance);

  //! Forgets all nodes and indices (their capacity is kept), empties the cell filter and
  //! resets the last-point-was-new flag to false. The tolerance stays.
  void Clear();

  //! Batch mode: clears, then looks every point up in order. Afterwards Indices() holds
  //! one 1-based node number per input point and Nodes() the distinct nodes.
  void Perform(const std::vector<gp_Pnt>& points);

  //! Incremental mode: looks one point up, adding it as a new node when no stored node
  //! lies within the tolerance, and appends its node number to Indices().
  //! @param[in]  point the point.
  //! @param[out] index its 1-based node number.
  //! @return true when the point became a new node (then it is Nodes().back()), false
  //!         when it was merged into a stored node.
  bool Perform(const gp_Pnt& point, int& index);

  //! Incremental mode for several points at once: the same as Perform(point, index) on
  //! each point in order, whose node numbers are appended to Indices(); the new nodes are
  //! the tail of Nodes(). Faster for many points, as the memory latency of successive
  //! look-ups overlaps.
  void Append(const gp_Pnt* points, const size_t count);

  //! Distinct nodes in order of first appearance; node k is element k-1.
  const std::vector<gp_Pnt>& Nodes() const { return m_nodes; }

  //! Number of distinct nodes.
  int NbNodes() const { return static_cast<int>(m_nodes.size()); }

  //! One 1-based node number per point passed since the last Clear(), in call order.
  const std::vector<int>& Indices() const { return m_indices; }

  //! Outcome of the most recent look-up: true when that point became a new node.
  bool IsLastPointNew() const { return m_isLastNew; }

  //! Merge distance.
  double Tolerance() const { return m_tolerance; }

  //! A new mesh with the nodes of `mesh` merged at `tolerance` (as Perform merges them) and
  //! its triangles renumbered in order; a triangle left with fewer than three distinct nodes
  //! is dropped when `dropCollapsed`, kept otherwise.
  //! @return null for a null mesh, or when no triangle is left
  static Handle(Poly_Triangulation) Weld(const Handle(Poly_Triangulation) & mesh,
                                         const double tolerance,
                                         const bool   dropCollapsed);

  //! Reserves room for `nbPoints` points and `nbNodes` distinct nodes, to avoid regrowth
  //! when the input size is known. An estimate of the node count is fine: a larger one
  //! costs memory, a smaller one some regrowth. Changes no result.
  void Reserve(const size_t nbPoints, const size_t nbNodes);

protected:
  //! Answers the node number of `point`, located by `probe` (completed when a full look-up
  //! is needed), storing it as a new node when needed.
  int lookUp(const gp_Pnt& point, algoMesh_CellGrid::Probe& probe);

private:
  std::vector<gp_Pnt> m_nodes;
  double              m_tolerance;
  algoMesh_CellGrid   m_grid; //!< holds the 1-based node numbers
  bool                m_isLastNew;
  //! True while every two stored nodes are known to be farther apart than the tolerance:
  //! then a point equal to a stored node has that node as its only candidate.
  bool             m_isSeparated;
  std::vector<int> m_indices;
};

} // namespace quorin

#endif
