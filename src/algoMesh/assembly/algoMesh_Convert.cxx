// Conversions between the kernel's triangulation, the mesh data model, OpenMesh and VTK.
//
// Each conversion is one pass over its input. Toward the kernel, triangle corners are fed
// to a nodes merger (uniform cell grid, tolerance 1e-7), which numbers distinct nodes from
// 1 in order of first use: representations whose triangles carry their own corners, or
// whose vertices were duplicated by a filter, come back with shared nodes. Node-number to
// point-id maps are dense arrays where the numbers are dense (triangulations), and fall
// back to a hash map for sparse data model numbering. Cost: O(nodes + triangles), with
// expected O(1) per merged corner.
#include <algoMesh_Convert.hxx>

#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <MorvDS_MeshEdgesIterator.hxx>
#include <MorvDS_MeshFacesIterator.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>
#include <MorvDS_MeshVolumesIterator.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_NoSuchObject.hxx>
#include <Standard_OutOfRange.hxx>

#include <vtkCellType.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnstructuredGrid.h>

#include <stdexcept>
#include <vector>

using namespace quorin;

namespace
{

typedef OpenMesh::TriMesh_ArrayKernelT<OpenMesh::DefaultTraits> TriMesh;

//! The standard library's wording for a subscript out of range, which callers may match.
const char* const THE_SUBSCRIPT_MESSAGE = "invalid vector<T> subscript";

//! Whether element `index` of a conversion back reports progress and polls: every 16384
//! elements, a few milliseconds of node merging.
bool isPollDue(const int64_t index)
{
  return (index & 0x3FFF) == 0;
}

//! Shows `done` elements converted; answers whether the run was cancelled.
bool isStopped(algoMesh_ProgressScope& progress, const int64_t done)
{
  progress.SetDone(done);
  return progress.IsCancelled();
}

//! True when every triangle of `t` names nodes within 1 .. NbNodes.
bool triangleNodesInRange(const Poly_Triangulation& t)
{
  const int nbNodes = t.NbNodes();
  for (int i = 1; i <= t.NbTriangles(); ++i)
  {
    int n[3];
    t.Triangle(i).Get(n[0], n[1], n[2]);
    for (const int k : n)
    {
      if (k < 1 || k > nbNodes)
      {
        return false;
      }
    }
  }
  return true;
}

//! A triangulation of the merged nodes and the 1-based corner triples. The kernel refuses
//! to size a triangulation for zero items, so no triangle gives the empty triangulation.
Handle(Poly_Triangulation)
    makeTriangulation(const std::vector<gp_Pnt>& nodes, const std::vector<int>& corners)
{
  const int nbTriangles = static_cast<int>(corners.size() / 3);
  if (nbTriangles == 0 || nodes.empty())
  {
    return new Poly_Triangulation();
  }
  Handle(Poly_Triangulation) result =
      new Poly_Triangulation(static_cast<int>(nodes.size()), nbTriangles, false);
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
  {
    result->SetNode(i + 1, nodes[i]);
  }
  for (int i = 0; i < nbTriangles; ++i)
  {
    result->SetTriangle(i + 1,
                        Poly_Triangle(corners[3 * i], corners[3 * i + 1], corners[3 * i + 2]));
  }
  return result;
}

//! Data model node number → VTK point id: an array for dense numbers, a map otherwise.
class PointIdMap
{
public:
  PointIdMap(const std::vector<int>& ids)
  {
    int maxId = 0;
    for (const int id : ids)
    {
      maxId = std::max(maxId, id);
    }
    m_isDense = static_cast<size_t>(maxId) <= 2 * ids.size() + 1024;
    if (m_isDense)
    {
      m_dense.assign(static_cast<size_t>(maxId) + 1, -1);
    }
    for (size_t k = 0; k < ids.size(); ++k)
    {
      if (m_isDense)
      {
        m_dense[ids[k]] = static_cast<vtkIdType>(k);
      }
      else
      {
        m_sparse.Bind(ids[k], static_cast<vtkIdType>(k));
      }
    }
  }

