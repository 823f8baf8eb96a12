// Uniform cell grid over points for coincidence look-ups within a tolerance.
#ifndef algoMesh_CellGrid_HeaderFile
#define algoMesh_CellGrid_HeaderFile

#include <algoMesh.hxx>

#include <gp_XYZ.hxx>

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
//! bounded number of points. Expected cost O(1) per query and per insertion.
class algoMesh_EXPORT algoMesh_CellGrid
{
public:
  //! @param[in] theCellSize cell size, positive and finite (the merge tolerance).
  explicit algoMesh_CellGrid(const double theCellSize);

  //! Forgets every point; memory is kept for reuse.
  void Clear();

  //! Reserves room for `theNbPoints` points.
  void Reserve(const size_t theNbPoints);

  //! Stores a point with its identifier; it goes to the front of its cell.
  //! Non-finite points are ignored (they have no cell).
  void Add(const gp_XYZ& thePoint, const int theId);

  //! Identifier of the first stored point within `theTolerance` of `thePoint` (distance
  //! at most the tolerance) in the visiting order, or -1 when there is none.
  int FindFirst(const gp_XYZ& thePoint, const double theTolerance) const
  {
    return find(thePoint, theTolerance, false);
  }

  //! Identifier of the last such point in the visiting order, or -1.
  int FindLast(const gp_XYZ& thePoint, const double theTolerance) const
  {
    return find(thePoint, theTolerance, true);
  }

  //! Number of stored points.
  int NbPoints() const { return static_cast<int>(myEntries.size()); }

private:
  struct Entry
  {
    gp_XYZ point;
    int    cell[3]; //!< cell coordinates x, y, z
    int    next;    //!< next entry of the same block (0-based), -1 at the end
    int    id;
  };

  struct Slot
  {
    int key[3]; //!< block coordinates x, y, z
    int head;   //!< first entry of the block, -1 when the slot is empty
  };

  //! Cell coordinate of a coordinate value, by the kernel cell filter's rule.
  int cellCoord(const double theValue) const;

  //! Slot of a block, or of the empty slot where it would go.
  size_t slotOf(const int theBlock[3]) const;

  //! Doubles the table and re-inserts the blocks.
  void grow();

  int find(const gp_XYZ& thePoint, const double theTolerance, const bool theLast) const;

private:
  double             myCellSize;
  std::vector<Entry> myEntries;
  std::vector<Slot>  mySlots; //!< power-of-two size
  size_t             myNbBlocks;
};

} // namespace quorin

#endif
