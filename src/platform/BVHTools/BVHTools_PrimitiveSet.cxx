// Builder set-up of the primitive sets and the box separation test.
#include <BVHTools_PrimitiveSet.hxx>
#include <BVHTools_TaskFence.hxx>

#include <BVH_LinearBuilder.hxx>

#include <tbb/info.h>
#include <tbb/task_arena.h>

#include <algorithm>

IMPLEMENT_STANDARD_RTTIEXT(BVHTools::PrimitiveSet, BVH_PrimitiveSet3d)

namespace BVHTools
{

namespace
{
//! Thrown from a build step once a stop is requested: the kernel's builder has no way to
//! be interrupted, so the step unwinds it (its arrays are owned by handles and collections,
//! and TBB cancels the other tasks of a parallel pass and rethrows in the calling thread).
struct BuildStopped
{
};
} // namespace

void PrimitiveSet::InitBuilder()
{
  // A linear builder: one sort of the primitives' Morton codes, then the tree read off the
  // code bits (Lauterbach et al., "Fast BVH Construction on GPUs", 2009). Its trees are a
  // little looser than a binned SAH build's, but it builds a million triangles several
  // times faster, which dominates a self-intersection run.
  opencascade::handle<BVH_LinearBuilder<double, 3>> builder =
      new BVH_LinearBuilder<double, 3>(LeafSize(), BVH_Constants_MaxTreeDepth);
  // The kernel's parallel build forks and joins out of the sanitizer's sight.
  builder->SetParallel(m_nbThreads > 1 && !TaskFence::IsSanitized());
  myBuilder = builder;
  MarkDirty();
}

void PrimitiveSet::Update()
{
  if (!IsDirty())
  {
    return;
  }
  // The kernel's parallel loops run on TBB; the arena keeps them within the thread count.
  // The sort and the bounds are the same for any thread count, so is the tree.
  tbb::task_arena arena(ArenaSize(m_nbThreads));
  m_buildSteps.store(0, std::memory_order_relaxed);
  m_buildSwaps.store(0, std::memory_order_relaxed);
  m_isBuilding     = m_buildProgress || m_buildStop;
  m_isBuildStopped = false;
  try
  {
    arena.execute([this] { BVH_PrimitiveSet3d::Update(); });
  }
  catch (const BuildStopped&)
  {
    // The tree is half built: drop it. The set stays dirty, so the next BVH() builds anew.
    m_isBuildStopped = true;
    myBVH->Clear();
  }
  m_isBuilding = false;
}

void PrimitiveSet::reportBuildStep() const
{
  // Three boxes and about one swap per primitive. The fraction stops short of the end: what
  // a set does after the kernel's build (reordering its own arrays) is not counted, and a
  // host that stops on seeing the end of the build should see it when the build returns.
  constexpr double THE_STEPS_PER_PRIMITIVE = 4.0;
  constexpr double THE_LAST_REPORTED       = 0.9;
  if (m_buildStop && m_buildStop())
  {
    throw BuildStopped();
  }
  if (!m_buildProgress)
  {
    return;
  }
  const int64_t steps = m_buildSteps.fetch_add(1, std::memory_order_relaxed) + 1;
  const double  asked = 4096.0 * static_cast<double>(steps);
  m_buildProgress(THE_LAST_REPORTED *
                  std::min(1.0, asked / (THE_STEPS_PER_PRIMITIVE * std::max(1, Size()))));
}

int ArenaSize(const int nbThreads)
{
  return std::max(1, std::min(nbThreads, tbb::info::default_concurrency()));
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
