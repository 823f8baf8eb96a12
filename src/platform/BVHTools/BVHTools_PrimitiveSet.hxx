// Common base of the component's primitive sets: the kernel's lazily built hierarchy plus a
// builder thread count.
#ifndef BVHTools_PrimitiveSet_HeaderFile
#define BVHTools_PrimitiveSet_HeaderFile

#include <BVHTools_Export.hxx>

#include <BVH_PrimitiveSet3d.hxx>

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

protected:
  //! Builds the tree within a task arena of NbThreads() threads.
  void Update() override;

protected:
  int m_nbThreads = 1;
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
