// Boundary edges by a counting sort: every edge use is listed under its smaller node with
// its larger node as partner, and an edge whose pair is listed once is a boundary edge
// (three times or more, a non-manifold edge).
// A counting sort by the smaller node keeps this linear and lean (4 bytes per node, 12 per
// triangle) where a hash map of edges cost over 60 bytes per triangle. Each of the three
// passes goes by blocks of triangles or nodes, reporting progress and polling for
// cancellation between blocks.
#include <algoMesh_BoundaryEdges.hxx>

#include <algoMesh_ProgressScope.hxx>

#include <algorithm>
#include <vector>

using namespace quorin;

namespace
{

// Triangles or nodes between two progress reports and cancellation polls: well under a
// millisecond of work.
constexpr int THE_BLOCK = 65536;

// Shares of the progress of the three passes, about their measured times.
constexpr double THE_COUNT_SHARE = 0.25;
constexpr double THE_LIST_SHARE  = 0.35;

//! Calls `visit(first, last)` on blocks of items 1 .. nbItems, advancing `progress` after
//! each; false when the run was cancelled before all were visited.
template <typename Visit>
bool visitBlocks(const int nbItems, algoMesh_ProgressScope progress, const Visit& visit)
{
  progress.SetTotal(nbItems);
  for (int first = 1; first <= nbItems; first += THE_BLOCK)
  {
    if (progress.IsCancelled())
    {
      return false;
    }
    const int last = nbItems - first < THE_BLOCK ? nbItems : first + THE_BLOCK - 1;
    visit(first, last);
    progress.Advance(last - first + 1);
  }
  return !progress.IsCancelled();
}

} // namespace

int algoMesh_BoundaryEdges::Count(const Handle(Poly_Triangulation) & mesh)
{
  return Count(mesh, ActAPI_ProgressEntry());
}

int algoMesh_BoundaryEdges::Count(const Handle(Poly_Triangulation) & mesh,
                                  const ActAPI_ProgressEntry& progress)
{
  Counts counts;
  return CountByUse(mesh, progress, counts) ? counts.NbBoundary : -1;
}

bool algoMesh_BoundaryEdges::CountByUse(const Handle(Poly_Triangulation) & mesh,
                                        const ActAPI_ProgressEntry& progressEntry,
                                        Counts&                     counts)
{
  counts = Counts();
  if (mesh.IsNull())
  {
    return true;
  }
  algoMesh_ProgressScope progress(progressEntry, "Counting boundary edges");
  const int              nbNodes     = mesh->NbNodes();
  const int              nbTriangles = mesh->NbTriangles();
  const auto             forEachEdge = [&](const int first, const int last, const auto& visit)
  {
    for (int t = first; t <= last; ++t)
    {
      int n[3];
      mesh->Triangle(t).Get(n[0], n[1], n[2]);
      for (int k = 0; k < 3; ++k)
      {
        const int a = std::min(n[k], n[(k + 1) % 3]);
        const int b = std::max(n[k], n[(k + 1) % 3]);
        if (a >= 1 && b <= nbNodes)
        {
          visit(a, b);
        }
      }
    }
  };
  const auto cancelled = [&progressEntry, &counts]()
  {
    counts = Counts();
    algoMesh_ReportCancelled(progressEntry);
    return false;
  };

  // 1. Count the uses listed under each node and turn the counts into start offsets.
  std::vector<int> ends(static_cast<size_t>(nbNodes) + 1, 0);
  if (!visitBlocks(nbTriangles, progress.Next(THE_COUNT_SHARE),
                   [&](const int first, const int last)
                   { forEachEdge(first, last, [&ends](const int a, const int) { ++ends[a]; }); }))
  {
    return cancelled();
  }
  for (int a = 1, start = 0; a <= nbNodes; ++a)
  {
    const int count = ends[a];
    ends[a]         = start;
    start += count;
  }

  // 2. List the partners. Filling moves each node's cursor from its start to its end,
  // which is the next node's start: node a's partners end up in [ends[a - 1], ends[a]).
  std::vector<int> partners(static_cast<size_t>(3) * nbTriangles);
  if (!visitBlocks(nbTriangles, progress.Next(THE_LIST_SHARE),
                   [&](const int first, const int last) {
                     forEachEdge(first, last,
                                 [&](const int a, const int b) { partners[ends[a]++] = b; });
                   }))
  {
    return cancelled();
  }

  // 3. Count the partners listed once, and three times or more, under their node.
  const auto countOnce = [&](const int first, const int last)
  {
    for (int a = first; a <= last; ++a)
    {
      const auto begin = partners.begin() + ends[a - 1];
      const auto end   = partners.begin() + ends[a];
      std::sort(begin, end);
      for (auto run = begin; run != end;)
      {
        const auto next = std::find_if(run, end, [run](const int b) { return b != *run; });
        counts.NbBoundary += next - run == 1 ? 1 : 0;
        counts.NbNonManifold += next - run > 2 ? 1 : 0;
        run = next;
      }
    }
  };
  if (!visitBlocks(nbNodes, progress.Next(1.0), countOnce))
  {
    return cancelled();
  }
  progress.Complete();
  return true;
}
