// Coincident-node merging over a uniform cell grid.
//
// Each point is looked up in a cell grid whose cell size equals the tolerance
// (algoMesh_CellGrid): the first stored node within the tolerance, in the grid's fixed
// visiting order, is the point's node. A point with no such node becomes a new node and is
// registered in its own cell. Cost: O(1) expected per point for well-spread input, O(n)
// for n points.
#include <algoMesh_NodesMerger.hxx>

#include <cmath>

using namespace quorin;

namespace
{
double validTolerance(const double theTolerance)
{
  return (std::isfinite(theTolerance) && theTolerance > 0.0) ? theTolerance : algoMesh_Tolerance;
}
} // namespace

algoMesh_NodesMerger::algoMesh_NodesMerger(const double theTolerance)
    : myTolerance(validTolerance(theTolerance)), myGrid(myTolerance), myIsLastNew(false)
{
}

void algoMesh_NodesMerger::Clear()
{
  myNodes.clear();
  myIndices.clear();
  myGrid.Clear();
  myIsLastNew = false;
}

void algoMesh_NodesMerger::Reserve(const size_t theNbPoints)
{
  myNodes.reserve(theNbPoints);
  myIndices.reserve(theNbPoints);
  myGrid.Reserve(theNbPoints);
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
  // 1. The first stored node within the tolerance wins (not necessarily the nearest).
  const int found = myGrid.FindFirst(thePoint.XYZ(), myTolerance);
  if (found > 0)
  {
    myIsLastNew = false;
    return found;
  }

  // 2. Otherwise the point becomes a new node. A non-finite point gets no cell and thus
  //    never absorbs a later point.
  myNodes.push_back(thePoint);
  const int index = static_cast<int>(myNodes.size());
  myGrid.Add(thePoint.XYZ(), index);
  myIsLastNew = true;
  return index;
}
