#include <algoMesh_MgSurfAdaptor.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgSurfAdaptor, Standard_Transient)

using namespace quorin;

algoMesh_MgSurfAdaptor::algoMesh_MgSurfAdaptor(const Handle(Poly_Triangulation) & mesh)
    : m_mesh(mesh)
{
  m_coherent = mesh.IsNull() ? new algoMesh_CoherentTriangulation()
                             : new algoMesh_CoherentTriangulation(mesh);
  m_coherent->ComputeLinks();
}

int algoMesh_MgSurfAdaptor::GetNumVertices() const
{
  return m_coherent->NNodes();
}

int algoMesh_MgSurfAdaptor::GetNumTriangles() const
{
  return m_coherent->NTriangles();
}

int algoMesh_MgSurfAdaptor::GetNumEdges() const
{
  return m_coherent->NLinks();
}

bool algoMesh_MgSurfAdaptor::GetVertex(const int index, gp_Pnt& point) const
{
  point = gp_Pnt(m_coherent->Node(index - 1));
  return true;
}

bool algoMesh_MgSurfAdaptor::GetTriangle(const int index, int& a, int& b, int& c) const
{
  if (index == 0)
  {
    return false;
  }
  const Poly_CoherentTriangle& triangle = m_coherent->Triangle(index - 1);
  a                                     = triangle.Node(0) + 1;
  b                                     = triangle.Node(1) + 1;
  c                                     = triangle.Node(2) + 1;
  return true;
}

bool algoMesh_MgSurfAdaptor::GetEdge(const int index, int& a, int& b) const
{
  int n1 = 0, n2 = 0;
  if (index < 1 || !m_coherent->LinkNodes(index - 1, n1, n2))
  {
    return false;
  }
  a = n1 + 1;
  b = n2 + 1;
  return true;
}

bool algoMesh_MgSurfAdaptor::FindTriangle(
    const int a, const int b, const int c, int& index, bool& sameOriented)
{
  int  slot = -1;
  bool same = false;
  if (!m_coherent->FindTriangle(a - 1, b - 1, c - 1, slot, same))
  {
    return false;
  }
  index        = slot + 1;
  sameOriented = same;
  return true;
}
