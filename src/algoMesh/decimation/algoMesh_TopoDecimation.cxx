// Topology-preserving decimation: quadric edge collapse with checks that keep a closed
// manifold closed, manifold and free of self-intersections.
//
// By default, on a closed, oriented, manifold input, the collapses run without their contact
// test and without the grid it needs (its query and upkeep are most of a checked collapse's
// cost, and on most inputs it refuses nothing), logging each collapse (32 bytes); the result
// is then searched for crossing pairs over all pairs of triangles (the defect report's
// search). When it has some, the log is replayed (algoMesh_VerifiedQuadricFilter::FindState)
// to the latest of a few states of the run that passes the same search, and the collapses go
// on from there with the contact test, with the quadrics the run had summed: crossings
// between nearby solids usually appear only in the last few percent of the reduction. The
// result's crossing pairs name the latest state worth trying (see latestStateWithout), and
// when the input's own triangles cross near them no state is tried at all (the input's
// crossings stay in every state). Only when no state is found (or its continued result has a
// crossing pair, see continueFrom) do the collapses start from the input with the contact
// test.
// On request the quadric filter runs first instead, and its result is taken when it passes
// checks standing for each guarantee below (algoMesh_VerifiedQuadricFilter, where the
// argument is); when it does not, the same search runs on the filter's log of collapses
// (FindPrefix), its turns replayed since the filter does not test them.
//
// Error: each vertex carries the sum of the plane quadrics of its triangles (unweighted),
// and boundary edges add a heavy plane through the edge, perpendicular to its triangle
// (Garland and Heckbert, "Surface simplification using quadric error metrics", 1997).
// An edge collapses to the point minimising the summed quadric, or to one of its ends when
// that system is singular or the boundary asks for it. Collapses run cheapest first from the
// quadric filter's indexed queue, where each edge sits once and a collapse replaces the
// edges at its ends, so the queue holds no stale entry.
// Checks, per collapse: the link condition (Dey, Edelsbrunner, Guha and Nekhayev,
// "Topology preserving edge contraction", 1999), the turn of every changed triangle's
// normal, and, when contact is tested per collapse, exact triangle-triangle tests (BVHTools)
// of the changed triangles against every other triangle whose box they reach, found in a
// uniform grid of triangle boxes.
// The grid is an open-addressing table of cells whose entries hold a triangle and its box
// clipped to the cell in 7-bit steps (12 bytes), so that a query scans contiguous entries
// and rejects most of them on six byte comparisons; it is rebuilt with larger cells
// whenever the live triangles have dropped to a quarter, so that cells and triangles keep
// their proportion. An entry may cover more than its triangle (a ring triangle that only
// shrank keeps its entries), never less. The triangles sharing a node with the ring are
// left out of the query through the stars of the ring's nodes, not by reading each entry.
// Each collapse works at a cold place of the mesh, in cost order, so the run is bound by
// cache misses: a vertex keeps its position, flags and first triangles in one cache line,
// and the queue items a collapse removes are fetched ahead in batches.
// Every step reports its share of the progress and polls for cancellation every thousand
// items or so (a few dozen collapses in the main loop), a millisecond of work at most.
// Cost: O(n log n) for n triangles; each collapse costs its ring, times the grid occupancy
// when contact is tested; the search of a result of m triangles O(m log m).
// Memory: the decimate command peaks at about 200 bytes per input triangle on its default
// path, its input mesh included (1M and 2M triangles; no grid; the log is about 15 bytes per
// input triangle at a 90 % reduction).
//
// This file holds the collapses and the upkeep of the queue and the grid they need; the
// class, its set-up and the checks of a collapse are in the parts it includes (.pxx).
#include <algoMesh_TopoDecimation.hxx>

#include <algoMesh_DecimationDefects.hxx>
#include <algoMesh_MemoryAdvice.hxx>
#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_TopoDecimationChecks.pxx>
#include <algoMesh_TopoDecimationCollapser.pxx>
#include <algoMesh_TopoDecimationSetUp.pxx>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorin
{

namespace
{

using namespace topoDecimation;

void Collapser::gridBox(const int t, Point& low, Point& high) const
{
  low  = {1e300, 1e300, 1e300};
  high = {-1e300, -1e300, -1e300};
  for (const int node : m_triangles[t])
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      const double g = toGrid(m_vertices.P(node)[axis], axis);
      low[axis]      = std::min(low[axis], g);
      high[axis]     = std::max(high[axis], g);
    }
  }
}

CellRange Collapser::rangeOf(const Point& low, const Point& high) const
{
  CellRange range;
  for (int axis = 0; axis < 3; ++axis)
  {
    range[axis]     = static_cast<int>(std::floor(low[axis]));
    range[axis + 3] = static_cast<int>(std::floor(high[axis]));
  }
  return range;
}

