// Decimation defects: edges counted by use (algoMesh_BoundaryEdges), crossings found by the
// bounding-volume mesh-mesh intersection of the mesh with itself. Each step reports
// progress and polls for cancellation (the edges by blocks of triangles, the hierarchy build
// at its progress steps, every few thousand triangles, the search before each of its
// pieces).
#include <algoMesh_DecimationDefects.hxx>

#include <algoMesh_BoundaryEdges.hxx>
#include <algoMesh_ProgressScope.hxx>

#include <BVHTools_IntersectMeshMesh.hxx>
#include <BVHTools_TriangleSet.hxx>

using namespace quorin;

namespace
{
// Threads of the hierarchy build and of the crossing search.
constexpr int THE_NB_THREADS = 2;

// Shares of the progress: the edges, the hierarchy build, the crossing search.
constexpr double THE_EDGE_SHARE  = 0.15;
constexpr double THE_BUILD_SHARE = 0.3;
} // namespace

algoMesh_DecimationDefects algoMesh_DecimationDefects::Count(const Handle(Poly_Triangulation) &
                                                             mesh)
{
  algoMesh_DecimationDefects defects;
  Count(mesh, ActAPI_ProgressEntry(), defects);
  return defects;
}

bool algoMesh_DecimationDefects::Count(const Handle(Poly_Triangulation) & mesh,
                                       const ActAPI_ProgressEntry& progressEntry,
                                       algoMesh_DecimationDefects& defects,
                                       std::vector<int>*           crossingPairs)
{
  defects = algoMesh_DecimationDefects();
  if (crossingPairs != nullptr)
  {
    crossingPairs->clear();
  }
  if (mesh.IsNull() || mesh->NbTriangles() == 0)
  {
    return true;
  }
  algoMesh_ProgressScope progress(progressEntry, "Counting defects");
  const auto             cancelled = [&progressEntry, &defects]()
  {
    defects = algoMesh_DecimationDefects();
    algoMesh_ReportCancelled(progressEntry);
    return false;
  };

  // 1. Edges by use; the counter's own cancellation message is left to this one.
  algoMesh_BoundaryEdges::Counts edges;
  if (!algoMesh_BoundaryEdges::CountByUse(mesh, progress.Next(THE_EDGE_SHARE).Entry(false), edges))
  {
    return cancelled();
  }
  defects.NbBoundaryEdges    = edges.NbBoundary;
  defects.NbNonManifoldEdges = edges.NbNonManifold;

  // 2. The hierarchy, by the linear builder: the pairs found do not depend on the tree.
  Handle(BVHTools::TriangleSet) set = new BVHTools::TriangleSet(mesh);
  set->SetNbThreads(THE_NB_THREADS);
  set->InitBuilder();
  algoMesh_ProgressScope build = progress.Next(THE_BUILD_SHARE);
  set->SetBuildProgress([&build](const double fraction) { build.SetFraction(fraction); });
  set->SetBuildStop([&build]() { return build.IsCancelled(); });
  set->BVH();
  set->SetBuildProgress({});
  set->SetBuildStop({});
  if (set->IsBuildStopped() || build.IsCancelled())
  {
    return cancelled();
  }

  // 3. Crossing pairs: the self-intersection reports each pair from both sides.
  BVHTools::IntersectMeshMesh intersection(THE_NB_THREADS, set, set, true);
  algoMesh_ProgressScope      search = progress.Next(1.0);
  intersection.SetMonitor([&search](const size_t done, const size_t total)
                          { return search.Follow(done, total); });
  const bool isSearched = intersection.Perform();
  if (progress.IsCancelled())
  {
    return cancelled();
  }
  defects.NbCrossingPairs = isSearched ? intersection.Result().size() / 2 : 0;
  if (isSearched && crossingPairs != nullptr)
  {
    *crossingPairs = intersection.Result();
  }
  progress.Complete();
  return true;
}
