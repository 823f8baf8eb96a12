// Volume overlap of two closed meshes.
//
// Each mesh is voxelized into a sparse octree (finest voxels near the surface, coarse ones
// inside and outside) and its leaves classified by a flood from the outside. The leaves
// inside or on the surface of each tree go into a box hierarchy; a dual walk of the two
// hierarchies prunes every pair of nodes whose boxes are apart, and the intersections of
// the remaining leaf boxes are summed. Cost: O(n · d) triangle-box tests to voxelize n
// triangles at depth d, O(m log m) to build the hierarchies of m voxels, and the walk
// visits only pairs of boxes within the tolerance, about O(m) for two surfaces of similar
// resolution.
#include <algoMesh_CheckMeshesOverlap.hxx>

#include <algoMesh_ProgressScope.hxx>

#include <Algo_VoxelizationMinSize.hxx>
#include <SVO_ClassifyInOut.hxx>
#include <SVO_Depth_Iterator.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

#include <BVHTools_BoxSet.hxx>
#include <BVHTools_Iterator2.hxx>

#include <algoBase_Utils.hxx>

#include <Bnd_Box.hxx>

#include <algorithm>
#include <cmath>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_CheckMeshesOverlap, algoBase_Algorithm)

namespace
{

// Shares of the progress: each voxelization, each classification; the comparison takes
// the rest.
constexpr double THE_VOXELIZE_SHARE = 0.3;
constexpr double THE_CLASSIFY_SHARE = 0.1;
// Node pairs of the comparison walk between two cancellation polls.
constexpr int THE_POLL_STRIDE = 4096;

// The wrapping component's notifier over a progress scope: the component's cancellation
// polls ask the scope, its progress moves the scope.
class ScopeNotifier : public SurfWrap_ProgressNotifier
{
public:
  explicit ScopeNotifier(const algoMesh_ProgressScope& scope)
      : SurfWrap_ProgressNotifier(TCollection_AsciiString()), m_scope(scope)
  {
  }

  void Increment() override
  {
    SurfWrap_ProgressNotifier::Increment();
    m_scope.SetFraction(GetPosition());
  }

  void ProcessEvents() override {}

  bool IsInterrupted() override { return m_scope.IsCancelled(); }

private:
  algoMesh_ProgressScope m_scope;
};

// The inside and surface leaves of a tree in walk order, as boxes numbered by position.
struct VoxelList
{
  std::vector<BVHTools::BoxData> boxes;
  double                         volume    = 0.0;
  bool                           hasInside = false;
};

VoxelList collectVoxels(const Handle(SVO_Tree) & tree)
{
  VoxelList list;
  for (SVO_Depth_Iterator it(tree); it.More(); it.Next())
  {
    const int node = it.Current();
    if (!tree->IsLeaf(node) || tree->Class(node) == SVO_Outside)
    {
      continue;
    }
    list.hasInside = list.hasInside || tree->Class(node) == SVO_Inside;
    gp_XYZ lo, hi;
    tree->Box(node, lo, hi);
    BVHTools::BoxData box;
    box.minX = lo.X(), box.minY = lo.Y(), box.minZ = lo.Z();
    box.maxX = hi.X(), box.maxY = hi.Y(), box.maxZ = hi.Z();
    box.index = static_cast<int>(list.boxes.size());
    list.boxes.push_back(box);
    list.volume += (hi.X() - lo.X()) * (hi.Y() - lo.Y()) * (hi.Z() - lo.Z());
  }
  return list;
}

BVH_Vec3d minOf(const opencascade::handle<BVH_Tree<double, 3>>& tree, const int node)
{
  return tree->MinPoint(node);
}

BVH_Vec3d maxOf(const opencascade::handle<BVH_Tree<double, 3>>& tree, const int node)
{
  return tree->MaxPoint(node);
}

} // namespace

algoMesh_CheckMeshesOverlap::algoMesh_CheckMeshesOverlap(const double         voxelSizeRatio,
                                                         ActAPI_ProgressEntry progress,
                                                         ActAPI_PlotterEntry  plotter)
    : algoBase_Algorithm(progress, plotter), m_voxelSizeRatio(voxelSizeRatio), m_overlapRatio(-1.0)
{
}

bool algoMesh_CheckMeshesOverlap::Perform(const Handle(Poly_Triangulation) & first,
                                          const Handle(Poly_Triangulation) & second)
{
  // 1. No result until the comparison succeeds.
  m_overlapRatio = -1.0;

  // 2-3. Voxelize each side that has no tree yet.
  algoMesh_ProgressScope progress(m_progress, "Checking mesh overlap");
  bool                   isFirstNew = false, isSecondNew = false;
  const bool             isVoxelized =
      voxelize(first, m_firstTree, isFirstNew, progress.Next(THE_VOXELIZE_SHARE)) &&
      voxelize(second, m_secondTree, isSecondNew, progress.Next(THE_VOXELIZE_SHARE));

  // 4. Compare the voxel sets.
  const bool isCompared = isVoxelized && compare(isFirstNew, isSecondNew, progress);
  if (progress.IsCancelled())
  {
    m_overlapRatio = -1.0;
    algoMesh_ReportCancelled(m_progress);
    return false;
  }
  progress.Complete();
  return isCompared;
}