void Collapser::lookUpNear()
{
  // Each cell costs a chain of cache misses (its key, its list's header, its entries): the
  // cells are looked up in three waves, so that the misses of one wave overlap.
  const CellRange& near = m_nearRange;
  m_nearSlots.assign(cellCount(near), -1);
  for (int pass = 0; pass < 3; ++pass)
  {
    size_t n = 0;
    for (int i = near[0]; i <= near[3]; ++i)
    {
      for (int j = near[1]; j <= near[4]; ++j)
      {
        for (int k = near[2]; k <= near[5]; ++k, ++n)
        {
          if (pass == 0)
          {
            m_grid.prefetchKey(cellKey(i, j, k));
          }
          else if (pass == 1)
          {
            m_nearSlots[n] = m_grid.find(cellKey(i, j, k));
            if (m_nearSlots[n] >= 0)
            {
              m_grid.prefetchList(m_nearSlots[n]);
            }
          }
          else if (m_nearSlots[n] >= 0)
          {
            m_grid.prefetchEntries(m_nearSlots[n]);
          }
        }
      }
    }
  }
}

std::vector<Entry>* Collapser::cellList(const int i, const int j, const int k, const bool create)
{
  const CellRange& near = m_nearRange;
  int*             slot = nullptr;
  if (near[0] <= i && i <= near[3] && near[1] <= j && j <= near[4] && near[2] <= k && k <= near[5])
  {
    slot = &m_nearSlots[(size_t(i - near[0]) * (near[4] - near[1] + 1) + (j - near[1])) *
                            (near[5] - near[2] + 1) +
                        (k - near[2])];
  }
  int found = slot != nullptr ? *slot : m_grid.find(cellKey(i, j, k));
  if (found < 0 && create)
  {
    found = m_grid.insert(cellKey(i, j, k));
    if (slot != nullptr)
    {
      *slot = found;
    }
  }
  return found < 0 ? nullptr : &m_grid.list(found);
}

void Collapser::insertInGrid(const int t)
{
  Point low, high;
  gridBox(t, low, high);
  const CellRange r = rangeOf(low, high);
  if (cellCount(r) > THE_MAX_CELLS)
  {
    m_large.push_back(t);
    return;
  }
  for (int i = r[0]; i <= r[3]; ++i)
  {
    for (int j = r[1]; j <= r[4]; ++j)
    {
      for (int k = r[2]; k <= r[5]; ++k)
      {
        const Entry entry = entryOf(t, low.data(), high.data(), i, j, k);
        cellList(i, j, k, true)->push_back(entry);
      }
    }
  }
}

void Collapser::removeFromGrid(const int t, const CellRange& r)
{
  if (cellCount(r) > THE_MAX_CELLS)
  {
    m_large.erase(std::find(m_large.begin(), m_large.end(), t));
    return;
  }
  for (int i = r[0]; i <= r[3]; ++i)
  {
    for (int j = r[1]; j <= r[4]; ++j)
    {
      for (int k = r[2]; k <= r[5]; ++k)
      {
        std::vector<Entry>* cell = cellList(i, j, k, false);
        if (cell == nullptr)
        {
          continue;
        }
        const auto at = std::find_if(cell->begin(), cell->end(),
                                     [t](const Entry& entry) { return entry.T == t; });
        if (at != cell->end())
        {
          *at = cell->back();
          cell->pop_back();
        }
      }
    }
  }
}

void Collapser::refreshInGrid(const Moving& moving)
{
  const int t = moving.T;
  Point     low, high;
  gridBox(t, low, high);
  const CellRange range = rangeOf(low, high);
  if (range != moving.Range)
  {
    removeFromGrid(t, moving.Range);
    insertInGrid(t);
    return;
  }
  // A box that only shrank within the same cells keeps its entries: they still cover it,
  // and a query checks the box of every triangle they let through.
  if (moving.Low[0] <= low[0] && moving.Low[1] <= low[1] && moving.Low[2] <= low[2] &&
      high[0] <= moving.High[0] && high[1] <= moving.High[1] && high[2] <= moving.High[2])
  {
    return;
  }
  if (cellCount(range) > THE_MAX_CELLS)
  {
    return; // stays in the list of large triangles
  }
  // Same cells: only the clipped boxes change.
  for (int i = range[0]; i <= range[3]; ++i)
  {
    for (int j = range[1]; j <= range[4]; ++j)
    {
      for (int k = range[2]; k <= range[5]; ++k)
      {
        if (std::vector<Entry>* cell = cellList(i, j, k, false))
        {
          for (Entry& entry : *cell)
          {
            if (entry.T == t)
            {
              entry = entryOf(t, low.data(), high.data(), i, j, k);
              break;
            }
          }
        }
      }
    }
  }
}

