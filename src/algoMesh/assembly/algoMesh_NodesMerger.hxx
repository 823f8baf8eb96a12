// Merging of coincident triangle corners into distinct nodes.
#ifndef algoMesh_NodesMerger_HeaderFile
#define algoMesh_NodesMerger_HeaderFile

#include <algoMesh.hxx>

// The cell filter's inspector bases use gp_XY and gp_XYZ without including them.
#include <gp_Pnt.hxx>
#include <gp_XY.hxx>
#include <gp_XYZ.hxx>

#include <NCollection_CellFilter.hxx>
#include <NCollection_IncAllocator.hxx>
#include <NCollection_List.hxx>

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
//! Cost: one look-up inspects at most 27 cells of a uniform grid whose cell size equals the
//! tolerance, so it does not depend on the number of stored nodes for well-spread input.
//! An instance is used by one thread at a time.
class algoMesh_EXPORT algoMesh_NodesMerger
{
public:
  //! Inspector of the cell filter: collects the stored nodes within the tolerance of the
  //! point being looked up.
  class NodesMerger_VertexInspector : public NCollection_CellFilter_InspectorXYZ
  {
  public:
    typedef int Target; //!< 1-based node number

    //! @param[in] theTolerance merge distance.
    //! @param[in] theOwner     merger whose distinct nodes the targets refer to.
    NodesMerger_VertexInspector(const double theTolerance, const algoMesh_NodesMerger* theOwner);

    //! Empties the result list and sets the point to look up.
    void Prepare(const gp_XYZ& thePoint);

    //! Node numbers found within the tolerance, in the order the cell filter reported them.
    const NCollection_List<int>& Results() const { return myResults; }

    //! Appends `theTarget` to the results when the current point lies within the tolerance
    //! of it (a point exactly at the tolerance counts as coincident). Always keeps the
    //! target in its cell.
    NCollection_CellFilter_Action Inspect(const int theTarget);

    //! Target identity, used by the cell filter's removal.
    static bool IsEqual(const int theLeft, const int theRight) { return theLeft == theRight; }

    //! Sets the merge distance whose square the inspection compares with.
    void SetTolerance(const double theTolerance)
    {
      mySquareTolerance = theTolerance * theTolerance;
    }

  private:
    NodesMerger_VertexInspector(const NodesMerger_VertexInspector&)            = delete;
    NodesMerger_VertexInspector& operator=(const NodesMerger_VertexInspector&) = delete;

  private:
    double mySquareTolerance;
    // The result list takes its nodes from this allocator, rewound at each look-up, so a
    // look-up allocates nothing once the first block exists.
    Handle(NCollection_IncAllocator) myListAllocator;
    NCollection_List<int>       myResults;
    const algoMesh_NodesMerger* myOwner;
    double                      myX, myY, myZ;
  };

public:
  //! Empty merger.
  //! @param[in] theTolerance merge distance, a positive finite length; 1e-7 by default.
  //!            A zero, negative or non-finite value would make the cell size meaningless
  //!            and is replaced by 1e-7.
  explicit algoMesh_NodesMerger(const double theTolerance = algoMesh_Tolerance);

  //! Copies nodes, indices and flag; the copy gets its own cell filter with the same
  //! contents, so both look up points the same way afterwards.
  algoMesh_NodesMerger(const algoMesh_NodesMerger& theOther);
  algoMesh_NodesMerger& operator=(const algoMesh_NodesMerger& theOther);

  //! Forgets all nodes and indices (their capacity is kept), empties the cell filter and
  //! resets the last-point-was-new flag to false. The tolerance stays.
  void Clear();

  //! Batch mode: clears, then looks every point up in order. Afterwards Indices() holds
  //! one 1-based node number per input point and Nodes() the distinct nodes.
  void Perform(const std::vector<gp_Pnt>& thePoints);

  //! Incremental mode: looks one point up, adding it as a new node when no stored node
  //! lies within the tolerance, and appends its node number to Indices().
  //! @param[in]  thePoint the point.
  //! @param[out] theIndex its 1-based node number.
  //! @return true when the point became a new node (then it is Nodes().back()), false
  //!         when it was merged into a stored node.
  bool Perform(const gp_Pnt& thePoint, int& theIndex);

  //! Distinct nodes in order of first appearance; node k is element k-1.
  const std::vector<gp_Pnt>& Nodes() const { return myNodes; }

  //! Number of distinct nodes.
  int NbNodes() const { return static_cast<int>(myNodes.size()); }

  //! One 1-based node number per point passed since the last Clear(), in call order.
  const std::vector<int>& Indices() const { return myIndices; }

  //! Outcome of the most recent look-up: true when that point became a new node.
  bool IsLastPointNew() const { return myIsLastNew; }

  //! Merge distance.
  double Tolerance() const { return myTolerance; }

  //! Reserves room for `theNbPoints` points and about as many nodes, to avoid regrowth
  //! when the input size is known. Changes no result.
  void Reserve(const size_t theNbPoints);

protected:
  //! Answers the node number of `thePoint`, storing it as a new node when needed.
  int lookUp(const gp_Pnt& thePoint);

  //! Empties the cell filter with a fresh incremental allocator.
  void resetCellFilter();

  //! Registers every stored node in the cell filter, in node order.
  void registerNodes();

private:
  typedef NCollection_CellFilter<NodesMerger_VertexInspector> CellFilter;

  std::vector<gp_Pnt>         myNodes;
  double                      myTolerance;
  CellFilter                  myCellFilter;
  bool                        myIsLastNew;
  std::vector<int>            myIndices;
  NodesMerger_VertexInspector myInspector;
};

} // namespace quorin

#endif
