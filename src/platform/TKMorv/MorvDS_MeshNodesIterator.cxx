// Node walk: node slots in order, removed ones skipped.
#include <MorvDS_MeshNodesIterator.hxx>

#include <MorvDS_MeshData.pxx>

IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshNodesIterator, Standard_Transient)

MorvDS_MeshNodesIterator::MorvDS_MeshNodesIterator(const Handle(MorvDS_Mesh) & mesh) : m_slot(0)
{
  if (!mesh.IsNull())
  {
    m_data = mesh->Data();
  }
  skipRemoved();
}

bool MorvDS_MeshNodesIterator::More() const
{
  return m_data && static_cast<size_t>(m_slot) < m_data->nodeIds.size();
}

void MorvDS_MeshNodesIterator::Next()
{
  if (More())
  {
    ++m_slot;
    skipRemoved();
  }
}

Handle(MorvDS_MeshNode) MorvDS_MeshNodesIterator::Value() const
{
  return More() ? new MorvDS_MeshNode(m_data, m_slot) : Handle(MorvDS_MeshNode)();
}

void MorvDS_MeshNodesIterator::skipRemoved()
{
  while (More() && !m_data->nodeAlive[m_slot])
  {
    ++m_slot;
  }
}
