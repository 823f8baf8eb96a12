// Kernel mesh to merged poly data for the quadric decimation: one pass over the triangles, a
// hash table of node positions (open addressing, linear probing), then the cells sorted into
// vertices, lines and triangles by how many distinct corners each keeps. O(n) expected for n
// triangles.
#include <algoMesh_DecimationInput.hxx>

#include <Standard_OutOfRange.hxx>

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace quorin
{

namespace
{

//! Positions seen so far, each with its point id.
class PositionTable
{
public:
  explicit PositionTable(const size_t capacity)
  {
    size_t size = 16;
    while (size < 2 * capacity)
    {
      size *= 2;
    }
    mySlots.assign(size, -1);
    myCoords.reserve(3 * capacity);
  }

  //! Id of the point at (x, y, z), added with the next id when new. Positions compare as
  //! numbers: -0 equals +0, and a coordinate that is not a number matches nothing.
  int32_t FindOrAdd(const double x, const double y, const double z)
  {
    const size_t mask = mySlots.size() - 1;
    for (size_t slot = hash(x, y, z) & mask;; slot = (slot + 1) & mask)
    {
      const int32_t id = mySlots[slot];
      if (id < 0)
      {
        const int32_t added = static_cast<int32_t>(myCoords.size() / 3);
        mySlots[slot]       = added;
        myCoords.insert(myCoords.end(), {x, y, z});
        return added;
      }
      const double* p = myCoords.data() + 3 * static_cast<size_t>(id);
      if (p[0] == x && p[1] == y && p[2] == z)
      {
        return id;
      }
    }
  }

  const std::vector<double>& Coords() const { return myCoords; }

private:
  static uint64_t bitsOf(const double value)
  {
    const double zeroed = value + 0.0; // -0 becomes +0, so that both hash alike
    uint64_t     bits   = 0;
    std::memcpy(&bits, &zeroed, sizeof(bits));
    return bits;
  }

  static size_t hash(const double x, const double y, const double z)
  {
    uint64_t h = bitsOf(x) * 0x9e3779b97f4a7c15ull;
    h          = (h ^ (h >> 29) ^ bitsOf(y)) * 0xbf58476d1ce4e5b9ull;
    h          = (h ^ (h >> 31) ^ bitsOf(z)) * 0x94d049bb133111ebull;
    return static_cast<size_t>(h ^ (h >> 32));
  }

  std::vector<int32_t> mySlots;
  std::vector<double>  myCoords;
};

//! Cell array of cells of `size` points each, listed one after the other in `ids`.
vtkSmartPointer<vtkCellArray> cellsOf(const std::vector<vtkIdType>& ids, const int size)
{
  vtkSmartPointer<vtkIdTypeArray> connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
  connectivity->SetNumberOfValues(static_cast<vtkIdType>(ids.size()));
  std::copy(ids.begin(), ids.end(), connectivity->GetPointer(0));
  vtkSmartPointer<vtkCellArray> cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(size, connectivity);
  return cells;
}

} // namespace

vtkSmartPointer<vtkPolyData> algoMesh_DecimationInput::Build(const Poly_Triangulation& mesh)
{
  const int nbNodes = mesh.NbNodes();
  const int nbTris  = mesh.NbTriangles();

  // 1. Points: each node's position looked up on its first use only.
  PositionTable          positions(static_cast<size_t>(nbNodes));
  std::vector<int32_t>   pointOfNode(static_cast<size_t>(nbNodes) + 1, -1);
  std::vector<vtkIdType> verts, lines, polys;
  polys.reserve(3 * static_cast<size_t>(nbTris));
  for (int t = 1; t <= nbTris; ++t)
  {
    int n[3];
    mesh.Triangle(t).Get(n[0], n[1], n[2]);
    vtkIdType ids[3];
    for (int k = 0; k < 3; ++k)
    {
      if (n[k] < 1 || n[k] > nbNodes)
      {
        throw Standard_OutOfRange("algoMesh_DecimationInput: a triangle names a node out of range");
      }
      if (pointOfNode[n[k]] < 0)
      {
        const gp_Pnt p    = mesh.Node(n[k]);
        pointOfNode[n[k]] = positions.FindOrAdd(p.X(), p.Y(), p.Z());
      }
      ids[k] = pointOfNode[n[k]];
    }

    // 2. The triangle, or what is left of it once merged corners are dropped.
    vtkIdType kept[3] = {ids[0], 0, 0};
    int       nbKept  = 1;
    for (int k = 1; k < 3; ++k)
    {
      if (ids[k] != kept[nbKept - 1])
      {
        kept[nbKept++] = ids[k];
      }
    }
    if (nbKept == 3 && kept[2] == kept[0])
    {
      nbKept = 2;
    }
    std::vector<vtkIdType>& cells = nbKept == 3 ? polys : (nbKept == 2 ? lines : verts);
    cells.insert(cells.end(), kept, kept + nbKept);
  }

  // 3. Poly data; cell ids follow from the order vertices, lines, triangles.
  const std::vector<double>& coords = positions.Coords();
  vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToDouble();
  points->SetNumberOfPoints(static_cast<vtkIdType>(coords.size() / 3));
  std::copy(coords.begin(), coords.end(),
            vtkDoubleArray::SafeDownCast(points->GetData())->GetPointer(0));
  vtkSmartPointer<vtkPolyData> polyData = vtkSmartPointer<vtkPolyData>::New();
  polyData->SetPoints(points);
  if (!verts.empty())
  {
    polyData->SetVerts(cellsOf(verts, 1));
  }
  if (!lines.empty())
  {
    polyData->SetLines(cellsOf(lines, 2));
  }
  polyData->SetPolys(cellsOf(polys, 3));
  return polyData;
}

} // namespace quorin
