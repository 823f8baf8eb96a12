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
  if (nbTuples > 0)
  {
    m_data.reserve(size_t(nbTuples) * std::max(m_nbComponents, 0));
  }
}

int algoMesh_Field::slotOf(const int id) const
{
  if (m_isRuns)
  {
    // The last run whose first ID is not above the ID holds it, if any run does.
    const auto next =
        std::upper_bound(m_runs.begin(), m_runs.end(), id,
                         [](const int key, const Run& run) { return key < run.FirstId; });
    if (next == m_runs.begin())
    {
      return -1;
    }
    const Run&      run     = *(next - 1);
    const long long slot    = static_cast<long long>(run.FirstSlot) + id - run.FirstId;
    const int       endSlot = next == m_runs.end() ? m_nbTuples : next->FirstSlot;
    return slot < endSlot ? static_cast<int>(slot) : -1;
  }
  if (id >= 0 && size_t(id) < m_denseSlot.size())
  {
    return m_denseSlot[id];
  }
  const int* slot = m_sparseSlot.Seek(id);
  return slot != nullptr ? *slot : -1;
}

int algoMesh_Field::TupleId(const int k) const
{
  if (!m_isRuns)
  {
    return m_ids[k];
  }
  const auto next =
      std::upper_bound(m_runs.begin(), m_runs.end(), k,
                       [](const int key, const Run& run) { return key < run.FirstSlot; });
  const Run& run = *(next - 1);
  return run.FirstId + (k - run.FirstSlot);
}

int algoMesh_Field::newSlot(const int id)
{
  const int slot = m_nbTuples++;
  if (m_isRuns)
  {
    if (m_runs.empty())
    {
      m_runs.push_back(Run{id, slot});
      return slot;
    }
    const Run&      last   = m_runs.back();
    const long long lastId = static_cast<long long>(last.FirstId) + (slot - 1 - last.FirstSlot);
    if (id == lastId + 1)
    {
      return slot;
    }
    if (id > lastId)
    {
      m_runs.push_back(Run{id, slot});
      return slot;
    }
    makeGeneral();
  }
  m_ids.push_back(id);
  indexSlot(id, slot);
  return slot;
}

void algoMesh_Field::makeGeneral()
{
  // Called with the slot of the new ID already counted; it is indexed by the caller.
  const int nbListed = m_nbTuples - 1;
  m_ids.reserve(std::max<size_t>(m_data.capacity() / std::max(m_nbComponents, 1), m_nbTuples));
  for (size_t r = 0; r < m_runs.size(); ++r)
  {
    const int endSlot = r + 1 < m_runs.size() ? m_runs[r + 1].FirstSlot : nbListed;
    for (int slot = m_runs[r].FirstSlot; slot < endSlot; ++slot)
    {
      const int id = m_runs[r].FirstId + (slot - m_runs[r].FirstSlot);
      m_ids.push_back(id);
      indexSlot(id, slot);
    }
  }
  std::vector<Run>().swap(m_runs);
  m_isRuns = false;
}

void algoMesh_Field::indexSlot(const int id, const int slot)
{
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
      m_valueMap.Bind(TupleId(k), std::vector<double>(TupleAt(k), TupleAt(k) + m_nbComponents));
    }
    m_isMapValid = true;
  }
  return m_valueMap;
}