void Collapser::collectNeighbours(const int a, const bool above)
{
  std::vector<uint64_t>& found = m_neighbourSides;
  found.clear();
  for (const int t : m_vertices.Around(a))
  {
    const std::array<int, 3>& tri = m_triangles[t];
    const int                 i   = tri[0] == a ? 0 : tri[1] == a ? 1 : 2;
    // Side i runs from a to the next corner, side i + 2 from the previous corner to a.
    const int next = tri[(i + 1) % 3], previous = tri[(i + 2) % 3];
    if (!above || next > a)
    {
      found.push_back(uint64_t(next) << 32 | uint32_t(3 * t + i));
    }
    if (!above || previous > a)
    {
      found.push_back(uint64_t(previous) << 32 | uint32_t(3 * t + (i + 2) % 3));
    }
  }
  std::sort(found.begin(), found.end(), std::greater<uint64_t>());
  found.erase(std::unique(found.begin(), found.end(),
                          [](const uint64_t x, const uint64_t y) { return x >> 32 == y >> 32; }),
              found.end());
  std::reverse(found.begin(), found.end());
}

void Collapser::offerEdge(const int a, const int b, const int side)
{
  int    u = std::min(a, b), v = std::max(a, b);
  Point  position;
  double cost = 0.0;
  if (evaluate(u, v, position, cost))
  {
    m_queue.Insert(cost, side);
  }
}

void Collapser::unqueueEdgesAt(const int u, const int v)
{
  std::vector<int>& sides = m_sides;
  sides.clear();
  for (const int vertex : {u, v})
  {
    for (const int t : m_vertices.Around(vertex))
    {
      const std::array<int, 3>& tri = m_triangles[t];
      for (int k = 0; k < 3; ++k)
      {
        const int a = tri[k], b = tri[(k + 1) % 3];
        if (a == u || a == v || b == u || b == v)
        {
          sides.push_back(3 * t + k);
        }
      }
    }
  }
  // The heap places of the sides, then their items, are fetched in two waves before the
  // first removal, so that their cache misses overlap instead of following each other.
  for (const int side : sides)
  {
    m_queue.PrefetchLocation(side);
  }
  for (const int side : sides)
  {
    m_queue.PrefetchItem(side);
  }
  for (const int side : sides)
  {
    m_queue.DeleteId(side);
  }
}

void Collapser::collapse(const int survivor, const int removed, const Point& position)
{
  unqueueEdgesAt(survivor, removed);
  for (const int t : m_vertices.Around(survivor))
  {
    const std::array<int, 3>& tri = m_triangles[t];
    if (std::find(tri.begin(), tri.end(), removed) == tri.end())
    {
      continue;
    }
    m_liveTriangle[t] = 0;
    --m_nbLive;
    --m_componentSize[m_component[t]];
    if (!m_isContactDeferred)
    {
      removeFromGrid(t, rangeOf(t));
    }
    for (const int node : tri)
    {
      if (node != survivor)
      {
        m_vertices.Filter(node, [t](const int other) { return other != t; });
      }
    }
  }
  m_vertices.Filter(survivor, [this](const int t) { return m_liveTriangle[t] != 0; });
  // The cells of the remaining triangles at both ends, before their corners move: their
  // grid entries are found there (when there is a grid).
  m_moving.clear();
  if (!m_isContactDeferred)
  {
    for (const int vertex : {survivor, removed})
    {
      for (const int t : m_vertices.Around(vertex))
      {
        m_moving.push_back(movingOf(t));
      }
    }
  }
  for (const int t : m_vertices.Around(removed))
  {
    for (int& node : m_triangles[t])
    {
      node = node == removed ? survivor : node;
    }
    m_vertices.Add(survivor, t);
  }
  m_vertices.Filter(removed, [](int) { return false; });
  m_vertices.P(survivor) = position;
  m_quadrics[survivor].add(m_quadrics[removed]);
  if (m_isContactDeferred)
  {
    m_log->push_back({survivor, removed, {position[0], position[1], position[2]}});
  }
  if (m_vertices.IsBorder(removed))
  {
    m_vertices.SetBorder(survivor);
  }
  for (const Moving& moving : m_moving)
  {
    refreshInGrid(moving);
  }
  // The edges at the survivor have new costs; the neighbours' quadrics are fetched first.
  collectNeighbours(survivor, false);
  for (const uint64_t neighbour : m_neighbourSides)
  {
    const Quadric* quadric = &m_quadrics[neighbour >> 32];
    __builtin_prefetch(quadric);
    __builtin_prefetch(reinterpret_cast<const char*>(quadric) + 64);
  }
  for (const uint64_t neighbour : m_neighbourSides)
  {
    offerEdge(survivor, static_cast<int>(neighbour >> 32),
              static_cast<int>(neighbour & 0xffffffffu));
  }
}

