#include <algoMesh_MgTetraOutput.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgTetraOutput, Standard_Transient)

using namespace quorin;

algoMesh_MgTetraOutput::algoMesh_MgTetraOutput() : m_mesh(new MorvDS_Mesh(10, 10, 10, 10)) {}

bool algoMesh_MgTetraOutput::AddNodeWithID(const double x,
                                           const double y,
                                           const double z,
                                           const int    id)
{
  return m_mesh->AddNodeWithID(x, y, z, id);
}

int algoMesh_MgTetraOutput::AddTriangle(const int n1, const int n2, const int n3, const int tag)
{
  return tagged(m_mesh->AddFace(n1, n2, n3), tag);
}

int algoMesh_MgTetraOutput::AddTetrahedron(
    const int n1, const int n2, const int n3, const int n4, const int tag)
{
  return tagged(m_mesh->AddVolume(n1, n2, n3, n4), tag);
}

int algoMesh_MgTetraOutput::tagged(const int element, const int tag)
{
  if (element != 0 && tag >= 1)
  {
    m_tags.Bind(element, tag);
  }
  return element;
}