bool algoMesh_CheckMeshesOverlap::voxelize(const Handle(Poly_Triangulation) & mesh,
                                           Handle(SVO_Tree) & tree,
                                           bool&                         isNew,
                                           const algoMesh_ProgressScope& progress) const
{
  isNew = false;
  if (!tree.IsNull())
  {
    return true;
  }
  // The mesh is read into the component's own form before its first poll: ask first.
  if (progress.IsCancelled())
  {
    return false;
  }
  Bnd_Box box;
  algoBase_Utils::Bounds(mesh, TopLoc_Location(), box);
  double diagonal = 0.0;
  if (!box.IsVoid())
  {
    double xmin, ymin, zmin, xmax, ymax, zmax;
    box.Get(xmin, ymin, zmin, xmax, ymax, zmax);
    const double gap = box.GetGap();
    const double dx = xmax - xmin + 2 * gap, dy = ymax - ymin + 2 * gap, dz = zmax - zmin + 2 * gap;
    diagonal = std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  Algo_VoxelizationMinSize voxelization(mesh, new ScopeNotifier(progress));
  voxelization.SetNbThreads(GetNbThreads());
  voxelization.SetMinVoxelSize(diagonal * m_voxelSizeRatio);
  if (!voxelization.Perform())
  {
    return false;
  }
  tree  = voxelization.Tree();
  isNew = true;
  return !progress.IsCancelled();
}

bool algoMesh_CheckMeshesOverlap::compare(const bool              isFirstNew,
                                          const bool              isSecondNew,
                                          algoMesh_ProgressScope& progress)
{
  // 1. Classify the trees built in this call, and a kept tree whose earlier call stopped
  //    before classifying it (the other side failed to voxelize then, or the call was
  //    cancelled).
  const Handle(SurfWrap_ProgressNotifier) firstNotifier =
      new ScopeNotifier(progress.Next(THE_CLASSIFY_SHARE));
  if (isFirstNew || !m_firstTree->IsClassified())
  {
    SVO_ClassifyInOut(m_firstTree, firstNotifier).Perform();
  }
  const Handle(SurfWrap_ProgressNotifier) secondNotifier =
      new ScopeNotifier(progress.Next(THE_CLASSIFY_SHARE));
  if (isSecondNew || !m_secondTree->IsClassified())
  {
    SVO_ClassifyInOut(m_secondTree, secondNotifier).Perform();
  }
  if (progress.IsCancelled())
  {
    return false;
  }

  // 2-4. Collect the inside and surface voxels and their volumes.
  const VoxelList first  = collectVoxels(m_firstTree);
  const VoxelList second = collectVoxels(m_secondTree);
  if (!first.hasInside || !second.hasInside)
  {
    return false;
  }

  // 5. A box hierarchy over each list.
  Handle(BVHTools::BoxSet) firstSet  = new BVHTools::BoxSet(first.boxes);
  Handle(BVHTools::BoxSet) secondSet = new BVHTools::BoxSet(second.boxes);
  for (const Handle(BVHTools::BoxSet) & set : {firstSet, secondSet})
  {
    set->SetNbThreads(GetNbThreads());
    set->InitBuilder();
  }
  const opencascade::handle<BVH_Tree<double, 3>> firstTree  = firstSet->BVH();
  const opencascade::handle<BVH_Tree<double, 3>> secondTree = secondSet->BVH();
  if (firstTree.IsNull() || secondTree.IsNull())
  {
    return false;
  }

  // 6. Walk the pairs of nodes whose boxes are within the tolerance; sum the intersection
  //    volumes of the voxel pairs of two leaves.
  double                 shared = 0.0;
  algoMesh_ProgressScope walk   = progress.Next(1.0);
  walk.SetTotal(static_cast<int64_t>(first.boxes.size()));
  int64_t nbVisited = 0, nbLeafBoxes = 0;
  for (BVHTools::Iterator2 it(firstTree, secondTree); it.More(); it.Next())
  {
    if (++nbVisited % THE_POLL_STRIDE == 0)
    {
      walk.SetDone(nbLeafBoxes);
      if (walk.IsCancelled())
      {
        return false;
      }
    }
    const int a = it.First(), b = it.Second();
    if (firstTree->IsOuter(a) && secondTree->IsOuter(b))
    {
      nbLeafBoxes = std::max<int64_t>(nbLeafBoxes, firstTree->EndPrimitive(a) + 1);
      for (int i = firstTree->BegPrimitive(a); i <= firstTree->EndPrimitive(a); ++i)
      {
        const BVHTools::BoxData& p = firstSet->Element(i);
        for (int j = secondTree->BegPrimitive(b); j <= secondTree->EndPrimitive(b); ++j)
        {
          const BVHTools::BoxData& q  = secondSet->Element(j);
          const double             ox = std::min(p.maxX, q.maxX) - std::max(p.minX, q.minX);
          const double             oy = std::min(p.maxY, q.maxY) - std::max(p.minY, q.minY);
          const double             oz = std::min(p.maxZ, q.maxZ) - std::max(p.minZ, q.minZ);
          if (ox > 0.0 && oy > 0.0 && oz > 0.0)
          {
            shared += ox * oy * oz;
          }
        }
      }
      continue;
    }
    for (int i = 0; i < it.NbFirstChildren(); ++i)
    {
      for (int j = 0; j < it.NbSecondChildren(); ++j)
      {
        const int ca = it.FirstChild(i), cb = it.SecondChild(j);
        if (BVHTools::IsOut(minOf(firstTree, ca), maxOf(firstTree, ca), minOf(secondTree, cb),
                            maxOf(secondTree, cb), algoMesh_Tolerance))
        {
          it.Prune(i, j);
        }
      }
    }
  }

  // 7. The shared volume relative to the larger voxel volume.
  const double r1 = std::min(shared, first.volume) / std::max(shared, first.volume);
  const double r2 = std::min(shared, second.volume) / std::max(shared, second.volume);
  m_overlapRatio  = std::min(r1, r2);
  return true;
}