bool Collapser::collapseUntil(const size_t target, algoMesh_ProgressScope progress)
{
  // Progress counts the triangles removed towards the target; a run that stops short of it
  // jumps to the end.
  const size_t start = m_nbLive;
  progress.SetTotal(static_cast<int64_t>(start - std::min(start, target)));
  for (int64_t nbPopped = 0; m_nbLive > target; ++nbPopped)
  {
    if (nbPopped % THE_POLL_COLLAPSES == 0)
    {
      progress.SetDone(static_cast<int64_t>(start - m_nbLive));
      if (progress.IsCancelled())
      {
        return false;
      }
    }
    // The triangles are about twice as long as the cells were made for: a new grid. It is
    // part of the collapses, so its scope has no share of its own and only polls.
    if (!m_isContactDeferred && 4 * m_nbLive < m_gridBuiltAt && !buildGrid(progress.Next(0.0)))
    {
      return false;
    }
    double        queued = 0.0;
    const int32_t side   = m_queue.Pop(queued);
    if (side < 0)
    {
      break;
    }
    if (queued > m_costLimit)
    {
      m_isStoppedAtCostLimit = true;
      break;
    }
    const std::array<int, 3>& tri      = m_triangles[side / 3];
    int                       survivor = std::min(tri[side % 3], tri[(side % 3 + 1) % 3]);
    int                       removed  = std::max(tri[side % 3], tri[(side % 3 + 1) % 3]);
    Point                     position;
    double                    cost = 0.0;
    if (!evaluate(survivor, removed, position, cost) || !isAllowed(survivor, removed, position))
    {
      continue; // queued again when one of its ends changes
    }
    m_maxCost = std::max(m_maxCost, cost);
    collapse(survivor, removed, position);
  }
  progress.Complete();
  return !progress.IsCancelled();
}

Handle(Poly_Triangulation) Collapser::Result(const algoMesh_ProgressScope& progress,
                                             std::vector<int>*             vertexOf) const
{
  StepPace         pace(progress, 2 * static_cast<int64_t>(m_triangles.size()) +
                                      static_cast<int64_t>(m_vertices.Size()));
  std::vector<int> number(m_vertices.Size(), -1);
  int              nbNodes = 0;
  for (size_t t = 0; t < m_triangles.size(); ++t)
  {
    if (!pace.Tick())
    {
      return nullptr;
    }
    if (m_liveTriangle[t])
    {
      for (const int node : m_triangles[t])
      {
        if (number[node] < 0)
        {
          number[node] = nbNodes++;
        }
      }
    }
  }
  if (m_nbLive == 0)
  {
    return new Poly_Triangulation();
  }
  Handle(Poly_Triangulation) mesh =
      new Poly_Triangulation(nbNodes, static_cast<int>(m_nbLive), false);
  if (vertexOf != nullptr)
  {
    vertexOf->assign(static_cast<size_t>(nbNodes), -1);
  }
  for (size_t i = 0; i < m_vertices.Size(); ++i)
  {
    if (!pace.Tick())
    {
      return nullptr;
    }
    if (number[i] >= 0 && vertexOf != nullptr)
    {
      (*vertexOf)[number[i]] = static_cast<int>(i);
    }
    if (number[i] >= 0)
    {
      mesh->SetNode(number[i] + 1,
                    gp_Pnt(m_vertices.P(i)[0], m_vertices.P(i)[1], m_vertices.P(i)[2]));
    }
  }
  int index = 0;
  for (size_t t = 0; t < m_triangles.size(); ++t)
  {
    if (!pace.Tick())
    {
      return nullptr;
    }
    if (m_liveTriangle[t])
    {
      const std::array<int, 3>& tri = m_triangles[t];
      mesh->SetTriangle(++index,
                        Poly_Triangle(number[tri[0]] + 1, number[tri[1]] + 1, number[tri[2]] + 1));
    }
  }
  return pace.Complete() ? mesh : nullptr;
}

//! The input's nodes merged and its triangles over them, less those that lost a corner to
//! the merge; false when cancelled. The merger's own arrays are gone when it returns,
//! before the collapses start.
bool mergeNodes(const Handle(Poly_Triangulation) & input,
                std::vector<Point>&              points,
                std::vector<std::array<int, 3>>& triangles,
                const algoMesh_ProgressScope&    progress)
{
  // Items: a node copied or a triangle renumbered is one, a node merged sixteen (its
  // look-up costs about that much more).
  StepPace            pace(progress, 17 * static_cast<int64_t>(input->NbNodes()) +
                                         static_cast<int64_t>(input->NbTriangles()));
  std::vector<gp_Pnt> nodes(input->NbNodes());
  for (int i = 1; i <= input->NbNodes(); ++i)
  {
    if (!pace.Tick())
    {
      return false;
    }
    nodes[i - 1] = input->Node(i);
  }
  // Appending the nodes in runs merges them exactly as one batch would, with polls between.
  algoMesh_NodesMerger merger;
  for (size_t first = 0; first < nodes.size(); first += THE_POLL_ITEMS)
  {
    const size_t count = std::min<size_t>(THE_POLL_ITEMS, nodes.size() - first);
    merger.Append(nodes.data() + first, count);
    if (!pace.Tick(16 * static_cast<int64_t>(count)))
    {
      return false;
    }
  }
  std::vector<gp_Pnt>().swap(nodes);
  points.reserve(merger.NbNodes());
  for (const gp_Pnt& p : merger.Nodes())
  {
    points.push_back({p.X(), p.Y(), p.Z()});
  }
  triangles.reserve(input->NbTriangles());
  for (int t = 1; t <= input->NbTriangles(); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    int n[3];
    input->Triangle(t).Get(n[0], n[1], n[2]);
    if (n[0] < 1 || n[1] < 1 || n[2] < 1 || n[0] > input->NbNodes() || n[1] > input->NbNodes() ||
        n[2] > input->NbNodes())
    {
      continue;
    }
    const std::array<int, 3> tri = {merger.Indices()[n[0] - 1] - 1, merger.Indices()[n[1] - 1] - 1,
                                    merger.Indices()[n[2] - 1] - 1};
    if (tri[0] != tri[1] && tri[1] != tri[2] && tri[0] != tri[2])
    {
      triangles.push_back(tri);
    }
  }
  return pace.Complete();
}

