// Coincident-node merging over a uniform cell grid.
//
// Each point is looked up in the kernel's cell filter (a hash map from integer cell
// coordinates to the node numbers stored in that cell) over the box of half-width tol
// around it; the cell size equals the tolerance, so the box touches at most 3 cells per
// axis. A point with no stored node within tol becomes a new node and is registered in
// its own cell. Cost: O(1) expected per point for well-spread input, O(n) for n points;
// cell storage comes from one incremental allocator released as a whole by Clear().
#include <algoMesh_NodesMerger.hxx>

#include <cmath>

using namespace quorin;

namespace
{
// Block size of the cell storage: a few hundred cells and list nodes per block.
const size_t THE_CELL_BLOCK_SIZE = 24600;

double validTolerance(const double theTolerance)
{
  return (std::isfinite(theTolerance) && theTolerance > 0.0) ? theTolerance : algoMesh_Tolerance;
}

bool isFinite(const gp_Pnt& thePoint)
{
  return std::isfinite(thePoint.X()) && std::isfinite(thePoint.Y()) && std::isfinite(thePoint.Z());
}
} // namespace

algoMesh_NodesMerger::NodesMerger_VertexInspector::NodesMerger_VertexInspector(
    const double theTolerance, const algoMesh_NodesMerger* theOwner)
    : mySquareTolerance(theTolerance * theTolerance),
      myListAllocator(new NCollection_IncAllocator(1024)), myResults(myListAllocator),
      myOwner(theOwner), myX(0.0), myY(0.0), myZ(0.0)
{
}

void algoMesh_NodesMerger::NodesMerger_VertexInspector::Prepare(const gp_XYZ& thePoint)
{
  // The list's nodes live in the incremental allocator: clearing the list frees nothing,
  // rewinding the allocator makes its first block reusable.
  myResults.Clear();
  myListAllocator->Reset(Standard_False);
  myX = thePoint.X();
  myY = thePoint.Y();
  myZ = thePoint.Z();
}

NCollection_CellFilter_Action
algoMesh_NodesMerger::NodesMerger_VertexInspector::Inspect(const int theTarget)
{
  const gp_Pnt& node = myOwner->myNodes[theTarget - 1];
  const double  dx   = node.X() - myX;
  const double  dy   = node.Y() - myY;
  const double  dz   = node.Z() - myZ;
  if (mySquareTolerance >= dx * dx + dy * dy + dz * dz)
  {
    myResults.Append(theTarget);
  }
  return CellFilter_Keep;
}

algoMesh_NodesMerger::algoMesh_NodesMerger(const double theTolerance)
    : myTolerance(validTolerance(theTolerance)),
      myCellFilter(myTolerance, new NCollection_IncAllocator(THE_CELL_BLOCK_SIZE)),
      myIsLastNew(false), myInspector(myTolerance, this)
{
}

algoMesh_NodesMerger::algoMesh_NodesMerger(const algoMesh_NodesMerger& theOther)
    : myNodes(theOther.myNodes), myTolerance(theOther.myTolerance),
      myCellFilter(myTolerance, new NCollection_IncAllocator(THE_CELL_BLOCK_SIZE)),
      myIsLastNew(theOther.myIsLastNew), myIndices(theOther.myIndices),
      myInspector(myTolerance, this)
{
  registerNodes();
}

algoMesh_NodesMerger& algoMesh_NodesMerger::operator=(const algoMesh_NodesMerger& theOther)
{
  if (this != &theOther)
  {
    myNodes     = theOther.myNodes;
    myTolerance = theOther.myTolerance;
    myIsLastNew = theOther.myIsLastNew;
    myIndices   = theOther.myIndices;
    myInspector.SetTolerance(myTolerance);
    resetCellFilter();
    registerNodes();
  }
  return *this;
}

void algoMesh_NodesMerger::Clear()
{
  myNodes.clear();
  myIndices.clear();
  resetCellFilter();
  myIsLastNew = false;
}

void algoMesh_NodesMerger::Reserve(const size_t theNbPoints)
{
  myNodes.reserve(theNbPoints);
  myIndices.reserve(theNbPoints);
}

void algoMesh_NodesMerger::Perform(const std::vector<gp_Pnt>& thePoints)
{
  Clear();
  myIndices.assign(thePoints.size(), 0);
  for (size_t i = 0; i < thePoints.size(); ++i)
  {
    myIndices[i] = lookUp(thePoints[i]);
  }
}

bool algoMesh_NodesMerger::Perform(const gp_Pnt& thePoint, int& theIndex)
{
  theIndex = lookUp(thePoint);
  myIndices.push_back(theIndex);
  return myIsLastNew;
}

int algoMesh_NodesMerger::lookUp(const gp_Pnt& thePoint)
{
  // A non-finite coordinate has no cell (its cell coordinate would be undefined) and is
  // within no distance of anything: such a point is always a node of its own.
  const bool finite = isFinite(thePoint);
  if (finite)
  {
    // 1. Collect the stored nodes within the tolerance from the cells around the point.
    myInspector.Prepare(thePoint.XYZ());
    const gp_XYZ lower(thePoint.X() - myTolerance, thePoint.Y() - myTolerance,
                       thePoint.Z() - myTolerance);
    const gp_XYZ upper(thePoint.X() + myTolerance, thePoint.Y() + myTolerance,
                       thePoint.Z() + myTolerance);
    myCellFilter.Inspect(lower, upper, myInspector);

    // 2. The first reported candidate wins.
    if (!myInspector.Results().IsEmpty())
    {
      myIsLastNew = false;
      return myInspector.Results().First();
    }
  }

  // 3. Otherwise the point becomes a new node, registered in the cell that contains it.
  myNodes.push_back(thePoint);
  const int index = static_cast<int>(myNodes.size());
  if (finite)
  {
    myCellFilter.Add(index, thePoint.XYZ());
  }
  myIsLastNew = true;
  return index;
}

void algoMesh_NodesMerger::registerNodes()
{
  // Registering the nodes in their original order reproduces every cell's list in the
  // same order, so a copy picks the same candidates as its original.
  for (size_t i = 0; i < myNodes.size(); ++i)
  {
    if (isFinite(myNodes[i]))
    {
      myCellFilter.Add(static_cast<int>(i) + 1, myNodes[i].XYZ());
    }
  }
}

void algoMesh_NodesMerger::resetCellFilter()
{
  myCellFilter.Reset(myTolerance, new NCollection_IncAllocator(THE_CELL_BLOCK_SIZE));
}
