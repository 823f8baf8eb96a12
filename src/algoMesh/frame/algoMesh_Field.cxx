#include <algoMesh_Field.hxx>

#include <Precision.hxx>

#include <algorithm>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_Field, Standard_Transient)

algoMesh_Field::algoMesh_Field(const TCollection_AsciiString& name,
                               const int                      association,
                               const int                      nbComponents,
                               const Standard_GUID&           owner)
    : m_name(name), m_nbComponents(nbComponents), m_rangeMin(-Precision::Infinite()),
      m_rangeMax(Precision::Infinite()), m_association(association), m_reserved(false),
      m_hasValues(false), m_ownerID(owner)
{
}

void algoMesh_Field::Reserve(const int nbTuples)
{
  if (nbTuples <= 0)
  {
    return;
  }
  m_ids.reserve(nbTuples);
  m_data.reserve(size_t(nbTuples) * std::max(m_nbComponents, 0));
  if (m_denseSlot.size() < size_t(nbTuples) + 1)
  {
    m_denseSlot.resize(size_t(nbTuples) + 1, -1);
  }
}

int algoMesh_Field::slotOf(const int id) const
{
  if (id >= 0 && size_t(id) < m_denseSlot.size())
  {
    return m_denseSlot[id];
  }
  const int* slot = m_sparseSlot.Seek(id);
  return slot != nullptr ? *slot : -1;
}

int algoMesh_Field::newSlot(const int id)
{
  const int slot = static_cast<int>(m_ids.size());
  // IDs of meshes are compact numbers from 0 or 1: they get a direct table, grown
  // geometrically. IDs far beyond the number of tuples (or negative) go to the hash map
  // so that a few large numbers cannot blow the table up.
  const size_t limit = 2 * std::max<size_t>(m_ids.size(), m_ids.capacity()) + 1024;
  if (id >= 0 && size_t(id) < limit)
  {
    if (size_t(id) >= m_denseSlot.size())
    {
      m_denseSlot.resize(std::max(size_t(id) + 1, 2 * m_denseSlot.size()), -1);
    }
    m_denseSlot[id] = slot;
  }
  else
  {
    m_sparseSlot.Bind(id, slot);
  }
  m_ids.push_back(id);
  return slot;
}

bool algoMesh_Field::SetValue(const int id, const double value)
{
  if (m_nbComponents != 1)
  {
    return false;
  }
  const int slot = slotOf(id);
  if (slot >= 0)
  {
    m_data[slot] = value;
  }
  else
  {
    newSlot(id);
    m_data.push_back(value);
  }
  m_hasValues  = true;
  m_isMapValid = false;
  return true;
}

bool algoMesh_Field::SetValues(const int id, const std::vector<double>& tuple)
{
  if (static_cast<int>(tuple.size()) != m_nbComponents)
  {
    return false;
  }
  return SetValues(id, tuple.data());
}

bool algoMesh_Field::SetValues(const int id, const double* tuple)
{
  if (tuple == nullptr || m_nbComponents < 1)
  {
    return false;
  }
  const int slot = slotOf(id);
  if (slot >= 0)
  {
    std::copy(tuple, tuple + m_nbComponents, m_data.begin() + size_t(slot) * m_nbComponents);
  }
  else
  {
    newSlot(id);
    m_data.insert(m_data.end(), tuple, tuple + m_nbComponents);
  }
  m_hasValues  = true;
  m_isMapValid = false;
  return true;
}

const double* algoMesh_Field::Value(const int id) const
{
  const int slot = slotOf(id);
  return slot >= 0 ? TupleAt(slot) : nullptr;
}

const algoMesh_Field::ValueMap& algoMesh_Field::Values() const
{
  std::lock_guard<std::mutex> lock(m_mapMutex);
  if (!m_isMapValid)
  {
    m_valueMap.Clear();
    m_valueMap.ReSize(NbTuples());
    for (int k = 0; k < NbTuples(); ++k)
    {
      m_valueMap.Bind(m_ids[k], std::vector<double>(TupleAt(k), TupleAt(k) + m_nbComponents));
    }
    m_isMapValid = true;
  }
  return m_valueMap;
}