//! The quadrics of the prefix's nodes: each input triangle's plane added to the state's nodes
//! its corners merged into, as the filter summed them; empty when cancelled.
std::vector<Quadric> quadricsOf(const algoMesh_VerifiedQuadricFilter::Prefix& prefix,
                                const algoMesh_ProgressScope&                 progress)
{
  StepPace             pace(progress, static_cast<int64_t>(prefix.InputTriangles.size()));
  std::vector<Quadric> quadrics(prefix.Nodes.size());
  for (const std::array<int, 3>& tri : prefix.InputTriangles)
  {
    if (!pace.Tick())
    {
      return {};
    }
    Quadric plane;
    Point   unit;
    if (!planeOf(prefix.InputNodes[tri[0]], prefix.InputNodes[tri[1]], prefix.InputNodes[tri[2]],
                 plane, unit))
    {
      continue;
    }
    for (const int node : tri)
    {
      if (prefix.NodeOf[node] >= 0)
      {
        quadrics[prefix.NodeOf[node]].add(plane);
      }
    }
  }
  return pace.Complete() ? quadrics : std::vector<Quadric>();
}

//! The triangles left after removing `reduction` percent (clamped to 0 .. 100) of `nbInput`.
size_t targetOf(const size_t nbInput, const double reduction)
{
  const double share = std::max(0.0, std::min(100.0, reduction)) / 100.0;
  return static_cast<size_t>(std::llround(double(nbInput) * (1.0 - share)));
}

//! What a run without the contact test leaves for the search of a state: its collapses, and
//! for each node of its result the vertex it was.
struct DeferredRun
{
  std::vector<algoMesh_VerifiedQuadricFilter::CollapserStep> Log;
  std::vector<int>                                           VertexOf;
  double                                                     MaxCost = 0.0;
};

//! How the collapses after a crossing result are bounded and how they ended.
struct Bound
{
  //! No collapse costlier than the costliest of the run without the contact test: where
  //! contact refuses the collapses a reduction needs, the ones left are those that cut
  //! across the shape (a block's corners, the far side of a ball), and stopping short keeps
  //! the error of that run.
  double CostLimit = std::numeric_limits<double>::infinity();
  bool   IsReached = false; //!< whether the collapses stopped short at that cost
};

//! The most collapses a state of the deferred run can have and still be free of crossing
//! pairs, given the pairs of its result (consecutive 1-based triangle numbers). A triangle
//! changes only when one of its corners survives a collapse, so each result triangle took its
//! final shape at the last collapse one of its corners survived, and a crossing pair of the
//! result is in every state from the later of its two triangles' on: no state after the
//! earliest such collapse can pass.
size_t latestStateWithout(const DeferredRun& run,
                          const Handle(Poly_Triangulation) & result,
                          const std::vector<int>& pairs)
{
  int nbVertices = 0;
  for (const int vertex : run.VertexOf)
  {
    nbVertices = std::max(nbVertices, vertex + 1);
  }
  for (const algoMesh_VerifiedQuadricFilter::CollapserStep& step : run.Log)
  {
    nbVertices = std::max(nbVertices, step.Survivor + 1);
  }
  std::vector<int64_t> lastSurvived(static_cast<size_t>(nbVertices), -1);
  for (size_t i = 0; i < run.Log.size(); ++i)
  {
    lastSurvived[run.Log[i].Survivor] = static_cast<int64_t>(i);
  }
  const auto shapedAt = [&](const int t)
  {
    int n[3];
    result->Triangle(t).Get(n[0], n[1], n[2]);
    int64_t last = -1;
    for (const int node : n)
    {
      last = std::max(last, lastSurvived[run.VertexOf[node - 1]]);
    }
    return last;
  };
  // A pair of unchanged input triangles crosses in the input itself: no state is free then.
  size_t latest = run.Log.size();
  for (size_t i = 0; i + 1 < pairs.size(); i += 2)
  {
    const int64_t from = std::max(shapedAt(pairs[i]), shapedAt(pairs[i + 1]));
    latest             = std::min(latest, static_cast<size_t>(std::max<int64_t>(0, from)));
  }
  return latest;
}

