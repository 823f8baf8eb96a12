// Common base of the component's primitive sets: the kernel's lazily built hierarchy plus a
// builder thread count.
#ifndef BVHTools_PrimitiveSet_HeaderFile
#define BVHTools_PrimitiveSet_HeaderFile

#include <BVHTools_Export.hxx>

#include <BVH_PrimitiveSet3d.hxx>

#include <atomic>
#include <cstdint>
#include <functional>

namespace BVHTools
{

//! Hierarchy over the primitives of a derived set. The tree is built by the first call to
//! BVH() (after InitBuilder(), the kernel's linear Morton-code builder with up to
//! LeafSize() primitives per leaf, on up to NbThreads() threads) and kept; it reorders the
//! primitives, so primitive positions are valid only from then on. Once built, the set and its tree
//! are read-only and safe to query from several threads at once; the first BVH() call itself must
//! not race with others.
class BVHTools_EXPORT PrimitiveSet : public BVH_PrimitiveSet3d
{
  DEFINE_STANDARD_RTTIEXT(PrimitiveSet, BVH_PrimitiveSet3d)
public:
  //! An empty set whose hierarchy is to be built on the first BVH() call.
  PrimitiveSet() { MarkDirty(); }

  //! Number of threads the builder may use; values below 1 count as 1. Default 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }
  int  NbThreads() const { return m_nbThreads; }

  //! Prepares the hierarchy builder with the current thread count. Without this call the
  //! kernel's default builder (binned SAH, single-threaded, slower) is used.
  void InitBuilder();

  //! Most primitives in one leaf of the hierarchy.
  static constexpr int LeafSize() { return 4; }

  //! Receives the progress of the next builds, as the fraction of a build done (0 .. 0.9:
  //! the work after the kernel's build is not counted),
  //! a few thousand times per million primitives and from the building threads: it must be
  //! cheap and safe to call concurrently. An empty function reports nothing.
  void SetBuildProgress(std::function<void(double)> callback)
  {
    m_buildProgress = std::move(callback);
  }

  //! Asks `isStopRequested` at each step of the next builds (the steps of the build's
  //! progress, every few thousand primitives, from the building threads: it must be cheap
  //! and safe to call concurrently). Once it answers true the build stops where it is and
  //! BVH() returns an empty tree; the set stays valid and the next BVH() call builds again
  //! (IsBuildStopped() tells which). An empty function never stops.
  void SetBuildStop(std::function<bool()> isStopRequested)
  {
    m_buildStop = std::move(isStopRequested);
  }

  //! Whether the last build was stopped, leaving an empty tree.
  bool IsBuildStopped() const { return m_isBuildStopped; }

protected:
  //! Builds the tree within a task arena of NbThreads() threads; a stopped build leaves
  //! an empty tree and the set marked for a new build.
  void Update() override;

  //! Derived sets call this from Box(): the builder asks for each primitive's box three
  //! times (the set's bounds, the Morton codes, the leaf bounds), so during a build every
  //! 4096th position asked for is a step of the build's progress.
  void countBuildStep(const int position) const
  {
    if ((position & 4095) == 0 && m_isBuilding)
    {
      reportBuildStep();
    }
  }

  //! Derived sets call this from Swap(): the builder's reordering swaps about once per
  //! primitive, and every 4096th swap is a step of the build's progress.
  void countBuildSwap()
  {
    if (m_isBuilding && ((m_buildSwaps.fetch_add(1, std::memory_order_relaxed) + 1) & 4095) == 0)
    {
      reportBuildStep();
    }
  }

private:
  void reportBuildStep() const;

protected:
  int m_nbThreads = 1;

private:
  std::function<void(double)>  m_buildProgress;
  std::function<bool()>        m_buildStop;
  mutable std::atomic<int64_t> m_buildSteps{0};
  std::atomic<int64_t>         m_buildSwaps{0};
  bool                         m_isBuilding     = false;
  bool                         m_isBuildStopped = false;
};

//! Slots of a task arena for a requested thread count: at least 1, at most what the machine
//! runs concurrently. More slots would only wait, and TBB warns on the standard error when
//! an arena asks for more workers than it allows.
BVHTools_EXPORT int ArenaSize(const int nbThreads);

//! True when the boxes [minA, maxA] and [minB, maxB] are apart by more than `tolerance`
//! (model units, >= 0) along at least one axis; boxes that touch or overlap are not out.
BVHTools_EXPORT bool IsOut(const BVH_Vec3d& minA,
                           const BVH_Vec3d& maxA,
                           const BVH_Vec3d& minB,
                           const BVH_Vec3d& maxB,
                           const double     tolerance);

} // namespace BVHTools

#endif
