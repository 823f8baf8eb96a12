// The quadric filter's result checked against the guarantees of the topology-preserving
// decimation (algoMesh_TopoDecimation), so that the cheaper filter stands in for the collapser
// whenever its result is as good.
//
// What the collapser guarantees on a closed, oriented, manifold input, and the check that
// stands for each here:
// - Its collapses keep the link condition and never reduce a closed component below a
//   tetrahedron, so its result is a closed oriented manifold homeomorphic to the input,
//   component by component. Check: every edge of the result is used once in each direction,
//   the triangles around every node form one fan of at least three, and the components have
//   the input's Euler characteristics (compared as sorted lists). Closed orientable surfaces
//   with equal characteristics are homeomorphic, so this is the same property, read off the
//   result instead of kept collapse by collapse.
// - No collapse makes a degenerate triangle. Check: no result triangle has collinear corners.
// - No collapse brings a changed triangle into contact with a triangle that shares no node
//   with its ring (BVHTools::NeighboursIntersect, exact), and the triangles beside the ring are
//   kept from folding onto each other by the turn limit. Check: no two result triangles meet,
//   by the same predicate, over all pairs, those sharing a node or an edge included (the
//   defect report's crossing search). This is stronger: it also covers the pairs the
//   collapser leaves to its turn limit, and a result with no crossing pair has no new one
//   whatever the input had.
// - No collapse turns a triangle's normal by more than about 80 degrees. The filter keeps each
//   triangle's identity through its collapses, so each result triangle is compared with the
//   input triangle it descends from. Check: every result normal within the same limit of its
//   ancestor's. This is stricter than the collapser's limit for a triangle that turns slowly
//   over many collapses; such a result only goes to the collapser.
// Every check is exact or integer and runs on the result as returned (single-precision
// nodes), so an accepted result has every property the collapser's would have.
// When the result is refused, FindPrefix looks for an earlier state of the same run that
// passes: the filter logs its collapses (20 bytes each), and the states are rebuilt from the
// input by following each removed node to its survivor. The turn is then checked collapse by
// collapse, as the collapser checks it (every changed triangle against itself before the
// collapse), in one replay that stops at the first collapse turning a triangle too far;
// the states tried lie before it, so only the other checks run on each. The states tried
// leave 1.1, 1.25, 1.5 and 2 times the target triangles: the earliest breakage seen (thin
// shells, kernel meshes) came in the last 5 - 15 % of the reduction. FindState runs the same
// replay on the log of the collapser's own run without its contact test, whose result
// crossed: there the replay passes every collapse (they were checked for their turn as they
// ran). Its states start from the latest that the result's crossing pairs allow and reach
// back to half the reduction, since crossings between near walls can begin that early.
// Cost: the filter; O(n) for the input's topology (half-edges bucketed by node, sorted per
// node) and ancestor normals; O(m) for the result's topology and normals and O(m log m) for
// its crossing search (m result triangles); a search for a state: O(n + k r) for the replay
// of k collapses of rings of r triangles, then per state tried O(n) to rebuild it and its
// checks. Each step reports progress and polls for cancellation.
#include <algoMesh_VerifiedQuadricFilter.hxx>

