#include <algoMesh_MgSurfOutput.hxx>

#include <algorithm>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgSurfOutput, Standard_Transient)

using namespace quorin;

algoMesh_MgSurfOutput::algoMesh_MgSurfOutput(const int nbNodes,
                                             const int nbTriangles,
                                             const int nbQuadrangles)
{
  const int nodes     = std::max(nbNodes, 0);
  const int triangles = std::max(nbTriangles, 0) + 2 * std::max(nbQuadrangles, 0);
  // The kernel refuses to size a triangulation with a zero count; an empty one stands in.
  m_mesh = nodes > 0 && triangles > 0 ? new Poly_Triangulation(nodes, triangles, false)
                                      : new Poly_Triangulation();
  if (m_mesh->NbNodes() == 0 && nodes > 0)
  {
    m_mesh->ResizeNodes(nodes, false);
  }
  if (m_mesh->NbTriangles() == 0 && triangles > 0)
  {
    m_mesh->ResizeTriangles(triangles, false);
  }
}

bool algoMesh_MgSurfOutput::SetNode(const int id, const double x, const double y, const double z)
{
  if (id < 1 || id > m_mesh->NbNodes())
  {
    return false;
  }
  m_mesh->SetNode(id, gp_Pnt(x, y, z));
  return true;
}

bool algoMesh_MgSurfOutput::SetTriangle(
    const int index, const int a, const int b, const int c, const int tag)
{
  if (index < 1 || index > m_mesh->NbTriangles())
  {
    return false;
  }
  m_mesh->SetTriangle(index, Poly_Triangle(a, b, c));
  if (tag >= 1)
  {
    m_tags.Bind(index, tag);
  }
  return true;
}

bool algoMesh_MgSurfOutput::SetQuadrangle(
    const int index, const int a, const int b, const int c, const int d, const int tag)
{
  if (index < 1 || index + 1 > m_mesh->NbTriangles())
  {
    return false;
  }
  return SetTriangle(index, a, b, c, tag) && SetTriangle(index + 1, a, c, d, tag);
}
