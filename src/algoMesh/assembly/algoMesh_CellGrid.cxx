// Cell grid with a fixed candidate order, blocked for speed.
//
// The answer is defined by a cell-by-cell inspection in (z, y, x) order, newest point
// first inside a cell. A query box of half-width tol with cell size tol touches up to 27
// cells, and probing each one in a hash map costs a cache miss. Grouping 8 x 8 x 8 cells
// per hash entry lets a query touch usually one or two entries; each candidate found there
// is checked against the query's cell range and the tolerance, and the winner is the one
// with the smallest (or largest) key (cell z, cell y, cell x, newest first) — exactly the
// first (or last) candidate the cell-by-cell inspection would report. Cell coordinates of a
// stored point are recomputed only for candidates within the tolerance, and only when the
// query's box faces lie within rounding of a cell boundary or two candidates are ordered,
// which keeps the entries at 32 bytes.
#include <algoMesh_CellGrid.hxx>

#include <algorithm>
#include <climits>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace quorin;

namespace
{
// Cells per block along each axis, as a shift: 8 cells.
const int THE_BLOCK_SHIFT = 3;

// Quotients below this magnitude take the multiplication path of cellCoord(): far from the
// int range, and large enough for any coordinate a tolerance-sized cell can index there.
const double THE_FAST_CELL_LIMIT = 1073741824.0; // 2^30

// Relative distance from an integer beyond which a quotient computed by multiplication
// truncates as the division does (both are within 3.3e-16 relative of the exact quotient).
const double THE_FAST_MARGIN = 1.0e-15;

// Relative distance from an integer beyond which a box face stays in its cell whatever the
// rounding of the face, of a stored coordinate and of the distance test (a few units in
// the last place each): far above those, far below what real coordinates meet.
const double THE_CLEAN_MARGIN = 1.0e-12;

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

// Truncates two quotients to cells, as cellCoord() does on its fast path, and answers a
// two-bit mask of the lanes whose quotient is inside the fast range and clear of an
// integer by `margin` times its magnitude plus `offset`: there the truncation equals the
// division's, and with the wider margin of a clean probe no rounding of a box face, of a
// stored coordinate or of the distance test (a few units in the last place each) can
// carry a value across the integer. Near zero both sides truncate to cell 0, so a zero
// cell needs no clearance from below. Two lanes per call match the processor's vector
// registers, which makes the nine cell coordinates of a look-up cost about as much as
// three.
#if defined(__SSE2__)
int truncatePair(
    const double first, const double second, const double margin, const double offset, int cells[2])
{
  const __m128d quotient  = _mm_set_pd(second, first);
  const __m128d noSign    = _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX));
  const __m128d one       = _mm_set1_pd(1.0);
  const __m128d magnitude = _mm_and_pd(quotient, noSign);
  const __m128d isSmall   = _mm_cmplt_pd(magnitude, _mm_set1_pd(THE_FAST_CELL_LIMIT));
  // Lanes beyond the fast range are zeroed, which keeps their conversion defined.
  const __m128d bounded  = _mm_and_pd(quotient, isSmall);
  const __m128i cell     = _mm_cvttpd_epi32(bounded);
  const __m128d fraction = _mm_and_pd(_mm_sub_pd(bounded, _mm_cvtepi32_pd(cell)), noSign);
  const __m128d clearance =
      _mm_add_pd(_mm_mul_pd(magnitude, _mm_set1_pd(margin)), _mm_set1_pd(offset));
  const __m128d isZero  = _mm_cmplt_pd(magnitude, one);
  const __m128d isAbove = _mm_or_pd(_mm_cmpgt_pd(fraction, clearance), isZero);
  const __m128d isBelow = _mm_cmplt_pd(fraction, _mm_sub_pd(one, clearance));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(cells), cell);
  return _mm_movemask_pd(_mm_and_pd(isSmall, _mm_and_pd(isAbove, isBelow)));
}
#else
int truncatePair(
    const double first, const double second, const double margin, const double offset, int cells[2])
{
  const double quotients[2] = {first, second};
  int          mask         = 0;
  for (int lane = 0; lane < 2; ++lane)
  {
    const double magnitude = std::fabs(quotients[lane]);
    cells[lane]            = 0;
    if (!(magnitude < THE_FAST_CELL_LIMIT))
    {
      continue;
    }
    cells[lane]            = static_cast<int>(quotients[lane]);
    const double fraction  = std::fabs(quotients[lane] - cells[lane]);
    const double clearance = magnitude * margin + offset;
    if ((fraction > clearance || cells[lane] == 0) && fraction < 1.0 - clearance)
    {
      mask |= 1 << lane;
    }
  }
  return mask;
}
#endif

