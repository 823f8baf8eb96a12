// Box set: the boxes themselves are the primitives of the hierarchy.
#include <BVHTools_BoxSet.hxx>

#include <cmath>
#include <utility>

IMPLEMENT_STANDARD_RTTIEXT(BVHTools::BoxSet, BVHTools::PrimitiveSet)

namespace BVHTools
{

BoxSet::BoxSet(const std::vector<BoxData>& boxes)
{
  m_boxes.reserve(boxes.size());
  for (const BoxData& box : boxes)
  {
    const bool finite = std::isfinite(box.minX) && std::isfinite(box.minY) &&
                        std::isfinite(box.minZ) && std::isfinite(box.maxX) &&
                        std::isfinite(box.maxY) && std::isfinite(box.maxZ);
    if (!finite || box.minX > box.maxX || box.minY > box.maxY || box.minZ > box.maxZ)
    {
      ++m_nbRejected;
      continue;
    }
    m_boxes.push_back(box);
  }
}

BVH_Box<double, 3> BoxSet::Box(const int position) const
{
  countBuildStep(position);
  const BoxData& b = m_boxes[position];
  return BVH_Box<double, 3>(BVH_Vec3d(b.minX, b.minY, b.minZ), BVH_Vec3d(b.maxX, b.maxY, b.maxZ));
}

double BoxSet::Center(const int position, const int axis) const
{
  const BoxData& b = m_boxes[position];
  switch (axis)
  {
  case 0:
    return 0.5 * (b.minX + b.maxX);
  case 1:
    return 0.5 * (b.minY + b.maxY);
  default:
    return 0.5 * (b.minZ + b.maxZ);
  }
}

void BoxSet::Swap(const int position1, const int position2)
{
  countBuildSwap();
  std::swap(m_boxes[position1], m_boxes[position2]);
}

} // namespace BVHTools
