// Flat cells and links of a poly data under decimation: loading, link edits, storing back.
#include <algoMesh_DecimationMesh.hxx>

#include <vtkCellType.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <limits>

bool algoMesh_DecimationMesh::Load(vtkPolyData* mesh)
{
  const vtkIdType numPts   = mesh->GetNumberOfPoints();
  const vtkIdType numCells = mesh->GetNumberOfCells();
  if (numPts > std::numeric_limits<int32_t>::max() ||
      numCells > std::numeric_limits<int32_t>::max())
  {
    return false;
  }
  if (mesh->NeedToBuildCells())
  {
    mesh->BuildCells();
  }

  // 1. Cells in id order: triangles inline, any other cell aside; corners counted per point.
  myTypes.resize(static_cast<size_t>(numCells));
  myEdited.assign(static_cast<size_t>(numCells), 0);
  myCorners.assign(3 * static_cast<size_t>(numCells), 0);
  myOtherStart.assign(1, 0);
  myOtherPoints.clear();
  myLinks.assign(static_cast<size_t>(numPts), Link());
  for (vtkIdType cell = 0; cell < numCells; ++cell)
  {
    vtkIdType        npts = 0;
    const vtkIdType* pts  = nullptr;
    unsigned char    type = mesh->GetCellPoints(cell, npts, pts);
    for (vtkIdType i = 0; i < npts; ++i)
    {
      if (pts[i] < 0 || pts[i] >= numPts)
      {
        return false;
      }
      ++myLinks[pts[i]].Count;
    }
    int32_t* corners = myCorners.data() + 3 * cell;
    if (type == THE_TRIANGLE && npts == 3)
    {
      corners[0] = static_cast<int32_t>(pts[0]);
      corners[1] = static_cast<int32_t>(pts[1]);
      corners[2] = static_cast<int32_t>(pts[2]);
    }
    else
    {
      if (type == THE_TRIANGLE)
      {
        type = VTK_POLYGON; // never a three-corner triangle to the decimation
      }
      corners[0] = static_cast<int32_t>(myOtherStart.size() - 1);
      myOtherPoints.insert(myOtherPoints.end(), pts, pts + npts);
      myOtherStart.push_back(static_cast<int64_t>(myOtherPoints.size()));
    }
    myTypes[cell] = type;
  }

  // 2. Links: every point's cells in increasing id order, one entry per occurrence.
  int64_t start = 0;
  for (Link& link : myLinks)
  {
    link.Start    = start;
    link.Capacity = link.Count;
    start += link.Count;
    link.Count = 0;
  }
  myPool.assign(static_cast<size_t>(start), 0);
  for (int32_t cell = 0; cell < static_cast<int32_t>(numCells); ++cell)
  {
    const int32_t* pts  = nullptr;
    const int32_t  npts = CellPoints(cell, pts);
    for (int32_t i = 0; i < npts; ++i)
    {
      Link& link                        = myLinks[pts[i]];
      myPool[link.Start + link.Count++] = cell;
    }
  }
  return true;
}

void algoMesh_DecimationMesh::Store(vtkPolyData* mesh) const
{
  std::vector<vtkIdType> ids;
  for (int32_t cell = 0; cell < NbCells(); ++cell)
  {
    if (!myEdited[cell])
    {
      continue;
    }
    if (myTypes[cell] == THE_EMPTY)
    {
      mesh->DeleteCell(cell);
      continue;
    }
    const int32_t* pts  = nullptr;
    const int32_t  npts = CellPoints(cell, pts);
    ids.assign(pts, pts + npts);
    mesh->ReplaceCell(cell, npts, ids.data());
  }
}

void algoMesh_DecimationMesh::Release()
{
  myTypes       = LargeArray<unsigned char>();
  myEdited      = std::vector<unsigned char>();
  myCorners     = LargeArray<int32_t>();
  myOtherStart  = std::vector<int64_t>();
  myOtherPoints = std::vector<int32_t>();
  myLinks       = LargeArray<Link>();
  myPool        = LargeArray<int32_t>();
}

int32_t algoMesh_DecimationMesh::otherPoints(const int32_t cell, const int32_t*& pts) const
{
  if (myTypes[cell] == THE_EMPTY)
  {
    pts = nullptr;
    return 0;
  }
  const int32_t index = myCorners[3 * static_cast<size_t>(cell)];
  pts                 = myOtherPoints.data() + myOtherStart[index];
  return static_cast<int32_t>(myOtherStart[index + 1] - myOtherStart[index]);
}

void algoMesh_DecimationMesh::RemoveCellReference(const int32_t cell)
{
  const int32_t* pts  = nullptr;
  const int32_t  npts = CellPoints(cell, pts);
  for (int32_t i = 0; i < npts; ++i)
  {
    // The first reference goes; the order of the others is kept, as later choices follow it.
    Link&    link  = myLinks[pts[i]];
    int32_t* cells = myPool.data() + link.Start;
    int32_t* end   = cells + link.Count;
    int32_t* found = std::find(cells, end, cell);
    if (found != end)
    {
      std::copy(found + 1, end, found);
      --link.Count;
    }
  }
}

void algoMesh_DecimationMesh::ReplaceCellPoints(const int32_t cell, const int32_t* pts)
{
  const int32_t* current = nullptr;
  const int32_t  npts    = CellPoints(cell, current);
  int32_t*       target  = IsTriangle(cell) ? myCorners.data() + 3 * static_cast<size_t>(cell)
                                            : myOtherPoints.data() + (current - myOtherPoints.data());
  std::copy(pts, pts + npts, target);
  myEdited[cell] = 1;
}

void algoMesh_DecimationMesh::grow(const int32_t pt, const int32_t extra)
{
  // The list moves to the end of the pool with room to spare; its old room stays unused.
  Link&         link     = myLinks[pt];
  const int32_t capacity = std::max({link.Count + extra, 2 * link.Capacity, 8});
  const int64_t start    = static_cast<int64_t>(myPool.size());
  myPool.resize(myPool.size() + static_cast<size_t>(capacity));
  std::copy(myPool.begin() + link.Start, myPool.begin() + link.Start + link.Count,
            myPool.begin() + start);
  link.Start    = start;
  link.Capacity = capacity;
}
