// Exact point merging through a hash table of coordinates.
//
// Each point is hashed from the bits of its three coordinates, in the type of the point
// array (a float array keeps floats, so the query is rounded to float first, as the VTK
// locators compare), with -0 taken as +0 since the two compare equal. The table holds
// point indices in open addressing with linear probing, at most half full, and doubles
// when it fills; it compares candidates with the coordinates in the point array, so it
// costs 4 to 8 bytes per point. Cost: O(1) expected per insertion and look-up.
#include <algoMesh_vtkExactPointLocator.hxx>

#include <vtkIdList.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cstring>

vtkStandardNewMacro(algoMesh_vtkExactPointLocator);

namespace
{
// Smallest table, in slots.
constexpr size_t THE_MIN_SLOTS = 1024;

template <typename T> uint64_t bitsOf(const T value)
{
  // +0 for -0: the two are equal points and must meet in one slot.
  const T normal = value + T(0);
  if constexpr (sizeof(T) == 8)
  {
    uint64_t bits;
    std::memcpy(&bits, &normal, 8);
    return bits;
  }
  else
  {
    uint32_t bits;
    std::memcpy(&bits, &normal, 4);
    return bits;
  }
}

template <typename T> size_t hashOf(const T p[3])
{
  uint64_t h = bitsOf(p[0]) * 0x9E3779B97F4A7C15ULL;
  h ^= (h >> 32) ^ (bitsOf(p[1]) * 0xC2B2AE3D27D4EB4FULL);
  h ^= (h >> 29) ^ (bitsOf(p[2]) * 0x165667B19E3779F9ULL);
  return static_cast<size_t>(h ^ (h >> 32));
}

// Slot of the point equal to `query` among `coords` (three values per point), or of the
// empty slot where it would go.
template <typename T>
size_t findSlot(const std::vector<uint32_t>& slots, const T* coords, const T query[3])
{
  const size_t mask = slots.size() - 1;
  for (size_t s = hashOf(query) & mask;; s = (s + 1) & mask)
  {
    if (slots[s] == 0)
    {
      return s;
    }
    const T* p = coords + 3 * static_cast<size_t>(slots[s] - 1);
    if (p[0] == query[0] && p[1] == query[1] && p[2] == query[2])
    {
      return s;
    }
  }
}
} // namespace

algoMesh_vtkExactPointLocator::algoMesh_vtkExactPointLocator() : m_points(nullptr), m_nbIndexed(0)
{
  this->Tolerance = 0.0; // the only one supported, unlike the base class's 0.001
}

algoMesh_vtkExactPointLocator::~algoMesh_vtkExactPointLocator() = default;

int algoMesh_vtkExactPointLocator::InitPointInsertion(vtkPoints* newPts, const double bounds[6])
{
  return InitPointInsertion(newPts, bounds, 0);
}

int algoMesh_vtkExactPointLocator::InitPointInsertion(vtkPoints*   newPts,
                                                      const double bounds[6],
                                                      vtkIdType    estSize)
{
  FreeSearchStructure();
  if (newPts == nullptr || this->Tolerance != 0.0 ||
      (newPts->GetDataType() != VTK_DOUBLE && newPts->GetDataType() != VTK_FLOAT))
  {
    vtkErrorMacro(<< "Exact merging needs float or double points and a zero tolerance.");
    return 0;
  }
  if (bounds != nullptr)
  {
    std::copy(bounds, bounds + 6, this->Bounds);
  }
  m_points       = newPts;
  size_t nbSlots = THE_MIN_SLOTS;
  while (nbSlots <
         2 * static_cast<size_t>(std::max<vtkIdType>(estSize, newPts->GetNumberOfPoints())))
  {
    nbSlots *= 2;
  }
  rehash(nbSlots);
  return 1;
}

size_t algoMesh_vtkExactPointLocator::slotOf(const double x[3]) const
{
  if (m_points->GetDataType() == VTK_DOUBLE)
  {
    return findSlot(m_slots, static_cast<const double*>(m_points->GetVoidPointer(0)), x);
  }
  const float query[3] = {static_cast<float>(x[0]), static_cast<float>(x[1]),
                          static_cast<float>(x[2])};
  return findSlot(m_slots, static_cast<const float*>(m_points->GetVoidPointer(0)), query);
}

void algoMesh_vtkExactPointLocator::index(const vtkIdType id)
{
  if (2 * (m_nbIndexed + 1) > m_slots.size())
  {
    rehash(2 * m_slots.size()); // records every stored point, `id` included
    return;
  }
  record(id);
}

void algoMesh_vtkExactPointLocator::record(const vtkIdType id)
{
  double x[3];
  m_points->GetPoint(id, x);
  uint32_t& slot = m_slots[slotOf(x)];
  if (slot == 0)
  {
    slot = static_cast<uint32_t>(id + 1);
    ++m_nbIndexed;
  }
}

void algoMesh_vtkExactPointLocator::rehash(const size_t nbSlots)
{
  m_slots.assign(nbSlots, 0);
  m_nbIndexed = 0;
  for (vtkIdType id = 0; id < m_points->GetNumberOfPoints(); ++id)
  {
    record(id);
  }
}

vtkIdType algoMesh_vtkExactPointLocator::IsInsertedPoint(const double x[3])
{
  if (m_points == nullptr)
  {
    return -1;
  }
  return static_cast<vtkIdType>(m_slots[slotOf(x)]) - 1;
}

vtkIdType algoMesh_vtkExactPointLocator::IsInsertedPoint(double x, double y, double z)
{
  const double point[3] = {x, y, z};
  return IsInsertedPoint(point);
}

int algoMesh_vtkExactPointLocator::InsertUniquePoint(const double x[3], vtkIdType& ptId)
{
  ptId = IsInsertedPoint(x);
  if (ptId >= 0 || m_points == nullptr)
  {
    return 0;
  }
  ptId = InsertNextPoint(x);
  return 1;
}

void algoMesh_vtkExactPointLocator::InsertPoint(const vtkIdType ptId, const double x[3])
{
  if (m_points != nullptr)
  {
    m_points->InsertPoint(ptId, x);
    index(ptId);
  }
}

vtkIdType algoMesh_vtkExactPointLocator::InsertNextPoint(const double x[3])
{
  if (m_points == nullptr)
  {
    return -1;
  }
  const vtkIdType id = m_points->InsertNextPoint(x);
  index(id);
  return id;
}

vtkIdType algoMesh_vtkExactPointLocator::FindClosestInsertedPoint(const double x[3])
{
  return IsInsertedPoint(x);
}

vtkIdType algoMesh_vtkExactPointLocator::FindClosestPoint(const double*)
{
  vtkErrorMacro(<< "Exact merging only: no search for the closest point.");
  return -1;
}

vtkIdType
algoMesh_vtkExactPointLocator::FindClosestPointWithinRadius(double, const double*, double& dist2)
{
  vtkErrorMacro(<< "Exact merging only: no search within a radius.");
  dist2 = -1.0;
  return -1;
}

void algoMesh_vtkExactPointLocator::FindClosestNPoints(int, const double*, vtkIdList* result)
{
  vtkErrorMacro(<< "Exact merging only: no search for the closest points.");
  result->Reset();
}

void algoMesh_vtkExactPointLocator::FindPointsWithinRadius(double, const double*, vtkIdList* result)
{
  vtkErrorMacro(<< "Exact merging only: no search within a radius.");
  result->Reset();
}

void algoMesh_vtkExactPointLocator::FreeSearchStructure()
{
  std::vector<uint32_t>().swap(m_slots);
  m_points    = nullptr;
  m_nbIndexed = 0;
}