#include <algoMesh_Convert.hxx>
#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_DecimationInput.hxx>
#include <algoMesh_VTKProgress.pxx>
#include <algoMesh_vtkQuadricDecimation.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkCellType.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quorin
{

namespace
{

// Shares of the progress, in proportion to the time each step took on a 200k-triangle torus
// reduced by 90 %; the crossing search takes what the others leave.
const double THE_INPUT_SHARE  = 0.05;
const double THE_FILTER_SHARE = 0.86;
const double THE_BACK_SHARE   = 0.015;
const double THE_RESULT_SHARE = 0.01;
const int    THE_POLL_ITEMS   = 1024;
// Shares of the search of a checked state: the input's topology, then per state its replay
// and its checks before the crossing search.
const double THE_PREFIX_INPUT_SHARE = 0.1;
const double THE_REPLAY_SHARE       = 0.3;
const double THE_STATE_SHARE        = 0.2;
// Share of the latest state allowed, when the caller names one: tried before the others.
const double THE_LATEST_STATE_SHARE = 0.25;

using Triangles = std::vector<std::array<int, 3>>;
using Normal    = std::array<double, 3>;

//! Items done by one step: every THE_POLL_ITEMS of them the progress moves and the run is
//! polled for cancellation.
class Pace
{
public:
  Pace(const algoMesh_ProgressScope& progress, const int64_t nbItems) : m_progress(progress)
  {
    m_progress.SetTotal(std::max<int64_t>(1, nbItems));
  }
  //! Counts one more item; false once the run is cancelled.
  bool Tick()
  {
    if (++m_done % THE_POLL_ITEMS != 0)
    {
      return true;
    }
    m_progress.SetDone(m_done);
    return !m_progress.IsCancelled();
  }
  //! Moves to the end of the step; false when the run is cancelled.
  bool Complete()
  {
    m_progress.Complete();
    return !m_progress.IsCancelled();
  }

private:
  algoMesh_ProgressScope m_progress;
  int64_t                m_done = 0;
};

Normal normalOf(const double* a, const double* b, const double* c)
{
  const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

//! What the checks compare between input and result.
struct Topology
{
  bool                 IsClosedManifold = false; //!< closed, oriented, manifold
  std::vector<int64_t> Characteristics;          //!< Euler characteristic per component, sorted
};

//! The topology of `triangles` over nodes 0 .. nbNodes - 1; false when cancelled.
bool describe(const Triangles&              triangles,
              const int                     nbNodes,
              const algoMesh_ProgressScope& progress,
              Topology&                     topology)
{
  topology = Topology();
  Pace pace(progress, 3 * static_cast<int64_t>(triangles.size()) + 2 * int64_t(nbNodes));
  // 1. The half-edges leaving each node, as (next corner, corner after it), bucketed by node
  //    and sorted within each bucket by the next corner.
  std::vector<int64_t> start(static_cast<size_t>(nbNodes) + 1, 0);
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (const int node : tri)
    {
      if (node < 0 || node >= nbNodes)
      {
        return pace.Complete(); // cannot happen for a checked mesh; not manifold either way
      }
      ++start[node + 1];
    }
    if (tri[0] == tri[1] || tri[1] == tri[2] || tri[0] == tri[2])
    {
      return pace.Complete();
    }
  }
  for (int v = 0; v < nbNodes; ++v)
  {
    start[v + 1] += start[v];
  }
  std::vector<uint64_t> fans(3 * triangles.size());
  std::vector<int64_t>  fill(start.begin(), start.end() - 1);
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (int k = 0; k < 3; ++k)
    {
      fans[fill[tri[k]]++] = uint64_t(tri[(k + 1) % 3]) << 32 | uint32_t(tri[(k + 2) % 3]);
    }
  }
  std::vector<int64_t>().swap(fill);
  for (int v = 0; v < nbNodes; ++v)
  {
    if (!pace.Tick())
    {
      return false;
    }
    std::sort(fans.begin() + start[v], fans.begin() + start[v + 1]);
  }
  // The half-edge from `v` to `next`, as its fan entry; null when there is none.
  const auto halfEdge = [&](const int v, const int next) -> const uint64_t*
  {
    const uint64_t* first = fans.data() + start[v];
    const uint64_t* last  = fans.data() + start[v + 1];
    const uint64_t* at    = std::lower_bound(first, last, uint64_t(next) << 32);
    return at != last && int(*at >> 32) == next ? at : nullptr;
  };

  // 2. Every half-edge once, with its opposite (closed, manifold edges, oriented), and the
  //    triangles around every used node one fan of at least three (manifold nodes).
  for (int v = 0; v < nbNodes; ++v)
  {
    if (!pace.Tick())
    {
      return false;
    }
    const int64_t size = start[v + 1] - start[v];
    if (size == 0)
    {
      continue;
    }
    if (size < 3)
    {
      return pace.Complete();
    }
    for (int64_t i = start[v]; i < start[v + 1]; ++i)
    {
      const int next = int(fans[i] >> 32);
      if ((i > start[v] && int(fans[i - 1] >> 32) == next) || halfEdge(next, v) == nullptr)
      {
        return pace.Complete();
      }
    }
    // Around v, triangle (v, b, c) leads from b to c; one cycle must visit all of them.
    const int first = int(fans[start[v]] >> 32);
    int       at    = first;
    int64_t   steps = 0;
    do
    {
      const uint64_t* entry = halfEdge(v, at);
      if (entry == nullptr)
      {
        return pace.Complete();
      }
      at = int(*entry & 0xffffffffu);
      ++steps;
    } while (at != first && steps <= size);
    if (steps != size)
    {
      return pace.Complete();
    }
  }

  // 3. Components (union-find over nodes) and their Euler characteristics V - E + F, with
  //    E = 3 F / 2 on a closed surface.
  std::vector<int> parent(static_cast<size_t>(nbNodes));
  for (int v = 0; v < nbNodes; ++v)
  {
    parent[v] = v;
  }
  const auto root = [&parent](int x)
  {
    while (parent[x] != x)
    {
      x = parent[x] = parent[parent[x]];
    }
    return x;
  };
  for (const std::array<int, 3>& tri : triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    parent[root(tri[1])] = root(tri[0]);
    parent[root(tri[2])] = root(tri[0]);
  }
  std::vector<int64_t> twiceCharacteristic(static_cast<size_t>(nbNodes), 0);
  std::vector<char>    isComponent(static_cast<size_t>(nbNodes), 0);
  for (int v = 0; v < nbNodes; ++v)
  {
    if (start[v + 1] > start[v])
    {
      twiceCharacteristic[root(v)] += 2; // its node; each triangle then takes one off
      isComponent[root(v)] = 1;
    }
  }
  for (const std::array<int, 3>& tri : triangles)
  {
    --twiceCharacteristic[root(tri[0])];
  }
  for (int v = 0; v < nbNodes; ++v)
  {
    if (isComponent[v])
    {
      topology.Characteristics.push_back(twiceCharacteristic[v] / 2);
    }
  }
  std::sort(topology.Characteristics.begin(), topology.Characteristics.end());
  topology.IsClosedManifold = true;
  return pace.Complete();
}

//! Hands the pages of freed heap blocks back to the system. The set-up's arrays (the input's
//! conversion, its topology) are freed by now but, below the allocator's raised threshold,
//! they stay resident between live blocks, and the filter's peak would stand on top of them.
void returnFreedMemory()
{
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

//! Sets `reason` (when given) and answers `verdict`.
algoMesh_VerifiedQuadricFilter::Verdict
answer(const algoMesh_VerifiedQuadricFilter::Verdict verdict,
       TCollection_AsciiString*                      reason,
       const char*                                   text)
{
  if (reason != nullptr)
  {
    *reason = text;
  }
  return verdict;
}

//! The checks standing for the collapser's guarantees, on a state of the filter's run (its
//! result or an earlier one): `ancestorOf[t]` is the input cell triangle t descends from,
//! `mesh` the state as a kernel mesh, `before` the input's topology. The turn is checked
//! against the ancestor only when `isTurnFromAncestor` (a state whose collapses were each
//! checked for it needs no more). Accepted when every check passes; Refused with the reason
//! otherwise.
algoMesh_VerifiedQuadricFilter::Verdict checkState(const std::vector<std::array<double, 3>>& nodes,
                                                   const Triangles&        triangles,
                                                   const std::vector<int>& ancestorOf,
                                                   const Handle(Poly_Triangulation) & mesh,
                                                   const Handle(Poly_Triangulation) & input,
                                                   const Topology&          before,
                                                   const bool               isTurnFromAncestor,
                                                   algoMesh_ProgressScope   resultStep,
                                                   algoMesh_ProgressScope   crossingStep,
                                                   TCollection_AsciiString* reason)
{
  using Verdict         = algoMesh_VerifiedQuadricFilter::Verdict;
  const Verdict refused = algoMesh_VerifiedQuadricFilter::Verdict_Refused;
  // 1. No degenerate triangle, no normal turned beyond the limit from its ancestor's.
  const auto inputNode = [&input](const int node) -> std::array<double, 3>
  {
    const gp_Pnt p = input->Node(node);
    return {p.X(), p.Y(), p.Z()};
  };
  for (size_t t = 0; t < triangles.size(); ++t)
  {
    if (t % THE_POLL_ITEMS == 0 && resultStep.IsCancelled())
    {
      return algoMesh_VerifiedQuadricFilter::Verdict_Cancelled;
    }
    const double* a = nodes[triangles[t][0]].data();
    const double* b = nodes[triangles[t][1]].data();
    const double* c = nodes[triangles[t][2]].data();
    if (BVHTools::IsDegenerate({{a, b, c}}))
    {
      return answer(refused, reason, "the result has a degenerate triangle");
    }
    if (!isTurnFromAncestor)
    {
      continue;
    }
    int m[3];
    input->Triangle(ancestorOf[t] + 1).Get(m[0], m[1], m[2]);
    const std::array<double, 3> p0 = inputNode(m[0]), p1 = inputNode(m[1]), p2 = inputNode(m[2]);
    const Normal                now  = normalOf(a, b, c);
    const Normal                then = normalOf(p0.data(), p1.data(), p2.data());
    const double                dot  = now[0] * then[0] + now[1] * then[1] + now[2] * then[2];
    const double size = std::sqrt((now[0] * now[0] + now[1] * now[1] + now[2] * now[2]) *
                                  (then[0] * then[0] + then[1] * then[1] + then[2] * then[2]));
    if (!(dot > algoMesh_VerifiedQuadricFilter::MaxTurnCosine * size))
    {
      return answer(refused, reason,
                    "a triangle of the result turned beyond the limit from its ancestor");
    }
  }
  // 2. The input's topology.
  Topology after;
  if (!describe(triangles, static_cast<int>(nodes.size()), resultStep, after))
  {
    return algoMesh_VerifiedQuadricFilter::Verdict_Cancelled;
  }
  if (!after.IsClosedManifold)
  {
    return answer(refused, reason, "the result is not a closed, oriented, manifold surface");
  }
  if (after.Characteristics != before.Characteristics)
  {
    return answer(refused, reason, "the result's components differ from the input's");
  }
  // 3. No two triangles in contact beyond a shared node or edge.
  algoMesh_DecimationDefects defects;
  if (!algoMesh_DecimationDefects::Count(mesh, crossingStep.Entry(false), defects))
  {
    return algoMesh_VerifiedQuadricFilter::Verdict_Cancelled;
  }
  if (defects.NbCrossingPairs != 0)
  {
    return answer(refused, reason, "the result has crossing triangles");
  }
  return answer(algoMesh_VerifiedQuadricFilter::Verdict_Accepted, reason, "");
}

//! Replays the logged collapses on `cells` over `nodes` as the filter made them (a triangle
//! on the collapsed edge goes, and so does one that the move would make a copy of another),
//! checking each as the collapser checks its own: no changed triangle turns by the limit or
//! more, or loses its area. Sets `deletedAt[c]` to the collapse that removed cell c (the
//! log's size when none did) and `nbGood` to the number of collapses before the first one
//! that fails. False when cancelled.
bool replayTurns(const Triangles&                                            cells,
                 const std::vector<std::array<double, 3>>&                   nodes,
                 const std::vector<algoMesh_vtkQuadricDecimation::Collapse>& log,
                 const algoMesh_ProgressScope&                               progress,
                 std::vector<int>&                                           deletedAt,
                 size_t&                                                     nbGood)
{
  Pace pace(progress, 2 * static_cast<int64_t>(cells.size()) + static_cast<int64_t>(log.size()));
  Triangles                          triangles(cells);
  std::vector<std::array<double, 3>> places(nodes);
  std::vector<std::vector<int>>      around(nodes.size());
  for (size_t t = 0; t < triangles.size(); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (const int node : triangles[t])
    {
      around[node].push_back(static_cast<int>(t));
    }
  }
  const int alive = static_cast<int>(log.size());
  deletedAt.assign(cells.size(), alive);
  nbGood = 0;
  std::vector<int> gone, moved;
  for (size_t i = 0; i < log.size(); ++i)
  {
    if (!pace.Tick())
    {
      return false;
    }
    const int                   s = log[i].Survivor, r = log[i].Removed;
    const std::array<double, 3> x   = {log[i].Position[0], log[i].Position[1], log[i].Position[2]};
    const auto                  has = [&triangles](const int t, const int v)
    { return triangles[t][0] == v || triangles[t][1] == v || triangles[t][2] == v; };
    // 1. The triangles on the edge, and those of r that would copy a triangle of s.
    gone.clear();
    moved.clear();
    for (const int t : around[r])
    {
      if (has(t, s))
      {
        gone.push_back(t);
        continue;
      }
      bool isCopy = false;
      for (const int u : around[s])
      {
        if (!has(u, r) && std::find(gone.begin(), gone.end(), u) == gone.end())
        {
          int nbShared = 0;
          for (const int corner : triangles[t])
          {
            nbShared += has(u, corner == r ? s : corner) ? 1 : 0;
          }
          isCopy = isCopy || nbShared == 3;
        }
      }
      (isCopy ? gone : moved).push_back(t);
    }
    // 2. Every other triangle at either end keeps its area and turns less than the limit.
    for (const int end : {s, r})
    {
      for (const int t : around[end])
      {
        if (std::find(gone.begin(), gone.end(), t) != gone.end())
        {
          continue;
        }
        const double* before[3];
        const double* after[3];
        for (int k = 0; k < 3; ++k)
        {
          const int corner = triangles[t][k];
          before[k]        = places[corner].data();
          after[k]         = corner == s || corner == r ? x.data() : places[corner].data();
        }
        const Normal n0 = normalOf(before[0], before[1], before[2]);
        const Normal n1 = normalOf(after[0], after[1], after[2]);
        const double l0 = std::sqrt(n0[0] * n0[0] + n0[1] * n0[1] + n0[2] * n0[2]);
        const double l1 = std::sqrt(n1[0] * n1[0] + n1[1] * n1[1] + n1[2] * n1[2]);
        if (!(l1 > 0.0) || n0[0] * n1[0] + n0[1] * n1[1] + n0[2] * n1[2] <=
                               algoMesh_VerifiedQuadricFilter::MaxTurnCosine * l0 * l1)
        {
          return pace.Complete();
        }
      }
    }
    // 3. The collapse.
    for (const int t : gone)
    {
      deletedAt[t] = static_cast<int>(i);
    }
    std::vector<int>& kept = around[s];
    kept.erase(std::remove_if(kept.begin(), kept.end(),
                              [&](const int t) { return deletedAt[t] != alive; }),
               kept.end());
    for (const int t : moved)
    {
      std::replace(triangles[t].begin(), triangles[t].end(), r, s);
      kept.push_back(t);
    }
    for (const int t : gone)
    {
      for (const int corner : triangles[t])
      {
        if (corner != s && corner != r)
        {
          std::vector<int>& list = around[corner];
          list.erase(std::remove(list.begin(), list.end(), t), list.end());
        }
      }
    }
    std::vector<int>().swap(around[r]);
    places[s] = x;
    nbGood    = i + 1;
  }
  return pace.Complete();
}

//! The collapser's log needs no replay: each of its collapses was checked for its turn as it
//! ran, and a triangle goes exactly when two of its corners merge, which the rebuild of a
//! state sees. Every cell stays (`deletedAt`), every collapse is good.
bool replayTurns(const Triangles& cells,
                 const std::vector<std::array<double, 3>>&,
                 const std::vector<algoMesh_VerifiedQuadricFilter::CollapserStep>& log,
                 const algoMesh_ProgressScope&                                     progress,
                 std::vector<int>&                                                 deletedAt,
                 size_t&                                                           nbGood)
{
  deletedAt.assign(cells.size(), static_cast<int>(log.size()));
  nbGood = log.size();
  return !progress.IsCancelled();
}

//! The search of FindPrefix and FindState, once the input the log numbers is in
//! `prefix.InputNodes` and `prefix.InputTriangles`. `Log` is the filter's log or the
//! collapser's; no state after `nbLatest` collapses is tried.
template <class Log>
bool searchStates(const Log&                              log,
                  const size_t                            nbLatest,
                  const double                            reduction,
                  algoMesh_VerifiedQuadricFilter::Prefix& prefix,
                  algoMesh_ProgressScope                  progress)
{
  using V                  = algoMesh_VerifiedQuadricFilter;
  const Triangles& cells   = prefix.InputTriangles;
  const vtkIdType  nbCells = static_cast<vtkIdType>(cells.size());
  const vtkIdType  nbNodes = static_cast<vtkIdType>(prefix.InputNodes.size());
  const Handle(Poly_Triangulation) noInput; // the turn is checked by the replay, not from here
  for (const auto& collapse : log)
  {
    if (collapse.Survivor < 0 || collapse.Survivor >= nbNodes || collapse.Removed < 0 ||
        collapse.Removed >= nbNodes)
    {
      return !progress.IsCancelled();
    }
  }

  // 1. The collapses replayed up to the first that the collapser would refuse for its turn.
  std::vector<int> deletedAt;
  size_t           nbGood = 0;
  if (!replayTurns(cells, prefix.InputNodes, log, progress.Next(THE_REPLAY_SHARE), deletedAt,
                   nbGood))
  {
    return false;
  }

  const double target = double(nbCells) * (1.0 - std::max(0.0, std::min(100.0, reduction)) / 100.0);
  // A state further back than five times the target (half the collapses of a 90 % reduction)
  // leaves the collapser most of the work, and the search would cost more than it saves.
  // Between the two, near solids whose crossings begin at 60 % of the reduction go on from
  // a state there, at less than the collapser's cost from the input.
  const size_t nbLeast = size_t((double(nbCells) - std::min(double(nbCells), 5.0 * target)) / 2.0);
  Topology     before;
  if (nbGood < nbLeast ||
      !describe(cells, static_cast<int>(nbNodes), progress.Next(THE_PREFIX_INPUT_SHARE), before))
  {
    return nbGood < nbLeast && !progress.IsCancelled();
  }

  // 2. The state after a share of the good collapses: the one leaving 1.25 times the target
  //    first, then 1.1 times when it passes and twice when it does not, so that two states
  //    are checked (the crossing search is most of the cost). A collapse of a closed manifold
  //    removes two triangles, which places each state by its count.
  // States at or after one refused are not tried: crossings, once there, usually stay.
  size_t     lastTried = 0, refusedAt = SIZE_MAX;
  const auto countAt = [&](const double factor)
  {
    const double left = std::min(double(nbCells), factor * target);
    return std::min(nbGood, size_t((double(nbCells) - left) / 2.0));
  };
  const auto tryState = [&](const size_t nbCollapses, algoMesh_ProgressScope step) -> V::Verdict
  {
    if (nbCollapses == 0 || nbCollapses < nbLeast || nbCollapses == lastTried ||
        nbCollapses >= refusedAt)
    {
      return V::Verdict_NotApplicable;
    }
    lastTried = nbCollapses;
    // 2a. Each removed node points to its survivor, which holds the position.
    Pace             pace(step.Next(THE_STATE_SHARE), int64_t(nbCollapses) + 2 * nbNodes + nbCells);
    std::vector<int> parent(static_cast<size_t>(nbNodes));
    std::vector<std::array<double, 3>> places(prefix.InputNodes);
    for (vtkIdType i = 0; i < nbNodes; ++i)
    {
      parent[i] = static_cast<int>(i);
    }
    for (size_t i = 0; i < nbCollapses; ++i)
    {
      if (!pace.Tick())
      {
        return V::Verdict_Cancelled;
      }
      const auto& collapse      = log[i];
      parent[collapse.Removed]  = collapse.Survivor;
      places[collapse.Survivor] = {collapse.Position[0], collapse.Position[1],
                                   collapse.Position[2]};
    }
    const auto root = [&parent](int x)
    {
      while (parent[x] != x)
      {
        x = parent[x] = parent[parent[x]];
      }
      return x;
    };
    // 2b. The triangles still there, over the nodes they use, renumbered.
    std::vector<int>                   number(static_cast<size_t>(nbNodes), -1);
    Triangles                          triangles;
    std::vector<int>                   ancestorOf;
    std::vector<std::array<double, 3>> nodes;
    for (vtkIdType cell = 0; cell < nbCells; ++cell)
    {
      if (!pace.Tick())
      {
        return V::Verdict_Cancelled;
      }
      if (deletedAt[cell] < static_cast<int>(nbCollapses))
      {
        continue;
      }
      std::array<int, 3> tri;
      for (int k = 0; k < 3; ++k)
      {
        tri[k] = root(cells[cell][k]);
      }
      if (tri[0] == tri[1] || tri[1] == tri[2] || tri[0] == tri[2])
      {
        continue;
      }
      for (int& corner : tri)
      {
        if (number[corner] < 0)
        {
          number[corner] = static_cast<int>(nodes.size());
          nodes.push_back(places[corner]);
        }
        corner = number[corner];
      }
      triangles.push_back(tri);
      ancestorOf.push_back(static_cast<int>(cell));
    }
    std::vector<std::array<double, 3>>().swap(places);
    if (triangles.size() < 4)
    {
      return V::Verdict_Refused; // no closed surface left
    }
    Handle(Poly_Triangulation) mesh = new Poly_Triangulation(
        static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
    for (size_t i = 0; i < nodes.size(); ++i)
    {
      mesh->SetNode(int(i) + 1, gp_Pnt(nodes[i][0], nodes[i][1], nodes[i][2]));
    }
    for (size_t t = 0; t < triangles.size(); ++t)
    {
      mesh->SetTriangle(
          int(t) + 1, Poly_Triangle(triangles[t][0] + 1, triangles[t][1] + 1, triangles[t][2] + 1));
    }
    // 2c. The same checks as the filter's result, the turn checked above.
    const V::Verdict verdict =
        checkState(nodes, triangles, ancestorOf, mesh, noInput, before, false,
                   step.Next(THE_STATE_SHARE), step.Next(1.0), nullptr);
    if (verdict != V::Verdict_Accepted)
    {
      refusedAt = verdict == V::Verdict_Refused ? nbCollapses : refusedAt;
      return verdict;
    }
    prefix.NodeOf.assign(static_cast<size_t>(nbNodes), -1);
    for (vtkIdType i = 0; i < nbNodes; ++i)
    {
      prefix.NodeOf[i] = number[root(static_cast<int>(i))];
    }
    prefix.Nodes       = std::move(nodes);
    prefix.Triangles   = std::move(triangles);
    prefix.NbCollapses = nbCollapses;
    return V::Verdict_Accepted;
  };
  // The latest state the caller allows first: when it passes, no later one could. When it
  // does not, the next try is halfway back to the earliest state worth trying, then the
  // earliest itself, or halfway forward again when the halfway state passes.
  const bool isBounded   = nbLatest < nbGood;
  size_t     middleCount = countAt(1.25), earliestCount = countAt(2.0);
  if (isBounded)
  {
    nbGood                   = nbLatest;
    const V::Verdict verdict = tryState(nbGood, progress.Next(THE_LATEST_STATE_SHARE));
    if (nbGood < nbLeast || (verdict != V::Verdict_NotApplicable && verdict != V::Verdict_Refused))
    {
      progress.Complete();
      return verdict == V::Verdict_Accepted && !progress.IsCancelled();
    }
    middleCount   = nbLeast + (nbGood - nbLeast) / 2;
    earliestCount = nbLeast;
  }
  const V::Verdict middle    = tryState(middleCount, progress.Next(0.5));
  const size_t     lastCount = middle != V::Verdict_Accepted ? earliestCount
                               : isBounded ? middleCount + (nbGood - middleCount) / 2
                                           : countAt(1.1);
  const V::Verdict last =
      middle == V::Verdict_Cancelled ? middle : tryState(lastCount, progress.Next(1.0));
  if (last == V::Verdict_Cancelled)
  {
    return false;
  }
  progress.Complete();
  return !progress.IsCancelled();
}

} // namespace

algoMesh_VerifiedQuadricFilter::Verdict
algoMesh_VerifiedQuadricFilter::Perform(const Handle(Poly_Triangulation) & input,
                                        const double reduction,
                                        Handle(Poly_Triangulation) & output,
                                        algoMesh_ProgressScope   progress,
                                        TCollection_AsciiString* reason,
                                        Prefix*                  prefix)
{
  const Verdict cancelled = Verdict_Cancelled;
  if (input.IsNull() || input->NbTriangles() == 0)
  {
    return answer(Verdict_NotApplicable, reason, "the input has no triangle");
  }
  // 1. The filter's input (coincident nodes merged) and its topology. Its cells are kept in
  //    32-bit storage: the filter holds them beside its own working copy for the whole run,
  //    and its choices do not depend on how the ids are stored.
  algoMesh_ProgressScope       inputStep = progress.Next(THE_INPUT_SHARE);
  vtkSmartPointer<vtkPolyData> polyData  = algoMesh_DecimationInput::Build(*input);
  if (polyData->GetPolys()->CanConvertTo32BitStorage())
  {
    polyData->GetPolys()->ConvertTo32BitStorage();
  }
  if (polyData->NeedToBuildCells())
  {
    polyData->BuildCells();
  }
  const vtkIdType nbCells = polyData->GetNumberOfCells();
  const vtkIdType nbNodes = polyData->GetNumberOfPoints();
  if (nbCells == 0 || nbCells > INT32_MAX / 3 || nbNodes > INT32_MAX)
  {
    return answer(Verdict_NotApplicable, reason, "the input has no triangle or too many");
  }
  Triangles triangles(static_cast<size_t>(nbCells));
  for (vtkIdType cell = 0; cell < nbCells; ++cell)
  {
    if (cell % THE_POLL_ITEMS == 0 && inputStep.IsCancelled())
    {
      return cancelled;
    }
    vtkIdType        npts = 0;
    const vtkIdType* ids  = nullptr;
    if (polyData->GetCellPoints(cell, npts, ids) != VTK_TRIANGLE || npts != 3)
    {
      return answer(Verdict_NotApplicable, reason, "the input has a cell other than a triangle");
    }
    for (int k = 0; k < 3; ++k)
    {
      triangles[cell][k] = static_cast<int>(ids[k]);
    }
  }
  // Every cell being a triangle, cell c is the input's triangle c + 1 with its corners in
  // order, at the same positions (nodes merge only where they are equal): the ancestors'
  // normals are read from the input after the filter instead of being held through it.
  if (nbCells != input->NbTriangles())
  {
    return answer(Verdict_NotApplicable, reason, "the input has a cell other than a triangle");
  }
  Topology before;
  if (!describe(triangles, static_cast<int>(nbNodes), inputStep, before))
  {
    return cancelled;
  }
  if (!before.IsClosedManifold)
  {
    return answer(Verdict_NotApplicable, reason,
                  "the input is not a closed, oriented, manifold surface");
  }
  Triangles().swap(triangles); // the filter's peak is the run's: hold nothing through it
  returnFreedMemory();

  // 2. The filter, driven as algoMesh_VTKQuadricDecimation drives it, and its result back
  //    as a kernel mesh.
  vtkSmartPointer<algoMesh_vtkQuadricDecimation> decimator =
      vtkSmartPointer<algoMesh_vtkQuadricDecimation>::New();
  decimator->SetInputData(polyData);
  decimator->SetTargetReduction(reduction / 100.0);
  if (prefix != nullptr)
  {
    // A closed manifold loses two triangles per collapse.
    prefix->Log.clear();
    prefix->Log.reserve(static_cast<size_t>(double(nbCells) * reduction / 200.0) + 16);
    decimator->SetCollapseLog(&prefix->Log);
  }
  if (!algoMesh_VTKProgress(decimator, progress.Next(THE_FILTER_SHARE)).Update())
  {
    return cancelled;
  }
  vtkSmartPointer<vtkPolyData> result = vtkSmartPointer<vtkPolyData>::New();
  result->ShallowCopy(decimator->GetOutput());
  if (result->GetNumberOfCells() == 0)
  {
    return answer(Verdict_Refused, reason, "the result has no triangle");
  }
  Handle(Poly_Triangulation) decimated;
  if (!algoMesh_Convert::FromVTK(result, decimated, progress.Next(THE_BACK_SHARE).Entry(false)))
  {
    return progress.IsCancelled() ? cancelled
                                  : answer(Verdict_Refused, reason, "the result did not convert");
  }
  // The surviving cells of the consumed input, in order, are the result's triangles.
  std::vector<int> ancestorOf;
  ancestorOf.reserve(static_cast<size_t>(decimated->NbTriangles()));
  for (vtkIdType cell = 0; cell < nbCells; ++cell)
  {
    if (polyData->GetCellType(cell) != VTK_EMPTY_CELL)
    {
      ancestorOf.push_back(static_cast<int>(cell));
    }
  }
  if (static_cast<int>(ancestorOf.size()) != decimated->NbTriangles())
  {
    return answer(Verdict_Refused, reason, "the result's triangles do not trace to the input's");
  }

  // 3. The result's triangles, traced back to the input's.
  algoMesh_ProgressScope             resultStep = progress.Next(THE_RESULT_SHARE);
  std::vector<std::array<double, 3>> nodes(static_cast<size_t>(decimated->NbNodes()));
  for (int i = 1; i <= decimated->NbNodes(); ++i)
  {
    const gp_Pnt p = decimated->Node(i);
    nodes[i - 1]   = {p.X(), p.Y(), p.Z()};
  }
  triangles.resize(static_cast<size_t>(decimated->NbTriangles()));
  for (int t = 0; t < decimated->NbTriangles(); ++t)
  {
    if (t % THE_POLL_ITEMS == 0 && resultStep.IsCancelled())
    {
      return cancelled;
    }
    int n[3];
    decimated->Triangle(t + 1).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      if (n[k] < 1 || n[k] > decimated->NbNodes())
      {
        return answer(Verdict_Refused, reason, "the result names a node it does not hold");
      }
      triangles[t][k] = n[k] - 1;
    }
    // The ancestor's cell now holds the result triangle's corners, at their single-precision
    // places in the result: a check that the tracing is right.
    vtkIdType        npts = 0;
    const vtkIdType* ids  = nullptr;
    polyData->GetCellPoints(ancestorOf[t], npts, ids);
    for (int k = 0; npts == 3 && k < 3; ++k)
    {
      double place[3];
      polyData->GetPoint(ids[k], place);
      for (int axis = 0; axis < 3; ++axis)
      {
        npts = float(place[axis]) == float(nodes[triangles[t][k]][axis]) ? npts : 0;
      }
    }
    if (npts != 3)
    {
      return answer(Verdict_Refused, reason, "the result's triangles do not trace to the input's");
    }
  }

  // 4. Every guarantee, as for any state of the run.
  const Verdict verdict = checkState(nodes, triangles, ancestorOf, decimated, input, before, true,
                                     resultStep, progress.Next(1.0), reason);
  if (verdict != Verdict_Accepted)
  {
    return verdict;
  }
  output = decimated;
  return answer(Verdict_Accepted, reason, "");
}

bool algoMesh_VerifiedQuadricFilter::FindPrefix(const Handle(Poly_Triangulation) & input,
                                                const double           reduction,
                                                Prefix&                prefix,
                                                algoMesh_ProgressScope progress)
{
  prefix.Nodes.clear();
  prefix.Triangles.clear();
  prefix.NbCollapses = 0;
  if (prefix.Log.empty() || input.IsNull())
  {
    return !progress.IsCancelled();
  }
  // 1. The filter's input as it was before the run (the run edits its own copy), and its
  //    topology.
  algoMesh_ProgressScope       inputStep = progress.Next(THE_PREFIX_INPUT_SHARE);
  vtkSmartPointer<vtkPolyData> polyData  = algoMesh_DecimationInput::Build(*input);
  const vtkIdType              nbCells   = polyData->GetNumberOfPolys();
  const vtkIdType              nbNodes   = polyData->GetNumberOfPoints();
  if (nbCells != input->NbTriangles() || polyData->GetNumberOfCells() != nbCells)
  {
    return !progress.IsCancelled(); // not the input the log was made on
  }
  Triangles& cells = prefix.InputTriangles;
  cells.assign(static_cast<size_t>(nbCells), {0, 0, 0});
  {
    Pace                                  pace(inputStep, nbCells + nbNodes);
    vtkCellArray*                         polys = polyData->GetPolys();
    vtkSmartPointer<vtkCellArrayIterator> it    = vtk::TakeSmartPointer(polys->NewIterator());
    vtkIdType                             cell  = 0;
    for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell(), ++cell)
    {
      if (!pace.Tick())
      {
        return false;
      }
      vtkIdType        npts   = 0;
      const vtkIdType* corner = nullptr;
      it->GetCurrentCell(npts, corner);
      for (int k = 0; k < 3; ++k)
      {
        cells[cell][k] = static_cast<int>(corner[k]);
      }
    }
    prefix.InputNodes.resize(static_cast<size_t>(nbNodes));
    for (vtkIdType i = 0; i < nbNodes; ++i)
    {
      if (!pace.Tick())
      {
        return false;
      }
      polyData->GetPoint(i, prefix.InputNodes[i].data());
    }
  }
  polyData = nullptr;
  // 2. The replay and the states.
  return searchStates(prefix.Log, prefix.Log.size(), reduction, prefix, progress);
}

bool algoMesh_VerifiedQuadricFilter::FindState(const std::vector<CollapserStep>& log,
                                               const double                      reduction,
                                               Prefix&                           prefix,
                                               algoMesh_ProgressScope            progress,
                                               const size_t                      nbLatest)
{
  prefix.Nodes.clear();
  prefix.Triangles.clear();
  prefix.NbCollapses = 0;
  if (log.empty())
  {
    return !progress.IsCancelled();
  }
  progress.Next(THE_PREFIX_INPUT_SHARE).Complete(); // the input is the caller's
  return searchStates(log, std::min(nbLatest, log.size()), reduction, prefix, progress);
}

} // namespace quorin