//! Whether the input's triangles (merged, in `prefix`) near a few of the result's crossing
//! pairs cross each other: the result's crossings then come from the input, every state of the
//! run keeps them, and searching for one would only cost. The input triangles whose box meets
//! the box of one of up to THE_NEAR_PAIRS pairs, spread over the list, are searched as a mesh
//! of their own. False when cancelled.
bool inputCrossesNear(const algoMesh_VerifiedQuadricFilter::Prefix& prefix,
                      const Handle(Poly_Triangulation) & result,
                      const std::vector<int>& pairs,
                      algoMesh_ProgressScope  progress,
                      bool&                   crosses)
{
  crosses = false;
  // 1. The boxes of the pairs sampled.
  using Box           = std::array<double, 6>;
  const Box  emptyBox = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  const auto growBox  = [](Box& box, const Point& point)
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      box[axis]     = std::min(box[axis], point[axis]);
      box[axis + 3] = std::max(box[axis + 3], point[axis]);
    }
  };
  std::vector<Box> boxes;
  const size_t     nbPairs = pairs.size() / 2;
  for (size_t p = 0; p < nbPairs; p += (nbPairs + THE_NEAR_PAIRS - 1) / THE_NEAR_PAIRS)
  {
    Box box = emptyBox;
    for (const int t : {pairs[2 * p], pairs[2 * p + 1]})
    {
      int n[3];
      result->Triangle(t).Get(n[0], n[1], n[2]);
      for (const int node : n)
      {
        const gp_Pnt point = result->Node(node);
        growBox(box, {point.X(), point.Y(), point.Z()});
      }
    }
    boxes.push_back(box);
  }
  // 2. The input triangles meeting one of them, over their own nodes.
  StepPace         pace(progress.Next(0.5), static_cast<int64_t>(prefix.InputTriangles.size()));
  std::vector<int> number(prefix.InputNodes.size(), 0);
  std::vector<std::array<int, 3>> near;
  int                             nbNodes = 0;
  for (const std::array<int, 3>& tri : prefix.InputTriangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    Box box = emptyBox;
    for (const int node : tri)
    {
      growBox(box, prefix.InputNodes[node]);
    }
    const auto meets = [&box](const Box& other)
    {
      return box[0] <= other[3] && other[0] <= box[3] && box[1] <= other[4] && other[1] <= box[4] &&
             box[2] <= other[5] && other[2] <= box[5];
    };
    if (std::any_of(boxes.begin(), boxes.end(), meets))
    {
      near.push_back(tri);
      for (const int node : tri)
      {
        number[node] = number[node] == 0 ? ++nbNodes : number[node];
      }
    }
  }
  if (near.size() < 2)
  {
    return pace.Complete();
  }
  Handle(Poly_Triangulation) mesh =
      new Poly_Triangulation(nbNodes, static_cast<int>(near.size()), false);
  for (size_t i = 0; i < number.size(); ++i)
  {
    if (number[i] > 0)
    {
      const Point& p = prefix.InputNodes[i];
      mesh->SetNode(number[i], gp_Pnt(p[0], p[1], p[2]));
    }
  }
  for (size_t t = 0; t < near.size(); ++t)
  {
    mesh->SetTriangle(static_cast<int>(t) + 1,
                      Poly_Triangle(number[near[t][0]], number[near[t][1]], number[near[t][2]]));
  }
  // 3. Their crossing pairs.
  algoMesh_DecimationDefects defects;
  if (!algoMesh_DecimationDefects::Count(mesh, progress.Next(1.0).Entry(false), defects))
  {
    return false;
  }
  crosses = defects.NbCrossingPairs != 0;
  return true;
}

enum Continued
{
  Continued_Done,     //!< the output is the continued state
  Continued_Not,      //!< no state to continue from, or its result had crossing triangles
  Continued_Cancelled //!< the run was cancelled
};

//! Finds the state to continue from (FindPrefix or FindState) into the prefix, with the input
//! its log numbers; false when cancelled.
using StateSearch =
    std::function<bool(algoMesh_VerifiedQuadricFilter::Prefix&, algoMesh_ProgressScope)>;

