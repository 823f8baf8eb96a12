// Cell grid with a fixed candidate order, blocked for speed.
//
// The answer is defined by a cell-by-cell inspection in (z, y, x) order, newest point
// first inside a cell. A query box of half-width tol with cell size tol touches up to 27
// cells, and probing each one in a hash map costs a cache miss. Grouping 8 x 8 x 8 cells
// per hash entry lets a query touch usually one or two entries; each candidate found there
// is checked against the query's cell range and the tolerance, and the winner is the one
// with the smallest (or largest) key (cell z, cell y, cell x, newest first) — exactly the
// first (or last) candidate the cell-by-cell inspection would report. Cell coordinates of a
// stored point are recomputed only for candidates within the tolerance, which keeps the
// entries at 32 bytes.
#include <algoMesh_CellGrid.hxx>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace quorin;

namespace
{
// Cells per block along each axis, as a shift: 8 cells.
const int THE_BLOCK_SHIFT = 3;

// Quotients below this magnitude take the multiplication path of cellCoord(): far from the
// int range, and large enough for any coordinate a tolerance-sized cell can index there.
const double THE_FAST_CELL_LIMIT = 1073741824.0; // 2^30

// Filter bits per cache line.
const size_t THE_LINE_BITS = 512;

// Blocks stored before the filter's tile size is chosen from their spacing.
const size_t THE_TILE_SAMPLE = 4096;

// Largest tile, as a shift of blocks.
const int THE_MAX_TILE_SHIFT = 20;

// Smallest table, in slots.
const size_t THE_MIN_SLOTS = 64;

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
    : m_cellSize(cellSize), m_inverseCellSize(1.0 / cellSize), m_nbBlocks(0), m_tileShift(0),
      m_isTileChosen(false)
{
  rehash(THE_MIN_SLOTS);
}

void algoMesh_CellGrid::Clear()
{
  m_entries.clear();
  std::fill(m_slots.begin(), m_slots.end(), Slot{{0, 0, 0}, -1});
  std::fill(m_filter.begin(), m_filter.end(), 0);
  m_nbBlocks     = 0;
  m_tileShift    = 0;
  m_isTileChosen = false;
}

void algoMesh_CellGrid::Reserve(const size_t nbPoints)
{
  m_entries.reserve(nbPoints);
  // Exactly twice the points, not the next power of two: rounding up would make the
  // table, and its page faults, grow up to twice as fast as the input.
  if (2 * nbPoints > m_slots.size())
  {
    rehash(2 * nbPoints);
  }
}

int algoMesh_CellGrid::cellCoord(const double value) const
{
  // Multiplying by the inverse cell size costs a fraction of a division and truncates to
  // the same integer unless the quotient lies within a few units in the last place of an
  // integer, where the two roundings may fall on either side of it (both are within
  // 3.3e-16 relative of the exact quotient): those rare values take the division.
  const double scaled = value * m_inverseCellSize;
  if (std::fabs(scaled) < THE_FAST_CELL_LIMIT)
  {
    const int    cell     = static_cast<int>(scaled);
    const double fraction = std::fabs(scaled - cell);
    const double margin   = std::fabs(scaled) * 1e-15;
    if (fraction > margin && fraction < 1.0 - margin)
    {
      return cell;
    }
  }
  return exactCellCoord(value);
}

int algoMesh_CellGrid::exactCellCoord(const double value) const
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

size_t algoMesh_CellGrid::filterBit(const int block[3], const size_t hash) const
{
  const int tile[3] = {block[0] >> m_tileShift, block[1] >> m_tileShift, block[2] >> m_tileShift};
  const size_t line = scaled(hashBlock(tile), m_filter.size() * 64 / THE_LINE_BITS);
  return line * THE_LINE_BITS + (hash & (THE_LINE_BITS - 1));
}

bool algoMesh_CellGrid::mayHold(const int block[3], const size_t hash) const
{
  const size_t bit = filterBit(block, hash);
  return (m_filter[bit >> 6] >> (bit & 63)) & 1;
}

void algoMesh_CellGrid::chooseTiles()
{
  // 1. The typical distance, in blocks, between points stored one after the other: for a
  //    mesh read in file order the spacing of its nodes, for scattered points large.
  std::vector<int> steps;
  steps.reserve(m_entries.size());
  Probe previous, current;
  Locate(m_entries.front().point, 0.0, previous);
  for (size_t e = 1; e < m_entries.size(); ++e)
  {
    Locate(m_entries[e].point, 0.0, current);
    long long step = 0;
    for (int axis = 0; axis < 3; ++axis)
    {
      step = std::max(step, std::llabs(static_cast<long long>(current.own[axis]) -
                                       static_cast<long long>(previous.own[axis])));
    }
    steps.push_back(static_cast<int>(std::min<long long>(step, INT_MAX)));
    previous = current;
  }
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  const long long spacing = steps.empty() ? 0 : steps[steps.size() / 2];

  // 2. Tiles about four spacings wide hold a few tens of blocks of a surface, far fewer
  //    than a line's bits, and the next points mostly fall in the same or a recent tile.
  int shift = 0;
  while (shift < THE_MAX_TILE_SHIFT && (1LL << shift) < 4 * spacing)
  {
    ++shift;
  }
  m_tileShift    = shift;
  m_isTileChosen = true;

  // 3. The filter again with these tiles; the stored points tell which blocks are held.
  std::fill(m_filter.begin(), m_filter.end(), 0);
  for (const Entry& entry : m_entries)
  {
    Locate(entry.point, 0.0, current);
    const size_t bit = filterBit(current.own, hashBlock(current.own));
    m_filter[bit >> 6] |= uint64_t(1) << (bit & 63);
  }
}

size_t algoMesh_CellGrid::slotOf(const int block[3], const size_t hash) const
{
  const size_t nbSlots = m_slots.size();
  for (size_t s = homeSlot(hash);; s = s + 1 == nbSlots ? 0 : s + 1)
  {
    const Slot& slot = m_slots[s];
    if (slot.head < 0 ||
        (slot.key[0] == block[0] && slot.key[1] == block[1] && slot.key[2] == block[2]))
    {
      return s;
    }
  }
}

void algoMesh_CellGrid::rehash(const size_t nbSlots)
{
  std::vector<Slot, algoMesh_LargeAllocator<Slot>> old(nbSlots, Slot{{0, 0, 0}, -1});
  old.swap(m_slots);
  m_filter.assign((nbSlots + 127) / 128 * 8, 0); // 4 bits per slot, whole lines
  for (const Slot& slot : old)
  {
    if (slot.head >= 0)
    {
      const size_t hash               = hashBlock(slot.key);
      m_slots[slotOf(slot.key, hash)] = slot;
      const size_t bit                = filterBit(slot.key, hash);
      m_filter[bit >> 6] |= uint64_t(1) << (bit & 63);
    }
  }
}

void algoMesh_CellGrid::Locate(const gp_XYZ& point, const double tolerance, Probe& probe) const
{
  probe.isValid = isFinite(point);
  if (!probe.isValid)
  {
    return;
  }
  // The inspected cell range is computed from the box corners, as the cell filter does.
  for (int axis = 0; axis < 3; ++axis)
  {
    const double value = point.Coord(axis + 1);
    probe.lower[axis]  = cellCoord(value - tolerance);
    probe.upper[axis]  = cellCoord(value + tolerance);
    probe.own[axis]    = cellCoord(value) >> THE_BLOCK_SHIFT;
  }
}

void algoMesh_CellGrid::Add(const gp_XYZ& point, const int id, const Probe& probe)
{
  if (!probe.isValid)
  {
    return;
  }
  // Keep the table at most half full so that probe chains stay short.
  if (2 * (m_nbBlocks + 1) > m_slots.size())
  {
    rehash(2 * m_slots.size());
  }
  const size_t hash = hashBlock(probe.own);
  Slot&        slot = m_slots[slotOf(probe.own, hash)];
  if (slot.head < 0)
  {
    std::copy(probe.own, probe.own + 3, slot.key);
    ++m_nbBlocks;
    const size_t bit = filterBit(probe.own, hash);
    m_filter[bit >> 6] |= uint64_t(1) << (bit & 63);
  }
  // Entries are numbered in insertion order, so a larger entry number means newer.
  m_entries.push_back(Entry{point, slot.head, id});
  slot.head = static_cast<int>(m_entries.size()) - 1;
  if (!m_isTileChosen && m_nbBlocks >= THE_TILE_SAMPLE)
  {
    chooseTiles();
  }
}

void algoMesh_CellGrid::Prefetch(const Probe& probe) const
{
  if (!probe.isValid)
  {
    return;
  }
  // A look-up tests the filter bits of the blocks its box touches, the point's own block
  // always and a neighbour now and then; an insertion then writes the own block's slot.
  // Requesting more than these two lines per point floods the memory system.
  const size_t hash = hashBlock(probe.own);
  __builtin_prefetch(&m_filter[filterBit(probe.own, hash) >> 6]);
  __builtin_prefetch(&m_slots[homeSlot(hash)], 1);
}

int algoMesh_CellGrid::find(const gp_XYZ& point,
                            const double  tolerance,
                            const Probe&  probe,
                            const bool    last) const
{
  if (m_entries.empty() || !probe.isValid)
  {
    return -1;
  }
  // 1. The inspected cell range; a range that wrapped around the int limits is empty, as
  //    for the cell filter, which then visits nothing.
  const int* lower = probe.lower;
  const int* upper = probe.upper;
  if (lower[0] > upper[0] || lower[1] > upper[1] || lower[2] > upper[2])
  {
    return -1;
  }

  // 2. Scan the blocks that hold those cells; keep the candidate first (or last) in the
  //    visiting order: smallest (largest) cell z, y, x, and newest (oldest) in a cell.
  const double sqTolerance = tolerance * tolerance;
  int          best        = -1;
  int          bestCell[3] = {0, 0, 0};
  int          block[3];
  for (block[2] = lower[2] >> THE_BLOCK_SHIFT; block[2] <= upper[2] >> THE_BLOCK_SHIFT; ++block[2])
  {
    for (block[1] = lower[1] >> THE_BLOCK_SHIFT; block[1] <= upper[1] >> THE_BLOCK_SHIFT;
         ++block[1])
    {
      for (block[0] = lower[0] >> THE_BLOCK_SHIFT; block[0] <= upper[0] >> THE_BLOCK_SHIFT;
           ++block[0])
      {
        const size_t hash = hashBlock(block);
        if (!mayHold(block, hash))
        {
          continue;
        }
        for (int e = m_slots[slotOf(block, hash)].head; e >= 0; e = m_entries[e].next)
        {
          const Entry& entry = m_entries[e];
          if (sqTolerance < (entry.point - point).SquareModulus())
          {
            continue;
          }
          const int cell[3] = {cellCoord(entry.point.X()), cellCoord(entry.point.Y()),
                               cellCoord(entry.point.Z())};
          if (cell[0] < lower[0] || cell[0] > upper[0] || cell[1] < lower[1] ||
              cell[1] > upper[1] || cell[2] < lower[2] || cell[2] > upper[2])
          {
            continue;
          }
          bool before = true;
          if (best >= 0)
          {
            if (cell[2] != bestCell[2])
              before = cell[2] < bestCell[2];
            else if (cell[1] != bestCell[1])
              before = cell[1] < bestCell[1];
            else if (cell[0] != bestCell[0])
              before = cell[0] < bestCell[0];
            else
              before = e > best;
            before = before != last;
          }
          if (before)
          {
            best = e;
            std::copy(cell, cell + 3, bestCell);
          }
        }
      }
    }
  }
  return best < 0 ? -1 : m_entries[best].id;
}
