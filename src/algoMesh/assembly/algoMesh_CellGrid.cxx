// Cell grid with a fixed candidate order, blocked for speed.
//
// The answer is defined by a cell-by-cell inspection in (z, y, x) order, newest point
// first inside a cell. A query box of half-width tol with cell size tol touches up to 27
// cells, and probing each one in a hash map costs a cache miss. Grouping 8 x 8 x 8 cells
// per hash entry lets a query touch usually one or two entries; each candidate found there
// is checked against the query's cell range and the tolerance, and the winner is the one
// with the smallest (or largest) key (cell z, cell y, cell x, newest first) — exactly the
// first (or last) candidate the cell-by-cell inspection would report.
#include <algoMesh_CellGrid.hxx>

#include <climits>
#include <cmath>

using namespace quorin;

namespace
{
// Cells per block along each axis, as a shift: 8 cells.
const int THE_BLOCK_SHIFT = 3;

size_t hashBlock(const int theKey[3])
{
  uint64_t h = static_cast<uint32_t>(theKey[0]) * 0x9E3779B97F4A7C15ULL;
  h ^= static_cast<uint32_t>(theKey[1]) * 0xC2B2AE3D27D4EB4FULL;
  h ^= static_cast<uint32_t>(theKey[2]) * 0x165667B19E3779F9ULL;
  return static_cast<size_t>(h ^ (h >> 29));
}

bool isFinite(const gp_XYZ& thePoint)
{
  return std::isfinite(thePoint.X()) && std::isfinite(thePoint.Y()) && std::isfinite(thePoint.Z());
}
} // namespace

algoMesh_CellGrid::algoMesh_CellGrid(const double theCellSize)
    : myCellSize(theCellSize), mySlots(64, Slot{{0, 0, 0}, -1}), myNbBlocks(0)
{
}

void algoMesh_CellGrid::Clear()
{
  myEntries.clear();
  std::fill(mySlots.begin(), mySlots.end(), Slot{{0, 0, 0}, -1});
  myNbBlocks = 0;
}

void algoMesh_CellGrid::Reserve(const size_t theNbPoints)
{
  myEntries.reserve(theNbPoints);
}

int algoMesh_CellGrid::cellCoord(const double theValue) const
{
  // Values beyond the int range wrap around as in the kernel's cell filter, so that
  // candidates near such coordinates are the same as it would report.
  const double value = theValue / myCellSize;
  if (value > INT_MAX - 1)
  {
    return static_cast<int>(std::fmod(value, static_cast<double>(INT_MAX)));
  }
  if (value < INT_MIN + 1)
  {
    return static_cast<int>(std::fmod(value, static_cast<double>(INT_MIN)));
  }
  return static_cast<int>(value);
}

size_t algoMesh_CellGrid::slotOf(const int theBlock[3]) const
{
  const size_t mask = mySlots.size() - 1;
  for (size_t s = hashBlock(theBlock) & mask;; s = (s + 1) & mask)
  {
    const Slot& slot = mySlots[s];
    if (slot.head < 0 ||
        (slot.key[0] == theBlock[0] && slot.key[1] == theBlock[1] && slot.key[2] == theBlock[2]))
    {
      return s;
    }
  }
}

void algoMesh_CellGrid::grow()
{
  std::vector<Slot> old(mySlots.size() * 2, Slot{{0, 0, 0}, -1});
  old.swap(mySlots);
  for (const Slot& slot : old)
  {
    if (slot.head >= 0)
    {
      mySlots[slotOf(slot.key)] = slot;
    }
  }
}

void algoMesh_CellGrid::Add(const gp_XYZ& thePoint, const int theId)
{
  if (!isFinite(thePoint))
  {
    return;
  }
  Entry entry;
  entry.point        = thePoint;
  entry.cell[0]      = cellCoord(thePoint.X());
  entry.cell[1]      = cellCoord(thePoint.Y());
  entry.cell[2]      = cellCoord(thePoint.Z());
  entry.id           = theId;
  const int block[3] = {entry.cell[0] >> THE_BLOCK_SHIFT, entry.cell[1] >> THE_BLOCK_SHIFT,
                        entry.cell[2] >> THE_BLOCK_SHIFT};
  // Keep the table at most half full so that probe chains stay short.
  if (2 * (myNbBlocks + 1) > mySlots.size())
  {
    grow();
  }
  Slot& slot = mySlots[slotOf(block)];
  if (slot.head < 0)
  {
    slot.key[0] = block[0];
    slot.key[1] = block[1];
    slot.key[2] = block[2];
    ++myNbBlocks;
  }
  // Entries are numbered in insertion order, so a larger entry number means newer.
  entry.next = slot.head;
  slot.head  = static_cast<int>(myEntries.size());
  myEntries.push_back(entry);
}

int algoMesh_CellGrid::find(const gp_XYZ& thePoint,
                            const double  theTolerance,
                            const bool    theLast) const
{
  if (myEntries.empty() || !isFinite(thePoint))
  {
    return -1;
  }
  // 1. The inspected cell range, as the cell filter computes it from the box corners.
  const int lower[3] = {cellCoord(thePoint.X() - theTolerance),
                        cellCoord(thePoint.Y() - theTolerance),
                        cellCoord(thePoint.Z() - theTolerance)};
  const int upper[3] = {cellCoord(thePoint.X() + theTolerance),
                        cellCoord(thePoint.Y() + theTolerance),
                        cellCoord(thePoint.Z() + theTolerance)};
  if (lower[0] > upper[0] || lower[1] > upper[1] || lower[2] > upper[2])
  {
    return -1; // a wrapped range: the cell filter visits nothing
  }

  // 2. Scan the blocks that hold those cells; keep the candidate first (or last) in the
  //    visiting order: smallest (largest) cell z, y, x, and newest (oldest) in a cell.
  const double sqTolerance = theTolerance * theTolerance;
  int          best        = -1;
  int          block[3];
  for (block[2] = lower[2] >> THE_BLOCK_SHIFT; block[2] <= upper[2] >> THE_BLOCK_SHIFT; ++block[2])
  {
    for (block[1] = lower[1] >> THE_BLOCK_SHIFT; block[1] <= upper[1] >> THE_BLOCK_SHIFT;
         ++block[1])
    {
      for (block[0] = lower[0] >> THE_BLOCK_SHIFT; block[0] <= upper[0] >> THE_BLOCK_SHIFT;
           ++block[0])
      {
        const Slot& slot = mySlots[slotOf(block)];
        for (int e = slot.head; e >= 0; e = myEntries[e].next)
        {
          const Entry& entry = myEntries[e];
          if (entry.cell[0] < lower[0] || entry.cell[0] > upper[0] || entry.cell[1] < lower[1] ||
              entry.cell[1] > upper[1] || entry.cell[2] < lower[2] || entry.cell[2] > upper[2])
          {
            continue;
          }
          if (sqTolerance < (entry.point - thePoint).SquareModulus())
          {
            continue;
          }
          if (best < 0)
          {
            best = e;
            continue;
          }
          const Entry& other = myEntries[best];
          bool         before;
          if (entry.cell[2] != other.cell[2])
            before = entry.cell[2] < other.cell[2];
          else if (entry.cell[1] != other.cell[1])
            before = entry.cell[1] < other.cell[1];
          else if (entry.cell[0] != other.cell[0])
            before = entry.cell[0] < other.cell[0];
          else
            before = e > best;
          if (before != theLast)
          {
            best = e;
          }
        }
      }
    }
  }
  return best < 0 ? -1 : myEntries[best].id;
}