//! After a refused result (the filter's, or the collapses' without their contact test): the
//! collapses go on, with the contact test, from the latest checked state of that run, with the
//! quadrics the run had summed. The result is counted once more for crossing triangles: the
//! collapses test contact only against triangles sharing no node with the ring, and a state
//! made by other collapses than their own may hold the rare configuration where a triangle
//! next to the ring is reached without a fold.
Continued continueFrom(const StateSearch&                      findState,
                       const double                            reduction,
                       algoMesh_VerifiedQuadricFilter::Prefix& prefix,
                       algoMesh_ProgressScope                  progress,
                       Bound&                                  bound,
                       Handle(Poly_Triangulation) & output)
{
  // 1. The state, its nodes' quadrics from the input's triangles.
  if (!findState(prefix, progress.Next(THE_FIND_PREFIX_SHARE)))
  {
    return Continued_Cancelled;
  }
  if (prefix.Triangles.empty())
  {
    return Continued_Not;
  }
  std::vector<Quadric> quadrics = quadricsOf(prefix, progress.Next(THE_QUADRICS_SHARE));
  if (quadrics.empty())
  {
    return Continued_Cancelled;
  }
  const size_t nbInput = prefix.InputTriangles.size();
  Collapser    collapser(std::move(prefix.Nodes), std::move(prefix.Triangles));
  prefix = algoMesh_VerifiedQuadricFilter::Prefix();
  collapser.SetQuadrics(std::move(quadrics));
  collapser.SetCostLimit(bound.CostLimit);
  // 2. The collapses down to the requested share of the input.
  const size_t           target    = targetOf(nbInput, reduction);
  algoMesh_ProgressScope collapses = progress.Next(THE_CONTINUED_SHARE);
  if (!collapser.Run(target, collapses))
  {
    return Continued_Cancelled;
  }
  bound.IsReached                   = collapser.IsStoppedAtCostLimit();
  Handle(Poly_Triangulation) result = collapser.Result(progress.Next(THE_RESULT_SHARE));
  if (result.IsNull())
  {
    return Continued_Cancelled;
  }
  // 3. No crossing pair in the result.
  algoMesh_DecimationDefects defects;
  if (!algoMesh_DecimationDefects::Count(result, progress.Next(1.0).Entry(false), defects))
  {
    return Continued_Cancelled;
  }
  if (defects.NbCrossingPairs != 0 || result->NbTriangles() == 0)
  {
    return Continued_Not;
  }
  output = result;
  return Continued_Done;
}

//! The collapses from the input: nodes merged, collapsed down to the requested share, the live
//! part renumbered. Given `deferred`, they leave the contact test to the caller when the
//! input is closed, oriented and manifold, and record their run there; `isDeferred` tells
//! whether they did. False when cancelled or when nothing is left.
bool collapseInput(const Handle(Poly_Triangulation) & input,
                   const double           reduction,
                   DeferredRun*           deferred,
                   algoMesh_ProgressScope progress,
                   Bound&                 bound,
                   Handle(Poly_Triangulation) & output,
                   bool& isDeferred)
{
  // 1. Merge coincident nodes and drop triangles that lost a corner.
  std::vector<Point>              points;
  std::vector<std::array<int, 3>> triangles;
  if (!mergeNodes(input, points, triangles, progress.Next(THE_MERGE_SHARE)) || triangles.empty())
  {
    return false;
  }
  // 2. Collapse down to the requested share; a closed manifold loses two triangles each time.
  const size_t target = targetOf(triangles.size(), reduction);
  std::vector<algoMesh_VerifiedQuadricFilter::CollapserStep>* log =
      deferred != nullptr ? &deferred->Log : nullptr;
  if (log != nullptr)
  {
    log->clear();
    log->reserve((triangles.size() - std::min(target, triangles.size())) / 2 + 16);
  }
  Collapser collapser(std::move(points), std::move(triangles));
  collapser.DeferContact(log);
  collapser.SetCostLimit(bound.CostLimit);
  if (!collapser.Run(target, progress))
  {
    return false;
  }
  isDeferred      = collapser.IsContactDeferred();
  bound.IsReached = collapser.IsStoppedAtCostLimit();
  if (deferred != nullptr)
  {
    deferred->MaxCost = collapser.MaxCost();
  }
  // 3. The live part, renumbered.
  output = collapser.Result(progress.Next(1.0), isDeferred ? &deferred->VertexOf : nullptr);
  return !output.IsNull() && output->NbTriangles() > 0;
}

} // namespace

algoMesh_TopoDecimation::algoMesh_TopoDecimation(const algoMesh_DecimationOptions& options)
    : m_reduction(options.Reduction)
{
}

algoMesh_DecimationOptions algoMesh_TopoDecimation::GetOptions() const
{
  algoMesh_DecimationOptions options;
  options.Reduction    = m_reduction;
  options.HasReduction = true;
  return options;
}

bool algoMesh_TopoDecimation::perform(const Handle(Poly_Triangulation) & input,
                                      Handle(Poly_Triangulation) & output) const
{
  algoMesh_ProgressScope progress{ActAPI_ProgressEntry(), TCollection_AsciiString()};
  return performWithProgress(input, output, progress);
}