  //! Point id of a node number; raises Standard_NoSuchObject when the node has no point.
  vtkIdType Find(const int id) const
  {
    if (!m_isDense)
    {
      return m_sparse.Find(id);
    }
    if (id < 0 || static_cast<size_t>(id) >= m_dense.size() || m_dense[id] < 0)
    {
      throw Standard_NoSuchObject("NCollection_DataMap::Find");
    }
    return m_dense[id];
  }

private:
  bool                                m_isDense = true;
  std::vector<vtkIdType>              m_dense;
  NCollection_DataMap<int, vtkIdType> m_sparse;
};

//! Inserts one cell of `type` over the points of the element's nodes.
void insertCell(vtkUnstructuredGrid& grid,
                const PointIdMap&    points,
                const Handle(MorvDS_MeshElement) & element,
                const int type)
{
  vtkIdType ids[8];
  const int nbNodes = std::min(element->NbNodes(), 8);
  for (int i = 0; i < nbNodes; ++i)
  {
    ids[i] = points.Find(element->NodeID(i));
  }
  grid.InsertNextCell(type, nbNodes, ids);
}

} // namespace

bool algoMesh_Convert::ToMorv(const Handle(Poly_Triangulation) & triangulation,
                              const TopLoc_Location& location,
                              Handle(MorvDS_Mesh) & mesh)
{
  if (triangulation.IsNull() || !triangleNodesInRange(*triangulation))
  {
    return false;
  }
  const int nbNodes          = triangulation->NbNodes();
  const int nbTris           = triangulation->NbTriangles();
  Handle(MorvDS_Mesh) result = new MorvDS_Mesh(nbNodes, 0, nbTris, 0);

  // Nodes in order: automatic numbering makes node i of the triangulation node i here.
  const gp_Trsf& trsf = location.Transformation();
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_Pnt p = triangulation->Node(i).Transformed(trsf);
    result->AddNode(p.X(), p.Y(), p.Z());
  }

  // Triangles in order; degenerate ones (two equal node numbers) are dropped.
  for (int i = 1; i <= nbTris; ++i)
  {
    int a, b, c;
    triangulation->Triangle(i).Get(a, b, c);
    if (a != b && b != c && a != c)
    {
      result->AddFace(a, b, c);
    }
  }
  result->RebuildAllInverseConnections();
  mesh = result;
  return true;
}

bool algoMesh_Convert::ToOpenMesh(const Handle(Poly_Triangulation) & triangulation, TriMesh& mesh)
{
  if (triangulation.IsNull())
  {
    return false;
  }
  if (!triangleNodesInRange(*triangulation))
  {
    throw std::out_of_range(THE_SUBSCRIPT_MESSAGE);
  }

  // OpenMesh reports every refused face on its error stream; refusals are expected here.
  ::omerr().disable();
  ::omlog().disable();
  ::omout().disable();

  mesh.clear();
  const int nbNodes = triangulation->NbNodes();
  const int nbTris  = triangulation->NbTriangles();
  mesh.reserve(nbNodes, nbNodes + nbTris, nbTris); // edges of a closed mesh: V + F - 2

  // Vertices in node order: node i is vertex i - 1.
  std::vector<TriMesh::VertexHandle> vertices(nbNodes);
  for (int i = 1; i <= nbNodes; ++i)
  {
    const gp_Pnt& p = triangulation->Node(i);
    vertices[i - 1] = mesh.add_vertex(TriMesh::Point(
        static_cast<float>(p.X()), static_cast<float>(p.Y()), static_cast<float>(p.Z())));
  }

  // Faces in triangle order. A triangle with a repeated node would become a self-loop
  // edge that corrupts the half-edge structure, so it is left out like the faces OpenMesh
  // refuses itself (those that would make the surface non-manifold).
  for (int i = 1; i <= nbTris; ++i)
  {
    int a, b, c;
    triangulation->Triangle(i).Get(a, b, c);
    if (a != b && b != c && a != c)
    {
      mesh.add_face(vertices[a - 1], vertices[b - 1], vertices[c - 1]);
    }
  }
  return true;
}

