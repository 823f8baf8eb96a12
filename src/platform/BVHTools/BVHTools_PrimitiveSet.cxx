// Builder set-up of the primitive sets and the box separation test.
#include <BVHTools_PrimitiveSet.hxx>

#include <BVH_BinnedBuilder.hxx>

IMPLEMENT_STANDARD_RTTIEXT(BVHTools::PrimitiveSet, BVH_PrimitiveSet3d)

namespace BVHTools
{

void PrimitiveSet::InitBuilder()
{
  // The queue builder splits nodes on up to m_nbThreads threads of its own and joins them
  // before returning; the tree it builds does not depend on the thread count.
  myBuilder = new BVH_BinnedBuilder<double, 3, 32>(LeafSize(), BVH_Constants_MaxTreeDepth,
                                                   Standard_False, m_nbThreads);
  MarkDirty();
}

bool IsOut(const BVH_Vec3d& minA,
           const BVH_Vec3d& maxA,
           const BVH_Vec3d& minB,
           const BVH_Vec3d& maxB,
           const double     tolerance)
{
  return minA.x() > maxB.x() + tolerance || minB.x() > maxA.x() + tolerance ||
         minA.y() > maxB.y() + tolerance || minB.y() > maxA.y() + tolerance ||
         minA.z() > maxB.z() + tolerance || minB.z() > maxA.z() + tolerance;
}

} // namespace BVHTools
