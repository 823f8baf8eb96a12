// Working copy of a poly data's cells and point-to-cell links for edge-collapse decimation.
#ifndef algoMesh_DecimationMesh_HeaderFile
#define algoMesh_DecimationMesh_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_MemoryAdvice.hxx>

#include <cstddef>
#include <cstdint>
#include <vector>

class vtkPolyData;

//! The cells of a vtkPolyData in flat arrays, with the same cell ids and the same
//! point-to-cell links (each point's cells in the order vtkPolyData::BuildLinks gives them and
//! its link edits keep), so that a decimation reading and editing it makes exactly the choices
//! it would make on the poly data itself, without the poly data's per-call dispatch and
//! per-edit reallocation.
//!
//! Triangles (three corners, cell type VTK_TRIANGLE) are stored three ids per cell; any other
//! cell (vertices, lines, strips, cells already deleted) keeps its point list aside. Edits
//! are recorded, and `Store` writes the edited cells back into the poly data once.
//!
//! Point and cell ids must fit in 32 bits. Cost: O(cells + corners) to load; memory about
//! 30 bytes per triangle besides the link lists (4 bytes per corner).
class algoMesh_EXPORT algoMesh_DecimationMesh
{
public:
  //! Reads the cells of `mesh` (built on demand) and builds the links. False when the ids do
  //! not fit in 32 bits.
  bool Load(vtkPolyData* mesh);

  //! Writes the cells edited since Load into `mesh`: deleted cells are deleted, rewired cells
  //! replaced. `mesh` must be the poly data of Load.
  void Store(vtkPolyData* mesh) const;

  //! Releases the storage.
  void Release();

  int32_t NbPoints() const { return static_cast<int32_t>(myLinks.size()); }
  int32_t NbCells() const { return static_cast<int32_t>(myTypes.size()); }

  //! VTK cell type of `cell` (VTK_EMPTY_CELL once deleted).
  unsigned char CellType(const int32_t cell) const { return myTypes[cell]; }

  //! True for a live triangle.
  bool IsTriangle(const int32_t cell) const { return myTypes[cell] == THE_TRIANGLE; }

  //! Corners of a triangle cell.
  const int32_t* Triangle(const int32_t cell) const { return myCorners.data() + 3 * size_t(cell); }

  //! Points of any cell; answers their number (0 for a deleted cell).
  int32_t CellPoints(const int32_t cell, const int32_t*& pts) const
  {
    if (myTypes[cell] == THE_TRIANGLE)
    {
      pts = Triangle(cell);
      return 3;
    }
    return otherPoints(cell, pts);
  }

  //! True when `pt` is a point of `cell`.
  bool UsesPoint(const int32_t cell, const int32_t pt) const
  {
    const int32_t* pts  = nullptr;
    const int32_t  npts = CellPoints(cell, pts);
    for (int32_t i = 0; i < npts; ++i)
    {
      if (pts[i] == pt)
      {
        return true;
      }
    }
    return false;
  }

  //! Cells using point `pt`.
  int32_t        NbPointCells(const int32_t pt) const { return myLinks[pt].Count; }
  const int32_t* PointCells(const int32_t pt) const { return myPool.data() + myLinks[pt].Start; }

  //! Starts fetching the link record of `pt`.
  void PrefetchLinks(const int32_t pt) const { __builtin_prefetch(myLinks.data() + pt); }

  //! Removes `cell` from the links of each of its points (one reference per occurrence).
  void RemoveCellReference(int32_t cell);

  //! Appends `cell` to the links of `pt`.
  void AddReferenceToCell(const int32_t pt, const int32_t cell)
  {
    Link& link = myLinks[pt];
    if (link.Count == link.Capacity)
    {
      grow(pt, 1);
    }
    myPool[link.Start + link.Count++] = cell;
  }

  //! Makes room for `extra` more cells in the links of `pt`.
  void ReserveCellList(const int32_t pt, const int32_t extra)
  {
    if (myLinks[pt].Count + extra > myLinks[pt].Capacity)
    {
      grow(pt, extra);
    }
  }

  //! Marks `cell` deleted (its references must be removed first).
  void DeleteCell(const int32_t cell)
  {
    myTypes[cell]  = THE_EMPTY;
    myEdited[cell] = 1;
  }

  //! Empties the links of `pt`.
  void DeletePoint(const int32_t pt) { myLinks[pt].Count = 0; }

  //! Replaces the points of `cell` by as many from `pts`.
  void ReplaceCellPoints(int32_t cell, const int32_t* pts);

private:
  //! Working arrays are read at random: on huge pages they spare the address-translation
  //! misses (see algoMesh_MemoryAdvice).
  template <class T> using LargeArray         = std::vector<T, quorin::algoMesh_LargeAllocator<T>>;
  static constexpr unsigned char THE_TRIANGLE = 5; // VTK_TRIANGLE
  static constexpr unsigned char THE_EMPTY    = 0; // VTK_EMPTY_CELL

  struct Link
  {
    int64_t Start    = 0;
    int32_t Count    = 0;
    int32_t Capacity = 0;
  };

  int32_t otherPoints(int32_t cell, const int32_t*& pts) const;
  void    grow(int32_t pt, int32_t extra);

  LargeArray<unsigned char>  myTypes;      //!< per cell
  std::vector<unsigned char> myEdited;     //!< per cell: deleted or rewired since Load
  LargeArray<int32_t>        myCorners;    //!< 3 per cell: triangle corners, else [0] = other index
  std::vector<int64_t>       myOtherStart; //!< point lists of the other cells
  std::vector<int32_t>       myOtherPoints;
  LargeArray<Link>           myLinks; //!< per point
  LargeArray<int32_t>        myPool;  //!< storage of all link lists
};

#endif