bool algoMesh_Convert::ToVTK(const Handle(Poly_Triangulation) & triangulation,
                             vtkSmartPointer<vtkPolyData>& polyData)
{
  if (triangulation.IsNull())
  {
    return false;
  }
  if (!triangleNodesInRange(*triangulation))
  {
    throw Standard_OutOfRange("algoMesh_Convert::ToVTK(): a triangle names a node out of range");
  }
  const int nbTris = triangulation->NbTriangles();

  vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToDouble();
  vtkSmartPointer<vtkPolyData> result = vtkSmartPointer<vtkPolyData>::New();
  result->AllocateExact(nbTris, 3 * static_cast<vtkIdType>(nbTris));
  result->SetPoints(points);

  // Points in order of first use; nodes no triangle uses get none.
  std::vector<vtkIdType> pointOfNode(static_cast<size_t>(triangulation->NbNodes()) + 1, -1);
  for (int i = 1; i <= nbTris; ++i)
  {
    int n[3];
    triangulation->Triangle(i).Get(n[0], n[1], n[2]);
    vtkIdType ids[3];
    for (int k = 0; k < 3; ++k)
    {
      if (pointOfNode[n[k]] < 0)
      {
        const gp_Pnt& p   = triangulation->Node(n[k]);
        pointOfNode[n[k]] = points->InsertNextPoint(p.X(), p.Y(), p.Z());
      }
      ids[k] = pointOfNode[n[k]];
    }
    result->InsertNextCell(VTK_TRIANGLE, 3, ids);
  }
  polyData = result;
  return true;
}

bool algoMesh_Convert::ToVTK(const Handle(MorvDS_Mesh) & mesh,
                             vtkSmartPointer<vtkUnstructuredGrid>& grid)
{
  if (mesh.IsNull())
  {
    return false;
  }
  vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToDouble();
  points->Allocate(mesh->NbNodes());
  vtkSmartPointer<vtkUnstructuredGrid> result = vtkSmartPointer<vtkUnstructuredGrid>::New();
  result->AllocateEstimate(mesh->NbElements(), 4);
  result->SetPoints(points);

  // Every node becomes a point, in iteration order.
  std::vector<int> nodeIds;
  nodeIds.reserve(mesh->NbNodes());
  for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshNode) node = it.Value();
    points->InsertNextPoint(node->X(), node->Y(), node->Z());
    nodeIds.push_back(node->GetID());
  }
  const PointIdMap pointOf(nodeIds);

  // Cells: edges, then faces, then volumes; kinds without a cell here are skipped.
  for (MorvDS_MeshEdgesIterator it(mesh); it.More(); it.Next())
  {
    insertCell(*result, pointOf, it.Value(), VTK_LINE);
  }
  for (MorvDS_MeshFacesIterator it(mesh); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) face = it.Value();
    if (face->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)))
    {
      insertCell(*result, pointOf, face, VTK_TRIANGLE);
    }
    else if (face->IsKind(STANDARD_TYPE(MorvDS_MeshQuadrangle)))
    {
      insertCell(*result, pointOf, face, VTK_QUAD);
    }
  }
  for (MorvDS_MeshVolumesIterator it(mesh); it.More(); it.Next())
  {
    const Handle(MorvDS_MeshElement) volume = it.Value();
    if (volume->IsKind(STANDARD_TYPE(MorvDS_MeshTetrahedron)))
    {
      insertCell(*result, pointOf, volume, VTK_TETRA);
    }
    else if (volume->IsKind(STANDARD_TYPE(MorvDS_MeshHexahedron)))
    {
      insertCell(*result, pointOf, volume, VTK_HEXAHEDRON);
    }
  }
  grid = result;
  return true;
}

bool algoMesh_Convert::FromOpenMesh(const TriMesh& mesh, Handle(Poly_Triangulation) & triangulation)
{
  return FromOpenMesh(mesh, triangulation, ActAPI_ProgressEntry());
}

