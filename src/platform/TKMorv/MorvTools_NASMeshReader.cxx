// NASTRAN bulk-data reader that builds a mesh data model mesh: each callback is one
// creation with an explicit number, O(1).
#include <MorvTools_NASMeshReader.hxx>

MorvTools_NASMeshReader::MorvTools_NASMeshReader() : m_mesh(new MorvDS_Mesh(10, 10, 10, 10)) {}

bool MorvTools_NASMeshReader::group(const bool isAdded, const int id, const int pid)
{
  if (isAdded && m_isCreatingGroups)
  {
    m_groups[pid].push_back(id);
  }
  return isAdded;
}

bool MorvTools_NASMeshReader::AddNode(const gp_Pnt& point, const int id)
{
  return m_mesh->AddNodeWithID(point.X(), point.Y(), point.Z(), id);
}

bool MorvTools_NASMeshReader::AddEdge(const int id, const int pid, const int n1, const int n2)
{
  return group(m_mesh->AddEdgeWithID(n1, n2, id), id, pid);
}

bool MorvTools_NASMeshReader::AddTrianFace(
    const int id, const int pid, const int n1, const int n2, const int n3)
{
  return group(m_mesh->AddFaceWithID(n1, n2, n3, id), id, pid);
}

bool MorvTools_NASMeshReader::AddQuadFace(
    const int id, const int pid, const int n1, const int n2, const int n3, const int n4)
{
  return group(m_mesh->AddFaceWithID(n1, n2, n3, n4, id), id, pid);
}

bool MorvTools_NASMeshReader::AddTetrVolume(
    const int id, const int pid, const int n1, const int n2, const int n3, const int n4)
{
  return group(m_mesh->AddVolumeWithID(n1, n2, n3, n4, id), id, pid);
}

bool MorvTools_NASMeshReader::AddPyramVolume(const int id,
                                             const int pid,
                                             const int n1,
                                             const int n2,
                                             const int n3,
                                             const int n4,
                                             const int n5)
{
  return group(m_mesh->AddVolumeWithID(n1, n2, n3, n4, n5, id), id, pid);
}

bool MorvTools_NASMeshReader::AddPentVolume(const int id,
                                            const int pid,
                                            const int n1,
                                            const int n2,
                                            const int n3,
                                            const int n4,
                                            const int n5,
                                            const int n6)
{
  return group(m_mesh->AddVolumeWithID(n1, n2, n3, n4, n5, n6, id), id, pid);
}

bool MorvTools_NASMeshReader::AddHexVolume(const int id,
                                           const int pid,
                                           const int n1,
                                           const int n2,
                                           const int n3,
                                           const int n4,
                                           const int n5,
                                           const int n6,
                                           const int n7,
                                           const int n8)
{
  return group(m_mesh->AddVolumeWithID(n1, n2, n3, n4, n5, n6, n7, n8, id), id, pid);
}

bool MorvTools_NASMeshReader::HasNode(const int id) const
{
  return !m_mesh->FindNode(id).IsNull();
}

bool MorvTools_NASMeshReader::GetNodePosition(const int id, gp_XYZ& position) const
{
  const Handle(MorvDS_MeshNode) node = m_mesh->FindNode(id);
  if (node.IsNull())
  {
    return false;
  }
  position.SetCoord(node->X(), node->Y(), node->Z());
  return true;
}
