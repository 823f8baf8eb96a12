// Uniform cell grid over points for coincidence look-ups within a tolerance.
#ifndef algoMesh_CellGrid_HeaderFile
#define algoMesh_CellGrid_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <gp_XYZ.hxx>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace quorin
{

//! Stores points with integer identifiers in cells of a uniform grid whose cell size is the
//! tolerance, and finds a stored point within the tolerance of a query point.
//!
//! Which candidate is answered when several lie within the tolerance is fixed: the grid
//! behaves as the kernel's cell filter (NCollection_CellFilter) holding each point in the
//! single cell that contains it and inspecting the box of half-width tolerance around the
//! query. A cell coordinate is coordinate / cell size truncated toward zero, folded into
//! the int range by the kernel's rule; cells are visited with z outermost, then y, then x,
//! each ascending, and inside a cell the most recently added point comes first.
//! FindFirst() answers the first candidate met in that order, FindLast() the last one.
//!
//! Speed: instead of probing up to 27 cells per query, cells are grouped into blocks of
//! 8 x 8 x 8 held in an open-addressing hash table, and a query scans the one to eight
//! blocks its box touches, keeping the candidate that comes first (or last) in the visiting
//! order. Stored points are more than a tolerance apart in the callers, so a block holds a
//! bounded number of points. A bit filter beside the table (eight or more bits per block)
//! answers most probes of empty blocks without touching the table, which is what a query
//! for a new point mostly meets. The table's slots are spread at random, but the filter
//! keeps the blocks of one tile in one cache line, the tile a few times the spacing of the
//! first 4096 blocks stored: points that arrive in spatial order (a mesh's corners in file
//! order) then keep meeting the same few lines, also when the filter is larger than the
//! caches. The cell coordinates of a query are computed two at a time with vector
//! instructions; when its box faces are clear of cell boundaries (nearly always) every
//! stored point within the tolerance lies in the inspected range, so candidates need no
//! range check, and their cells are computed only to order two of them. Expected cost O(1)
//! per query and per insertion.
class algoMesh_EXPORT algoMesh_CellGrid
{
public:
  //! The tolerance to merge at: `tolerance` when it is a positive finite length, else
  //! algoMesh_Tolerance, since a zero, negative or non-finite cell size is meaningless.
  static double ValidTolerance(const double tolerance)
  {
    return (std::isfinite(tolerance) && tolerance > 0.0) ? tolerance : algoMesh_Tolerance;
  }

  //! @param[in] cellSize cell size, positive and finite (the merge tolerance).
  explicit algoMesh_CellGrid(const double cellSize);

  //! Forgets every point; memory is kept for reuse.
  void Clear();

  //! Reserves room for `nbPoints` points, and sizes the block table for as many blocks
  //! (the case of well-spread points), so that it does not grow while they are added.
  void Reserve(const size_t nbPoints);

  //! Where a query lies: the cell range inspected around it and the block of its own
  //! cell. Computed once by Locate(), it serves the prefetch, the look-up and the
  //! insertion of the same point.
  struct Probe
  {
    int    lower[3]; //!< first inspected cell along x, y, z
    int    upper[3]; //!< last inspected cell along x, y, z
    int    cell[3];  //!< the point's own cell
    int    own[3];   //!< block of that cell
    size_t hash;     //!< hash of that block
    bool   isValid;  //!< false for a non-finite point: it has no cell
    //! True when every stored point within the tolerance of the query, by the distance
    //! test, surely lies in the inspected cell range: the box's faces are clear of cell
    //! boundaries by more than rounding can move a coordinate, and no cell index wraps.
    //! Then a query finds every such point, and no range check is needed.
    bool isClean;
    //! True when the point's own cell lies in the inspected range (no cell index wrapped
    //! between them), so that a stored point equal to it is a candidate.
    bool isOwnInRange;
    //! False after LocateCell(): the range fields and isClean are not computed yet.
    bool hasRange;
  };

  //! Locates `point` for a look-up within `tolerance`.
  void Locate(const gp_XYZ& point, const double tolerance, Probe& probe) const;

  //! The cheaper part of Locate(): the point's own cell, its block and whether the cell lies
  //! in the range, enough for Prefetch(), FindEqual() and Add(). CompleteRange() adds the
  //! rest when a full look-up is needed.
  void LocateCell(const gp_XYZ& point, const double tolerance, Probe& probe) const;

  //! Completes a probe made by LocateCell() with the same point and tolerance; a complete
  //! probe is left as it is.
  void CompleteRange(const gp_XYZ& point, const double tolerance, Probe& probe) const
  {
    if (!probe.hasRange)
    {
      Locate(point, tolerance, probe);
    }
  }

  //! Stores a point with its identifier; it goes to the front of its cell.
  //! Non-finite points are ignored (they have no cell).
  void Add(const gp_XYZ& point, const int id)
  {
    Probe probe;
    Locate(point, 0.0, probe);
    Add(point, id, probe);
  }

  //! The same with the point's probe (any tolerance), already located.
  void Add(const gp_XYZ& point, const int id, const Probe& probe);

  //! Starts fetching the memory that a look-up of a located point and its insertion will
  //! touch first (its block's table slot). A hint that changes no result: callers that
  //! know the next points ahead overlap the memory latency of several look-ups.
  void Prefetch(const Probe& probe) const;

  //! The same for a point not located yet.
  void Prefetch(const gp_XYZ& point, const double tolerance) const
  {
    Probe probe;
    Locate(point, tolerance, probe);
    Prefetch(probe);
  }

  //! Identifier of the first stored point within `tolerance` of `point` (distance
  //! at most the tolerance) in the visiting order, or -1 when there is none.
  int FindFirst(const gp_XYZ& point, const double tolerance) const
  {
    Probe probe;
    Locate(point, tolerance, probe);
    return find(point, tolerance, probe, false);
  }

  //! The same with the point's probe, located with the same tolerance.
  int FindFirst(const gp_XYZ& point, const double tolerance, const Probe& probe) const
  {
    return find(point, tolerance, probe, false);
  }

  //! Identifier of the last such point in the visiting order, or -1.
  int FindLast(const gp_XYZ& point, const double tolerance) const
  {
    Probe probe;
    Locate(point, tolerance, probe);
    return find(point, tolerance, probe, true);
  }

  //! The same with the point's probe, located with the same tolerance.
  int FindLast(const gp_XYZ& point, const double tolerance, const Probe& probe) const
  {
    return find(point, tolerance, probe, true);
  }

  //! Identifier of the newest stored point equal to `point` coordinate for coordinate,
  //! looked for in the point's own block only, or -1; also -1 when the point's own cell
  //! lies outside its inspected range (cell indices wrapped), where an equal point is no
  //! candidate. The probe may come from LocateCell(). Cheaper than FindFirst(): callers that know
  //! no other stored point can lie within the tolerance of a stored one use it to skip the
  //! neighbouring blocks.
  int FindEqual(const gp_XYZ& point, const Probe& probe) const;

  //! True when no stored point lies within `tolerance` of `point` by the distance test,
  //! wherever its cell; false also when that cannot be told cheaply (cell indices near the
  //! int range). Scans one cell further than a look-up, to reach the points that rounding
  //! keeps out of the inspected range of an unclean probe.
  bool IsIsolated(const gp_XYZ& point, const double tolerance, const Probe& probe) const;

  //! Number of stored points.
  int NbPoints() const { return static_cast<int>(m_entries.size()); }

private:
  struct Entry
  {
    gp_XYZ point;
    int    next; //!< next entry of the same block (0-based), -1 at the end
    int    id;
  };

  struct Slot
  {
    int key[3]; //!< block coordinates x, y, z
    int head;   //!< first entry of the block, -1 when the slot is empty
  };

  //! Cell coordinate of a coordinate value, by the kernel cell filter's rule.
  int cellCoord(const double value) const;

  //! The same by the rule's own division, for quotients near an integer or the int range.
  int exactCellCoord(const double value) const;

  //! Slot of a block, or of the empty slot where it would go.
  size_t slotOf(const int block[3], const size_t hash) const;

  //! Scales a hash to [0, range) by the high half of their product, which needs no
  //! power-of-two range and costs a multiplication instead of a division.
  static size_t scaled(const uint64_t hash, const size_t range)
  {
    return static_cast<size_t>((static_cast<unsigned __int128>(hash) * range) >> 64);
  }

  //! First slot probed for a block's hash.
  size_t homeSlot(const size_t hash) const { return scaled(hash, m_slots.size()); }

  //! Filter bit of a block: the blocks of one tile (2^m_tileShift blocks along each axis)
  //! share a cache line of the filter, so that a stream of nearby points keeps meeting the
  //! same few lines.
  size_t filterBit(const int block[3], const size_t hash) const;

  //! False when the block surely holds no point; true when it may.
  bool mayHold(const int block[3], const size_t hash) const;

  //! Sizes the filter's tiles from the spacing of the points stored so far, and rebuilds
  //! the filter for them.
  void chooseTiles();

  //! Sizes the table to `nbSlots` and re-inserts the blocks.
  void rehash(const size_t nbSlots);

  int find(const gp_XYZ& point, const double tolerance, const Probe& probe, const bool last) const;

private:
  double m_cellSize;
  double m_inverseCellSize;

  std::vector<Entry, algoMesh_LargeAllocator<Entry>> m_entries;
  std::vector<Slot, algoMesh_LargeAllocator<Slot>>   m_slots; //!< at most half full
  std::vector<uint64_t, algoMesh_LargeAllocator<uint64_t>>
         m_filter; //!< 4 bits per slot, whole lines
  size_t m_nbBlocks;
  int    m_tileShift;    //!< blocks per filter tile along each axis, as a shift
  bool   m_isTileChosen; //!< false until enough points were stored to choose the tiles
};

} // namespace quorin

#endif