bool algoMesh_Convert::FromOpenMesh(const TriMesh& mesh,
                                    Handle(Poly_Triangulation) & triangulation,
                                    const ActAPI_ProgressEntry& progressEntry)
{
  algoMesh_ProgressScope progress(progressEntry, TCollection_AsciiString());
  progress.SetTotal(static_cast<int64_t>(mesh.n_faces()));
  algoMesh_NodesMerger merger(algoMesh_Tolerance);
  merger.Reserve(3 * mesh.n_faces(), mesh.n_vertices());
  std::vector<int> corners;
  corners.reserve(3 * mesh.n_faces());

  const bool   hasStatus  = mesh.has_face_status();
  const size_t nbVertices = mesh.n_vertices();
  for (TriMesh::ConstFaceIter f = mesh.faces_begin(); f != mesh.faces_end(); ++f)
  {
    if (isPollDue(f->idx()) && isStopped(progress, f->idx()))
    {
      return false;
    }
    if (hasStatus && mesh.status(*f).deleted())
    {
      continue; // not part of the mesh any more, only waiting for garbage collection
    }
    // The first three vertices of the half-edge loop, starting at the face's half-edge,
    // are the vertices in the order the face was created with.
    TriMesh::VertexHandle         v[3];
    int                           nbFound = 0;
    const TriMesh::HalfedgeHandle start   = mesh.halfedge_handle(*f);
    TriMesh::HalfedgeHandle       h       = start;
    while (h.is_valid() && static_cast<size_t>(h.idx()) < mesh.n_halfedges() && nbFound < 3)
    {
      v[nbFound] = mesh.to_vertex_handle(h);
      if (!v[nbFound].is_valid() || static_cast<size_t>(v[nbFound].idx()) >= nbVertices)
      {
        break;
      }
      ++nbFound;
      h = mesh.next_halfedge_handle(h);
      if (h == start)
      {
        break;
      }
    }
    if (nbFound < 3)
    {
      throw std::out_of_range(THE_SUBSCRIPT_MESSAGE);
    }
    for (const TriMesh::VertexHandle& vh : v)
    {
      const TriMesh::Point& p     = mesh.point(vh);
      int                   index = 0;
      merger.Perform(gp_Pnt(p[0], p[1], p[2]), index);
      corners.push_back(index);
    }
  }
  triangulation = makeTriangulation(merger.Nodes(), corners);
  progress.Complete();
  return true;
}

bool algoMesh_Convert::FromVTK(vtkPolyData* polyData, Handle(Poly_Triangulation) & triangulation)
{
  return FromVTK(polyData, triangulation, ActAPI_ProgressEntry());
}

bool algoMesh_Convert::FromVTK(vtkPolyData* polyData,
                               Handle(Poly_Triangulation) & triangulation,
                               const ActAPI_ProgressEntry& progressEntry)
{
  if (polyData == nullptr || polyData->GetNumberOfCells() == 0)
  {
    return false;
  }
  vtkPoints* const points   = polyData->GetPoints();
  const vtkIdType  nbPoints = points == nullptr ? 0 : points->GetNumberOfPoints();
  if (polyData->NeedToBuildCells())
  {
    polyData->BuildCells();
  }

  const vtkIdType        nbCells = polyData->GetNumberOfCells();
  algoMesh_ProgressScope progress(progressEntry, TCollection_AsciiString());
  progress.SetTotal(nbCells);
  algoMesh_NodesMerger merger(algoMesh_Tolerance);
  merger.Reserve(3 * static_cast<size_t>(nbCells), static_cast<size_t>(nbPoints));
  std::vector<int> corners;
  corners.reserve(3 * static_cast<size_t>(nbCells));
  for (vtkIdType cell = 0; cell < nbCells; ++cell)
  {
    if (isPollDue(cell) && isStopped(progress, cell))
    {
      return false;
    }
    vtkIdType        npts = 0;
    const vtkIdType* ids  = nullptr;
    if (polyData->GetCellPoints(cell, npts, ids) != VTK_TRIANGLE || npts != 3)
    {
      continue;
    }
    for (int k = 0; k < 3; ++k)
    {
      if (ids[k] < 0 || ids[k] >= nbPoints)
      {
        return false; // a cell naming a point the data set does not hold
      }
      double p[3];
      points->GetPoint(ids[k], p);
      int index = 0;
      merger.Perform(gp_Pnt(p[0], p[1], p[2]), index);
      corners.push_back(index);
    }
  }
  triangulation = makeTriangulation(merger.Nodes(), corners);
  progress.Complete();
  return true;
}
