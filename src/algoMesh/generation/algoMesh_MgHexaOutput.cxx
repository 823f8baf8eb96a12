#include <algoMesh_MgHexaOutput.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_MgHexaOutput, Standard_Transient)

using namespace quorin;

algoMesh_MgHexaOutput::algoMesh_MgHexaOutput() : m_mesh(new MorvDS_Mesh(10, 10, 10, 10)) {}

bool algoMesh_MgHexaOutput::AddNodeWithID(const double x,
                                          const double y,
                                          const double z,
                                          const int    id)
{
  return m_mesh->AddNodeWithID(x, y, z, id);
}

int algoMesh_MgHexaOutput::AddTriangle(const int n1, const int n2, const int n3, const int tag)
{
  return tagged(m_mesh->AddFace(n1, n2, n3), tag);
}

int algoMesh_MgHexaOutput::AddQuadrangle(
    const int n1, const int n2, const int n3, const int n4, const int tag)
{
  return tagged(m_mesh->AddFace(n1, n2, n3, n4), tag);
}

int algoMesh_MgHexaOutput::AddHexahedron(const int n1,
                                         const int n2,
                                         const int n3,
                                         const int n4,
                                         const int n5,
                                         const int n6,
                                         const int n7,
                                         const int n8,
                                         const int tag)
{
  return tagged(m_mesh->AddVolume(n1, n2, n3, n4, n5, n6, n7, n8), tag);
}

int algoMesh_MgHexaOutput::tagged(const int element, const int tag)
{
  if (element != 0 && tag >= 1)
  {
    m_tags.Bind(element, tag);
  }
  return element;
}