bool algoMesh_TopoDecimation::performWithProgress(const Handle(Poly_Triangulation) & input,
                                                  Handle(Poly_Triangulation) & output,
                                                  algoMesh_ProgressScope& progress) const
{
  m_lastPath                    = Path_None;
  m_isStoppedAtErrorLimit       = false;
  const bool mayCrossNothingNew = m_nbInputCrossings <= 0;
  Bound      bound;
  const auto done = [&](const Path path)
  {
    m_lastPath              = path;
    m_isStoppedAtErrorLimit = bound.IsReached;
    progress.Complete();
    return true;
  };
  if (m_isFilterFirst && mayCrossNothingNew)
  {
    // 1. On request, the quadric filter's result, when it keeps every guarantee of the
    //    collapses. Otherwise the latest state of its run that keeps them all, when there is
    //    one: the collapses go on from there instead of starting over.
    algoMesh_VerifiedQuadricFilter::Prefix        prefix;
    const algoMesh_VerifiedQuadricFilter::Verdict verdict = algoMesh_VerifiedQuadricFilter::Perform(
        input, m_reduction, output, progress.Next(THE_FILTER_FIRST_SHARE), nullptr, &prefix);
    if (verdict == algoMesh_VerifiedQuadricFilter::Verdict_Accepted)
    {
      return output->NbTriangles() > 0 && done(Path_FilterAccepted);
    }
    if (verdict == algoMesh_VerifiedQuadricFilter::Verdict_Cancelled)
    {
      return false;
    }
    if (verdict == algoMesh_VerifiedQuadricFilter::Verdict_Refused)
    {
      const StateSearch fromFilter =
          [&](algoMesh_VerifiedQuadricFilter::Prefix& found, algoMesh_ProgressScope step)
      { return algoMesh_VerifiedQuadricFilter::FindPrefix(input, m_reduction, found, step); };
      switch (continueFrom(fromFilter, m_reduction, prefix, progress.Next(THE_PREFIX_SHARE), bound,
                           output))
      {
      case Continued_Done:
        return done(Path_FilterContinued);
      case Continued_Cancelled:
        return false;
      case Continued_Not:
        break;
      }
    }
  }
  else if (m_isContactDeferred && mayCrossNothingNew)
  {
    // 2. By default, the collapses without their contact test, which is most of their cost
    //    and refuses nothing on most inputs; their result is searched for crossing pairs
    //    instead, over all pairs, those sharing a node included. An open or non-manifold
    //    input gets the contact test on each collapse, and its result is the output.
    DeferredRun run;
    bool        isDeferred = false;
    if (!collapseInput(input, m_reduction, &run, progress.Next(THE_DEFERRED_SHARE), bound, output,
                       isDeferred))
    {
      return false;
    }
    if (!isDeferred)
    {
      return done(Path_Collapses);
    }
    algoMesh_DecimationDefects defects;
    std::vector<int>           pairs;
    if (!algoMesh_DecimationDefects::Count(
            output, progress.Next(THE_DEFERRED_CHECK_SHARE).Entry(false), defects, &pairs))
    {
      return false;
    }
    if (defects.NbCrossingPairs == 0)
    {
      return done(Path_Deferred);
    }
    // From here on, no collapse costlier than that run's costliest.
    bound.CostLimit = run.MaxCost;
    // 3. Crossing triangles (two solids close together, say): the collapses go on, with the
    //    contact test, from the latest state of that run that has none, unless the input
    //    crosses where the result does (then every state does too). The result's own
    //    crossing pairs bound how late that state can be.
    const size_t                           nbLatest  = latestStateWithout(run, output, pairs);
    algoMesh_ProgressScope                 continued = progress.Next(THE_DEFERRED_CONTINUED_SHARE);
    algoMesh_VerifiedQuadricFilter::Prefix prefix;
    bool                                   isInputCrossing = false;
    if (!mergeNodes(input, prefix.InputNodes, prefix.InputTriangles,
                    continued.Next(THE_MERGE_SHARE)) ||
        !inputCrossesNear(prefix, output, pairs, continued.Next(THE_NEAR_SHARE), isInputCrossing))
    {
      return false;
    }
    output.Nullify();
    const StateSearch fromLog = [&](algoMesh_VerifiedQuadricFilter::Prefix& found,
                                    algoMesh_ProgressScope                  step) {
      return algoMesh_VerifiedQuadricFilter::FindState(run.Log, m_reduction, found, step, nbLatest);
    };
    switch (isInputCrossing
                ? Continued_Not
                : continueFrom(fromLog, m_reduction, prefix, continued.Next(1.0), bound, output))
    {
    case Continued_Done:
      return done(Path_DeferredContinued);
    case Continued_Cancelled:
      return false;
    case Continued_Not:
      break;
    }
  }
  // 4. Otherwise the collapses with the contact test, from the input.
  bool isDeferred = false;
  if (!collapseInput(input, m_reduction, nullptr, progress.Next(1.0), bound, output, isDeferred))
  {
    return false;
  }
  return done(Path_Collapses);
}

} // namespace quorin
