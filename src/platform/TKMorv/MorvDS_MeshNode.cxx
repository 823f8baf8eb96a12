// Node view: a slot of the mesh storage.
#include <MorvDS_MeshNode.hxx>

#include <MorvDS_MeshData.pxx>

IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshNode, Standard_Transient)

MorvDS_MeshNode::MorvDS_MeshNode(const std::shared_ptr<MorvDS_MeshData>& data, const int slot)
    : m_data(data), m_slot(slot)
{
}

int MorvDS_MeshNode::GetID() const
{
  return m_data->nodeIds[m_slot];
}

double MorvDS_MeshNode::X() const
{
  return m_data->coords[3 * static_cast<size_t>(m_slot)];
}

double MorvDS_MeshNode::Y() const
{
  return m_data->coords[3 * static_cast<size_t>(m_slot) + 1];
}

double MorvDS_MeshNode::Z() const
{
  return m_data->coords[3 * static_cast<size_t>(m_slot) + 2];
}