// Truncates the point's three coordinates to cells as cellCoord() does on its fast path;
// true when all three took it.
bool truncatePoint(const gp_XYZ& point, const double inverse, int cells[4])
{
  return truncatePair(point.X() * inverse, point.Y() * inverse, THE_FAST_MARGIN, 0.0, cells) +
             truncatePair(point.Z() * inverse, 0.0, THE_FAST_MARGIN, 0.0, cells + 2) ==
         3 * 2;
}

// Sets the probe's own cell, with its block and that block's hash.
void setOwnCell(algoMesh_CellGrid::Probe& probe, const int cell[3])
{
  for (int axis = 0; axis < 3; ++axis)
  {
    probe.cell[axis] = cell[axis];
    probe.own[axis]  = cell[axis] >> THE_BLOCK_SHIFT;
  }
  probe.hash = hashBlock(probe.own);
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
  // Near zero both truncate to cell 0 whichever side of zero they fall.
  const double scaled = value * m_inverseCellSize;
  if (std::fabs(scaled) < THE_FAST_CELL_LIMIT)
  {
    const int    cell     = static_cast<int>(scaled);
    const double fraction = std::fabs(scaled - cell);
    const double margin   = std::fabs(scaled) * THE_FAST_MARGIN;
    if ((fraction > margin || cell == 0) && fraction < 1.0 - margin)
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
  probe.isValid      = isFinite(point);
  probe.isClean      = false;
  probe.isOwnInRange = false;
  probe.hasRange     = true;
  if (!probe.isValid)
  {
    return;
  }
  // 1. The box faces along each axis (the inspected cell range is computed from them, as
  //    the cell filter does) are truncated with the clean probe's margin, and the point
  //    itself with cellCoord()'s.
  const double xyz[3]      = {point.X(), point.Y(), point.Z()};
  const double inverse     = m_inverseCellSize;
  const double cleanOffset = (1.0 + tolerance * inverse) * THE_CLEAN_MARGIN;
  int          faces[3][2];
  int          own[4];
  int          passed = 0;
  for (int axis = 0; axis < 3; ++axis)
  {
    passed += truncatePair((xyz[axis] - tolerance) * inverse, (xyz[axis] + tolerance) * inverse,
                           THE_CLEAN_MARGIN, cleanOffset, faces[axis]);
  }
  const bool isOwnFast = truncatePoint(point, inverse, own);

  // 2. Every lane passed (a mask of 3 per pair): the probe is clean. Otherwise (rare for
  //    real coordinates) the cells are computed one by one, by the division where needed.
  probe.isClean = passed == 3 * 3 && isOwnFast;
  for (int axis = 0; axis < 3; ++axis)
  {
    probe.lower[axis] = probe.isClean ? faces[axis][0] : cellCoord(xyz[axis] - tolerance);
    probe.upper[axis] = probe.isClean ? faces[axis][1] : cellCoord(xyz[axis] + tolerance);
    own[axis]         = probe.isClean ? own[axis] : cellCoord(xyz[axis]);
  }
  setOwnCell(probe, own);
  probe.isOwnInRange = true;
  for (int axis = 0; axis < 3; ++axis)
  {
    probe.isOwnInRange = probe.isOwnInRange && probe.lower[axis] <= probe.cell[axis] &&
                         probe.cell[axis] <= probe.upper[axis];
  }
}

void algoMesh_CellGrid::LocateCell(const gp_XYZ& point, const double tolerance, Probe& probe) const
{
  // 1. The point's own cell, by cellCoord()'s fast path; the rare point that needs the
  //    division gets the full probe.
  const double inverse = m_inverseCellSize;
  int          own[4];
  if (!isFinite(point) || !truncatePoint(point, inverse, own))
  {
    Locate(point, tolerance, probe);
    return;
  }
  probe.isValid = true;
  probe.isClean = false;
  setOwnCell(probe, own);

  // 2. The box faces lie on either side of the point, and the cell rule is monotonic, so
  //    the own cell is in their range unless a face's quotient leaves the int range.
  const double reach =
      (std::max(std::fabs(point.X()), std::max(std::fabs(point.Y()), std::fabs(point.Z()))) +
       tolerance) *
      inverse;
  probe.isOwnInRange = reach < THE_FAST_CELL_LIMIT;
  probe.hasRange     = false;
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
  const size_t hash = probe.hash;
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
  // The own block's slot is what every look-up reads (and an insertion writes). The filter
  // bits are not requested: their tiles keep the lines of a stream of nearby points in the
  // cache, and a point equal to a stored one does not ask the filter at all, so computing
  // their place ahead cost more than it saved.
  __builtin_prefetch(&m_slots[homeSlot(probe.hash)], 1);
}

int algoMesh_CellGrid::FindEqual(const gp_XYZ& point, const Probe& probe) const
{
  // The filter is not asked first: the point mostly repeats a stored one, whose block the
  // filter would confirm, and the slot was fetched ahead anyway.
  if (m_entries.empty() || !probe.isValid || !probe.isOwnInRange)
  {
    return -1;
  }
  for (int e = m_slots[slotOf(probe.own, probe.hash)].head; e >= 0; e = m_entries[e].next)
  {
    const gp_XYZ& stored = m_entries[e].point;
    if (stored.X() == point.X() && stored.Y() == point.Y() && stored.Z() == point.Z())
    {
      return m_entries[e].id;
    }
  }
  return -1;
}

bool algoMesh_CellGrid::IsIsolated(const gp_XYZ& point,
                                   const double  tolerance,
                                   const Probe&  probe) const
{
  if (!probe.isValid || m_entries.empty())
  {
    return true;
  }
  // 1. A point within the tolerance by the distance test lies at most one cell beyond the
  //    inspected range along each axis: its quotient differs from the box face's by far
  //    less than a cell. This holds while no cell index wraps.
  const double reach =
      (tolerance + std::fabs(point.X()) + std::fabs(point.Y()) + std::fabs(point.Z())) *
      m_inverseCellSize;
  if (!(reach < THE_FAST_CELL_LIMIT))
  {
    return false;
  }
  // 2. Scan the blocks of the widened range for any such point.
  const double sqTolerance = tolerance * tolerance;
  int          first[3], last[3], block[3];
  for (int axis = 0; axis < 3; ++axis)
  {
    first[axis] = (probe.lower[axis] - 1) >> THE_BLOCK_SHIFT;
    last[axis]  = (probe.upper[axis] + 1) >> THE_BLOCK_SHIFT;
  }
  for (block[2] = first[2]; block[2] <= last[2]; ++block[2])
  {
    for (block[1] = first[1]; block[1] <= last[1]; ++block[1])
    {
      for (block[0] = first[0]; block[0] <= last[0]; ++block[0])
      {
        const size_t hash = hashBlock(block);
        if (!mayHold(block, hash))
        {
          continue;
        }
        for (int e = m_slots[slotOf(block, hash)].head; e >= 0; e = m_entries[e].next)
        {
          if ((m_entries[e].point - point).SquareModulus() <= sqTolerance)
          {
            return false;
          }
        }
      }
    }
  }
  return true;
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
  //    visiting order: smallest (largest) cell z, y, x, and newest (oldest) in a cell. The
  //    cells of a candidate are computed only when needed: to check that it lies in the
  //    range when the probe is not clean, and to order it against another candidate.
  const double sqTolerance = tolerance * tolerance;
  auto         cellsOf     = [this](const int e, int cell[3])
  {
    const gp_XYZ& stored = m_entries[e].point;
    cell[0]              = cellCoord(stored.X());
    cell[1]              = cellCoord(stored.Y());
    cell[2]              = cellCoord(stored.Z());
  };
  int  best            = -1;
  int  bestCell[3]     = {0, 0, 0};
  bool isBestCellKnown = false;
  int  block[3];
  for (block[2] = lower[2] >> THE_BLOCK_SHIFT; block[2] <= upper[2] >> THE_BLOCK_SHIFT; ++block[2])
  {
    for (block[1] = lower[1] >> THE_BLOCK_SHIFT; block[1] <= upper[1] >> THE_BLOCK_SHIFT;
         ++block[1])
    {
      for (block[0] = lower[0] >> THE_BLOCK_SHIFT; block[0] <= upper[0] >> THE_BLOCK_SHIFT;
           ++block[0])
      {
        const bool isOwn =
            block[0] == probe.own[0] && block[1] == probe.own[1] && block[2] == probe.own[2];
        const size_t hash = isOwn ? probe.hash : hashBlock(block);
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
          int  cell[3];
          bool isCellKnown = !probe.isClean;
          if (isCellKnown)
          {
            cellsOf(e, cell);
            if (cell[0] < lower[0] || cell[0] > upper[0] || cell[1] < lower[1] ||
                cell[1] > upper[1] || cell[2] < lower[2] || cell[2] > upper[2])
            {
              continue;
            }
          }
          if (best < 0)
          {
            best = e;
            if (isCellKnown)
            {
              std::copy(cell, cell + 3, bestCell);
            }
            isBestCellKnown = isCellKnown;
            continue;
          }
          if (!isCellKnown)
          {
            cellsOf(e, cell);
          }
          if (!isBestCellKnown)
          {
            cellsOf(best, bestCell);
            isBestCellKnown = true;
          }
          bool before;
          if (cell[2] != bestCell[2])
            before = cell[2] < bestCell[2];
          else if (cell[1] != bestCell[1])
            before = cell[1] < bestCell[1];
          else if (cell[0] != bestCell[0])
            before = cell[0] < bestCell[0];
          else
            before = e > best;
          if (before != last)
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
