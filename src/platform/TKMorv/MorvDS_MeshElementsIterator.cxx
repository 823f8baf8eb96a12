// Element walk: the slot list of one dimension class (or all slots), removed ones skipped.
#include <MorvDS_MeshElementsIterator.hxx>

#include <MorvDS_MeshData.pxx>
#include <MorvDS_MeshEdgesIterator.hxx>
#include <MorvDS_MeshFacesIterator.hxx>
#include <MorvDS_MeshVolumesIterator.hxx>

IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshElementsIterator, Standard_Transient)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshEdgesIterator, MorvDS_MeshElementsIterator)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshFacesIterator, MorvDS_MeshElementsIterator)
IMPLEMENT_STANDARD_RTTIEXT(MorvDS_MeshVolumesIterator, MorvDS_MeshElementsIterator)

MorvDS_MeshElementsIterator::MorvDS_MeshElementsIterator(const Handle(MorvDS_Mesh) & mesh,
                                                         const MorvAbs_ElementType type)
    : m_dim(type == MorvAbs_All ? -1 : MorvDS_MeshData::DimOf(type)), m_pos(0)
{
  if (type != MorvAbs_All && m_dim < 0)
  {
    m_dim = -2; // nodes, or a value outside the enumeration: nothing to walk
  }
  if (!mesh.IsNull() && m_dim != -2)
  {
    m_data = mesh->Data();
  }
  skipRemoved();
}

bool MorvDS_MeshElementsIterator::More() const
{
  if (!m_data)
  {
    return false;
  }
  const size_t size = m_dim < 0 ? m_data->elemIds.size() : m_data->slotsByDim[m_dim].size();
  return static_cast<size_t>(m_pos) < size;
}

void MorvDS_MeshElementsIterator::Next()
{
  if (More())
  {
    ++m_pos;
    skipRemoved();
  }
}

Handle(MorvDS_MeshElement) MorvDS_MeshElementsIterator::Value() const
{
  return More() ? MorvDS_MakeElement(m_data, currentSlot()) : Handle(MorvDS_MeshElement)();
}

int MorvDS_MeshElementsIterator::currentSlot() const
{
  return m_dim < 0 ? m_pos : m_data->slotsByDim[m_dim][m_pos];
}

void MorvDS_MeshElementsIterator::skipRemoved()
{
  while (More() && m_data->elemKinds[currentSlot()] == MorvDS_Kind_Removed)
  {
    ++m_pos;
  }
}
