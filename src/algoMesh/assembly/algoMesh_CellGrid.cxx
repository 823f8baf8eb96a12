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

size_t hashBlock(const int key[3])
{
  uint64_t h = static_cast<uint32_t>(key[0]) * 0x9E3779B97F4A7C15ULL;
  h ^= static_cast<uint32_t>(key[1]) * 0xC2B2AE3D27D4EB4FULL;
  h ^= static_cast<uint32_t>(key[2]) * 0x165667B19E3779F9ULL;
  return static_cast<size_t>(h ^ (h >> 29));
}

bool isFinite(const gp_XYZ& point)
{
  return std::isfinite(point.X()) && std::isfinite(point.Y()) && std::isfinite(point.Z());
}
} // namespace

algoMesh_CellGrid::algoMesh_CellGrid(const double cellSize)
    : m_cellSize(cellSize), m_slots(64, Slot{{0, 0, 0}, -1}), m_nbBlocks(0)
{
}

void algoMesh_CellGrid::Clear()
{
  m_entries.clear();
  std::fill(m_slots.begin(), m_slots.end(), Slot{{0, 0, 0}, -1});
  m_nbBlocks = 0;
}

void algoMesh_CellGrid::Reserve(const size_t nbPoints)
{
  m_entries.reserve(nbPoints);
}

int algoMesh_CellGrid::cellCoord(const double value) const
{
  // Values beyond the int range wrap around as in the kernel's cell filter, so that
  // candidates near such coordinates are the same as it would report.
  const double scaled = value / m_cellSize;
  if (scaled > INT_MAX - 1)
  {
    return static_cast<int>(std::fmod(scaled, static_cast<double>(INT_MAX)));
  }
  if (scaled < INT_MIN + 1)
  {
    return static_cast<int>(std::fmod(scaled, static_cast<double>(INT_MIN)));
  }
  return static_cast<int>(scaled);
}

size_t algoMesh_CellGrid::slotOf(const int block[3]) const
{
  const size_t mask = m_slots.size() - 1;
  for (size_t s = hashBlock(block) & mask;; s = (s + 1) & mask)
  {
    const Slot& slot = m_slots[s];
    if (slot.head < 0 ||
        (slot.key[0] == block[0] && slot.key[1] == block[1] && slot.key[2] == block[2]))
    {
      return s;
    }
  }
}

void algoMesh_CellGrid::grow()
{
  std::vector<Slot> old(m_slots.size() * 2, Slot{{0, 0, 0}, -1});
  old.swap(m_slots);
  for (const Slot& slot : old)
  {
    if (slot.head >= 0)
    {
      m_slots[slotOf(slot.key)] = slot;
    }
  }
}

void algoMesh_CellGrid::Add(const gp_XYZ& point, const int id)
{
  if (!isFinite(point))
  {
    return;
  }
  Entry entry;
  entry.point        = point;
  entry.cell[0]      = cellCoord(point.X());
  entry.cell[1]      = cellCoord(point.Y());
  entry.cell[2]      = cellCoord(point.Z());
  entry.id           = id;
  const int block[3] = {entry.cell[0] >> THE_BLOCK_SHIFT, entry.cell[1] >> THE_BLOCK_SHIFT,
                        entry.cell[2] >> THE_BLOCK_SHIFT};
  // Keep the table at most half full so that probe chains stay short.
  if (2 * (m_nbBlocks + 1) > m_slots.size())
  {
    grow();
  }
  Slot& slot = m_slots[slotOf(block)];
  if (slot.head < 0)
  {
    slot.key[0] = block[0];
    slot.key[1] = block[1];
    slot.key[2] = block[2];
    ++m_nbBlocks;
  }
  // Entries are numbered in insertion order, so a larger entry number means newer.
  entry.next = slot.head;
  slot.head  = static_cast<int>(m_entries.size());
  m_entries.push_back(entry);
}

int algoMesh_CellGrid::find(const gp_XYZ& point, const double tolerance, const bool last) const
{
  if (m_entries.empty() || !isFinite(point))
  {
    return -1;
  }
  // 1. The inspected cell range, as the cell filter computes it from the box corners.
  const int lower[3] = {cellCoord(point.X() - tolerance), cellCoord(point.Y() - tolerance),
                        cellCoord(point.Z() - tolerance)};
  const int upper[3] = {cellCoord(point.X() + tolerance), cellCoord(point.Y() + tolerance),
                        cellCoord(point.Z() + tolerance)};
  if (lower[0] > upper[0] || lower[1] > upper[1] || lower[2] > upper[2])
  {
    return -1; // a wrapped range: the cell filter visits nothing
  }

  // 2. Scan the blocks that hold those cells; keep the candidate first (or last) in the
  //    visiting order: smallest (largest) cell z, y, x, and newest (oldest) in a cell.
  const double sqTolerance = tolerance * tolerance;
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
        const Slot& slot = m_slots[slotOf(block)];
        for (int e = slot.head; e >= 0; e = m_entries[e].next)
        {
          const Entry& entry = m_entries[e];
          if (entry.cell[0] < lower[0] || entry.cell[0] > upper[0] || entry.cell[1] < lower[1] ||
              entry.cell[1] > upper[1] || entry.cell[2] < lower[2] || entry.cell[2] > upper[2])
          {
            continue;
          }
          if (sqTolerance < (entry.point - point).SquareModulus())
          {
            continue;
          }
          if (best < 0)
          {
            best = e;
            continue;
          }
          const Entry& other = m_entries[best];
          bool         before;
          if (entry.cell[2] != other.cell[2])
            before = entry.cell[2] < other.cell[2];
          else if (entry.cell[1] != other.cell[1])
            before = entry.cell[1] < other.cell[1];
          else if (entry.cell[0] != other.cell[0])
            before = entry.cell[0] < other.cell[0];
          else
            before = e > best;
          if (before != last)
          {
            best = e;
          }
        }
      }
    }
  }
  return best < 0 ? -1 : m_entries[best].id;
}
