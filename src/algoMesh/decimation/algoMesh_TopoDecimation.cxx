// Topology-preserving decimation: quadric edge collapse with checks that keep a closed
// manifold closed, manifold and free of self-intersections.
//
// On a closed manifold input the quadric filter runs first, and its result is taken when it
// passes checks standing for each guarantee below (algoMesh_VerifiedQuadricFilter, where the
// argument is); the collapser runs only when it does not.
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
// normal, and exact triangle-triangle tests (BVHTools) of the changed triangles against
// every other triangle whose box they reach, found in a uniform grid of triangle boxes.
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
// Cost: O(n log n) for n triangles; each collapse costs its ring times the grid occupancy.
// Memory: the decimate command peaked at about 210 bytes per input triangle, its input mesh
// included (1M and 10M triangles), before the vertices took one line each, which saves
// about 24 bytes per triangle more.
#include <algoMesh_TopoDecimation.hxx>

#include <algoMesh_EdgeCostQueue.hxx>
#include <algoMesh_MemoryAdvice.hxx>
#include <algoMesh_NodesMerger.hxx>
#include <algoMesh_TopoDecimationGrid.pxx>
#include <algoMesh_VerifiedQuadricFilter.hxx>

#include <BVHTools_TriangleTests.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

namespace quorin
{

namespace
{

using namespace topoDecimation;

// Weight of a boundary plane relative to a triangle's plane.
const double THE_BOUNDARY_WEIGHT = 1000.0;
// Cosine of the largest turn of a triangle normal a collapse may cause; the check of the
// filter's result holds its triangles to the same limit.
const double THE_MAX_TURN = algoMesh_VerifiedQuadricFilter::MaxTurnCosine;

// Share of the progress of the quadric filter and the checks of its result, when they run
// first: about a third of the collapser's time.
const double THE_FILTER_FIRST_SHARE = 0.35;
// Shares of the collapser's steps (what the filter left when it ran first), in proportion to the
// time each step took on a 1M-triangle torus reduced by half; the collapses take what the others
// leave.
const double THE_MERGE_SHARE     = 0.04;
const double THE_ADJACENCY_SHARE = 0.03;
const double THE_QUADRICS_SHARE  = 0.02;
const double THE_GRID_SHARE      = 0.04;
const double THE_QUEUE_SHARE     = 0.03;
const double THE_RESULT_SHARE    = 0.01;
const double THE_COLLAPSE_SHARE = 1.0 - THE_MERGE_SHARE - THE_ADJACENCY_SHARE - THE_QUADRICS_SHARE -
                                  THE_GRID_SHARE - THE_QUEUE_SHARE - THE_RESULT_SHARE;

// Items of a set-up loop between two progress reports and cancellation polls (well under a
// millisecond of work), and collapses between two polls in the main loop (each costs a
// few microseconds).
const int64_t THE_POLL_ITEMS     = 1024;
const int64_t THE_POLL_COLLAPSES = 16;

//! Items done by the loops of one step: every THE_POLL_ITEMS of them the step's progress
//! moves and the run is polled for cancellation.
class StepPace
{
public:
  StepPace(const algoMesh_ProgressScope& progress, const int64_t nbItems) : m_progress(progress)
  {
    m_progress.SetTotal(std::max<int64_t>(1, nbItems));
  }
  //! Counts `nbItems` more; false once the run is cancelled.
  bool Tick(const int64_t nbItems = 1)
  {
    m_done += nbItems;
    if (m_done < m_nextPoll)
    {
      return true;
    }
    m_nextPoll = m_done + THE_POLL_ITEMS;
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
  int64_t                m_done     = 0;
  int64_t                m_nextPoll = THE_POLL_ITEMS;
};

using Point = std::array<double, 3>;

double dot(const Point& a, const Point& b)
{
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Point sub(const Point& a, const Point& b)
{
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Point cross(const Point& a, const Point& b)
{
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

//! Symmetric 4x4 quadric: xx xy xz xw yy yz yw zz zw ww.
struct Quadric
{
  double q[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

  void addPlane(const Point& n, const double d, const double w)
  {
    q[0] += w * n[0] * n[0];
    q[1] += w * n[0] * n[1];
    q[2] += w * n[0] * n[2];
    q[3] += w * n[0] * d;
    q[4] += w * n[1] * n[1];
    q[5] += w * n[1] * n[2];
    q[6] += w * n[1] * d;
    q[7] += w * n[2] * n[2];
    q[8] += w * n[2] * d;
    q[9] += w * d * d;
  }
  void add(const Quadric& other)
  {
    for (int i = 0; i < 10; ++i)
    {
      q[i] += other.q[i];
    }
  }
  double error(const Point& p) const
  {
    const double x = p[0], y = p[1], z = p[2];
    return q[0] * x * x + 2 * q[1] * x * y + 2 * q[2] * x * z + 2 * q[3] * x + q[4] * y * y +
           2 * q[5] * y * z + 2 * q[6] * y + q[7] * z * z + 2 * q[8] * z + q[9];
  }
  //! The minimiser, when the 3x3 system is well conditioned.
  bool optimum(Point& p) const
  {
    const double a = q[0], b = q[1], c = q[2], d = q[4], e = q[5], f = q[7];
    const double det   = a * (d * f - e * e) - b * (b * f - c * e) + c * (b * e - c * d);
    const double scale = std::abs(a) + std::abs(d) + std::abs(f);
    if (!(std::abs(det) > 1.0e-12 * scale * scale * scale))
    {
      return false;
    }
    const double r0 = -q[3], r1 = -q[6], r2 = -q[8];
    p[0] = (r0 * (d * f - e * e) - b * (r1 * f - e * r2) + c * (r1 * e - d * r2)) / det;
    p[1] = (a * (r1 * f - e * r2) - r0 * (b * f - c * e) + c * (b * r2 - r1 * c)) / det;
    p[2] = (a * (d * r2 - r1 * e) - b * (b * r2 - r1 * c) + r0 * (b * e - c * d)) / det;
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
  }
};

//! The triangles around a vertex, as a range.
struct TriangleSpan
{
  const int* First;
  const int* Last;
  const int* begin() const { return First; }
  const int* end() const { return Last; }
};

//! The vertices, each in one cache line with its position, its flags and up to nine of the
//! triangles around it (more go to a side list): every collapse reads all three for each
//! node of its ring, at a place in the mesh that is usually cold, so one line per node
//! instead of three separate arrays and a heap block saves most of its cache misses.
class VertexStore
{
public:
  void Assign(std::vector<Point>&& points)
  {
    m_vertices.assign(points.size(), Vertex());
    for (size_t i = 0; i < points.size(); ++i)
    {
      m_vertices[i].P = points[i];
    }
    std::vector<Point>().swap(points);
    m_overflow.clear();
  }
  size_t       Size() const { return m_vertices.size(); }
  const Point& P(const int v) const { return m_vertices[v].P; }
  Point&       P(const int v) { return m_vertices[v].P; }
  bool         IsBorder(const int v) const { return (m_vertices[v].Info & THE_BORDER) != 0; }
  bool         IsLocked(const int v) const { return (m_vertices[v].Info & THE_LOCKED) != 0; }
  void         SetBorder(const int v) { m_vertices[v].Info |= THE_BORDER; }
  void         SetLocked(const int v) { m_vertices[v].Info |= THE_LOCKED; }

  TriangleSpan Around(const int v) const
  {
    const Vertex&  vertex = m_vertices[v];
    const uint32_t count  = vertex.Info & THE_COUNT;
    const int*     first  = count <= THE_INLINE ? vertex.Inline : m_overflow.find(v)->second.data();
    return {first, first + count};
  }
  //! Appends `t` to the triangles around `v`.
  void Add(const int v, const int t)
  {
    Vertex&        vertex = m_vertices[v];
    const uint32_t count  = vertex.Info & THE_COUNT;
    if (count < THE_INLINE)
    {
      vertex.Inline[count] = t;
    }
    else
    {
      std::vector<int>& list = m_overflow[v];
      if (count == THE_INLINE)
      {
        list.assign(vertex.Inline, vertex.Inline + THE_INLINE);
      }
      list.push_back(t);
    }
    ++vertex.Info;
  }
  //! Keeps, in their order, the triangles around `v` for which `keep` holds.
  template <class Predicate> void Filter(const int v, const Predicate& keep)
  {
    Vertex&        vertex = m_vertices[v];
    const uint32_t count  = vertex.Info & THE_COUNT;
    int* const     first  = count <= THE_INLINE ? vertex.Inline : m_overflow.find(v)->second.data();
    int* const     last =
        std::remove_if(first, first + count, [&keep](const int t) { return !keep(t); });
    resize(v, static_cast<uint32_t>(last - first));
  }

private:
  static constexpr uint32_t THE_INLINE = 9;
  static constexpr uint32_t THE_BORDER = 1u << 30;
  static constexpr uint32_t THE_LOCKED = 1u << 31;
  static constexpr uint32_t THE_COUNT  = THE_BORDER - 1;
  struct alignas(64) Vertex
  {
    Point    P    = {0, 0, 0};
    uint32_t Info = 0; //!< count of triangles around, border and locked flags
    int32_t  Inline[THE_INLINE];
  };

  //! Shortens the list of `v` to `count`, moving it back inline when it fits again.
  void resize(const int v, const uint32_t count)
  {
    Vertex&        vertex = m_vertices[v];
    const uint32_t before = vertex.Info & THE_COUNT;
    if (before > THE_INLINE)
    {
      const auto at = m_overflow.find(v);
      if (count <= THE_INLINE)
      {
        std::copy(at->second.begin(), at->second.begin() + count, vertex.Inline);
        m_overflow.erase(at);
      }
      else
      {
        at->second.resize(count);
      }
    }
    vertex.Info = (vertex.Info & ~THE_COUNT) | count;
  }

  std::vector<Vertex, algoMesh_LargeAllocator<Vertex>> m_vertices;
  std::unordered_map<int, std::vector<int>>            m_overflow;
};

//! The mesh being decimated, with everything the checks need.
class Collapser
{
public:
  Collapser(std::vector<Point>&& points, std::vector<std::array<int, 3>>&& triangles)
      : m_triangles(std::move(triangles))
  {
    m_vertices.Assign(std::move(points));
  }

  //! Collapses down to `target` triangles or until no allowed collapse is left, each step
  //! taking its share of `progress`; false when cancelled.
  bool Run(const size_t target, algoMesh_ProgressScope& progress)
  {
    // 1. Adjacency, boundary and locked vertices, components.
    if (!buildAdjacency(progress.Next(THE_ADJACENCY_SHARE)))
    {
      return false;
    }
    // 2. Quadrics and the grid of triangle boxes.
    if (!buildQuadrics(progress.Next(THE_QUADRICS_SHARE)) ||
        !buildGrid(progress.Next(THE_GRID_SHARE)))
    {
      return false;
    }
    // 3. Collapse cheapest first until the target or no allowed collapse is left.
    if (!queueEdges(progress.Next(THE_QUEUE_SHARE)))
    {
      return false;
    }
    return collapseUntil(target, progress.Next(THE_COLLAPSE_SHARE));
  }

  //! The live part, renumbered; null when cancelled.
  Handle(Poly_Triangulation) Result(const algoMesh_ProgressScope& progress) const;

private:
  bool buildAdjacency(const algoMesh_ProgressScope& progress);
  bool buildQuadrics(const algoMesh_ProgressScope& progress);
  bool buildGrid(const algoMesh_ProgressScope& progress);
  bool queueEdges(const algoMesh_ProgressScope& progress);
  bool collapseUntil(const size_t target, algoMesh_ProgressScope progress);
  //! Queues edge (min(a, b), max(a, b)) under `side`, one of its triangle sides, with its
  //! cost when it may collapse.
  void offerEdge(const int a, const int b, const int side);
  //! Fills m_neighbourSides with the neighbours of `a` (those above `a` only when `above`
  //! is set), each with a side joining it to `a`, in increasing order.
  void collectNeighbours(const int a, const bool above);
  //! Where edge (u, v) would collapse and which end survives; false when it may not.
  bool evaluate(int& u, int& v, Point& position, double& cost) const;
  //! Removes from the queue every edge at `u` or `v`: their costs are about to change.
  void unqueueEdgesAt(const int u, const int v);
  bool isAllowed(const int survivor, const int removed, const Point& position);
  void collapse(const int survivor, const int removed, const Point& position);
  //! Whether the ring moved to `position` touches a triangle sharing no node with it.
  bool crossesOthers(const int survivor, const int removed, const Point& position);

  //! The box of the triangle's corners in cell units.
  void   gridBox(const int t, Point& low, Point& high) const;
  double toGrid(const double x, const int axis) const
  {
    return std::max(-1.0e9, std::min(1.0e9, (x - m_origin[axis]) / m_cell));
  }
  CellRange rangeOf(const Point& low, const Point& high) const;
  CellRange rangeOf(const int t) const
  {
    Point low, high;
    gridBox(t, low, high);
    return rangeOf(low, high);
  }
  void insertInGrid(const int t);
  void removeFromGrid(const int t, const CellRange& range);
  //! Where a ring triangle was before its corner moved: its grid box and cells.
  struct Moving
  {
    int       T;
    Point     Low, High;
    CellRange Range;
  };
  //! Records where ring triangle `t` is, before its corner moves.
  Moving movingOf(const int t) const
  {
    Moving moving = {t, {}, {}, {}};
    gridBox(t, moving.Low, moving.High);
    moving.Range = rangeOf(moving.Low, moving.High);
    return moving;
  }
  //! Enters the triangle's new box in the grid after its corners moved away from `moving`.
  void refreshInGrid(const Moving& moving);
  //! Appends to m_candidates the live triangles off the ring whose box meets the ring's.
  void findCandidates(const Point& low, const Point& high);
  //! The list of cell (i, j, k), made when `create` is set; null when the cell holds nothing.
  //! Cells inside m_nearRange are looked up once per collapse.
  std::vector<Entry>* cellList(const int i, const int j, const int k, const bool create);
  static uint64_t     cellKey(const int i, const int j, const int k)
  {
    return (uint64_t(uint32_t(i + (1 << 20)) & 0x1fffff) << 42) |
           (uint64_t(uint32_t(j + (1 << 20)) & 0x1fffff) << 21) |
           uint64_t(uint32_t(k + (1 << 20)) & 0x1fffff);
  }

  VertexStore                     m_vertices;
  std::vector<std::array<int, 3>> m_triangles;
  std::vector<char>               m_liveTriangle;
  std::vector<int>                m_component;     //!< per triangle
  std::vector<size_t>             m_componentSize; //!< live triangles per component
  std::vector<Quadric>            m_quadrics;
  size_t                          m_nbEdges = 0;
  //! The collapsible edges by cost, each once, under the id 3 t + k of one of its triangle
  //! sides (side k of triangle t joins corners k and k + 1). A collapse removes the edges
  //! at both ends through the sides of the triangles around them, whatever side each was
  //! queued under, and queues the survivor's edges anew: the queue never holds a stale
  //! cost, and never more items than there are edges.
  algoMesh_EdgeCostQueue m_queue;
  size_t                 m_nbLive = 0;
  double                 m_cell   = 1.0;
  Point                  m_origin = {0, 0, 0};
  CellTable              m_grid;
  size_t                 m_gridBuiltAt = 0; //!< live triangles then
  std::vector<int>       m_large;           //!< triangles spanning more than THE_MAX_CELLS cells
  //! The cells that the ring of the collapse being checked covers, before and after it, with
  //! their slots as looked up (-2 not yet, -1 empty): the query and the update of the grid
  //! visit the same few cells many times.
  CellRange                          m_nearRange = {0, 0, 0, -1, -1, -1};
  std::vector<int>                   m_nearSlots;
  std::vector<Moving>                m_moving; //!< scratch: ring triangles before
  std::vector<int>                   m_seen;   //!< query stamp per triangle
  int                                m_query = 0;
  std::vector<int>                   m_shared, m_opposite; //!< scratch
  std::vector<uint64_t>              m_neighbourSides;     //!< scratch: neighbour << 32 | side
  std::vector<int>                   m_candidates;         //!< scratch: triangles near the ring
  std::vector<std::array<double, 6>> m_candidateBoxes;     //!< scratch: their boxes, low then high
  std::vector<int>                   m_ringMark; //!< per vertex: the removed end's neighbours
  int                                m_ringStamp = 0;
  std::vector<int>                   m_changed; //!< scratch: triangles around the edge
  std::vector<int>                   m_sides;   //!< scratch: queue ids to remove
};

bool Collapser::buildAdjacency(const algoMesh_ProgressScope& progress)
{
  const size_t nbTriangles = m_triangles.size();
  const size_t nbVertices  = m_vertices.Size();
  // Items: the stars, two passes over the sides, the groups, the sides again (three per
  // triangle), the components.
  StepPace pace(progress, 7 * static_cast<int64_t>(nbTriangles) + static_cast<int64_t>(nbVertices));
  m_liveTriangle.assign(nbTriangles, 1);
  m_nbLive = nbTriangles;
  for (int t = 0; t < static_cast<int>(nbTriangles); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (const int node : m_triangles[t])
    {
      m_vertices.Add(node, t);
    }
  }
  // Edge use counts: one triangle is a boundary, three or more a non-manifold edge. The
  // sides, as (ends, triangle), are sorted by a counting sort on their smaller end and a
  // sort of each end's few sides: linear, and no pass runs long without a poll.
  const auto keyOf = [this](const int t, const int k)
  {
    const int a = m_triangles[t][k], b = m_triangles[t][(k + 1) % 3];
    return (uint64_t(std::min(a, b)) << 32) | uint32_t(std::max(a, b));
  };
  std::vector<size_t> groupEnd(nbVertices + 1, 0); // after the fill: end of group v at v
  for (int t = 0; t < static_cast<int>(nbTriangles); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (int k = 0; k < 3; ++k)
    {
      ++groupEnd[(keyOf(t, k) >> 32) + 1];
    }
  }
  for (size_t v = 1; v <= nbVertices; ++v)
  {
    groupEnd[v] += groupEnd[v - 1];
  }
  std::vector<std::pair<uint64_t, int>> edges(3 * nbTriangles);
  for (int t = 0; t < static_cast<int>(nbTriangles); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    for (int k = 0; k < 3; ++k)
    {
      const uint64_t key           = keyOf(t, k);
      edges[groupEnd[key >> 32]++] = {key, t};
    }
  }
  for (size_t v = 0; v < nbVertices; ++v)
  {
    if (!pace.Tick())
    {
      return false;
    }
    std::sort(edges.begin() + (v == 0 ? 0 : groupEnd[v - 1]), edges.begin() + groupEnd[v]);
  }
  std::vector<size_t>().swap(groupEnd);
  // Components: union-find over triangles sharing an edge.
  std::vector<int> parent(nbTriangles);
  for (size_t t = 0; t < nbTriangles; ++t)
  {
    parent[t] = static_cast<int>(t);
  }
  const auto find = [&parent](int x)
  {
    while (parent[x] != x)
    {
      x = parent[x] = parent[parent[x]];
    }
    return x;
  };
  for (size_t i = 0; i < edges.size();)
  {
    size_t j = i;
    while (j < edges.size() && edges[j].first == edges[i].first)
    {
      parent[find(edges[j].second)] = find(edges[i].second);
      ++j;
    }
    if (!pace.Tick(static_cast<int64_t>(j - i)))
    {
      return false;
    }
    const int a = static_cast<int>(edges[i].first >> 32);
    const int b = static_cast<int>(edges[i].first & 0xffffffffu);
    ++m_nbEdges;
    if (j - i == 1)
    {
      m_vertices.SetBorder(a);
      m_vertices.SetBorder(b);
    }
    else if (j - i > 2)
    {
      m_vertices.SetLocked(a);
      m_vertices.SetLocked(b);
    }
    i = j;
  }
  std::vector<std::pair<uint64_t, int>>().swap(edges);
  m_component.assign(nbTriangles, 0);
  std::unordered_map<int, int> ids;
  for (size_t t = 0; t < nbTriangles; ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    const auto inserted = ids.emplace(find(static_cast<int>(t)), static_cast<int>(ids.size()));
    m_component[t]      = inserted.first->second;
  }
  m_componentSize.assign(ids.size(), 0);
  for (size_t t = 0; t < nbTriangles; ++t)
  {
    ++m_componentSize[m_component[t]];
  }
  return pace.Complete();
}

bool Collapser::buildQuadrics(const algoMesh_ProgressScope& progress)
{
  StepPace pace(progress, static_cast<int64_t>(m_triangles.size()));
  m_quadrics.assign(m_vertices.Size(), Quadric());
  for (const std::array<int, 3>& tri : m_triangles)
  {
    if (!pace.Tick())
    {
      return false;
    }
    const Point  n    = cross(sub(m_vertices.P(tri[1]), m_vertices.P(tri[0])),
                              sub(m_vertices.P(tri[2]), m_vertices.P(tri[0])));
    const double area = 0.5 * std::sqrt(dot(n, n));
    if (!(area > 0.0))
    {
      continue;
    }
    const Point unit = {n[0] / (2 * area), n[1] / (2 * area), n[2] / (2 * area)};
    Quadric     plane;
    plane.addPlane(unit, -dot(unit, m_vertices.P(tri[0])), 1.0);
    for (const int node : tri)
    {
      m_quadrics[node].add(plane);
    }
    // Boundary edges: a plane through the edge, perpendicular to the triangle, holds the
    // boundary in place.
    for (int k = 0; k < 3; ++k)
    {
      const int a = tri[k], b = tri[(k + 1) % 3];
      if (!m_vertices.IsBorder(a) || !m_vertices.IsBorder(b))
      {
        continue;
      }
      int shared = 0;
      for (const int t : m_vertices.Around(a))
      {
        const std::array<int, 3>& other = m_triangles[t];
        shared += std::find(other.begin(), other.end(), b) != other.end();
      }
      if (shared != 1)
      {
        continue;
      }
      const Point  edge   = sub(m_vertices.P(b), m_vertices.P(a));
      const Point  normal = cross(edge, unit);
      const double length = std::sqrt(dot(normal, normal));
      if (!(length > 0.0))
      {
        continue;
      }
      const Point side = {normal[0] / length, normal[1] / length, normal[2] / length};
      Quadric     constraint;
      constraint.addPlane(side, -dot(side, m_vertices.P(a)), THE_BOUNDARY_WEIGHT);
      m_quadrics[a].add(constraint);
      m_quadrics[b].add(constraint);
    }
  }
  return pace.Complete();
}

bool Collapser::buildGrid(const algoMesh_ProgressScope& progress)
{
  // Cells of six times the mean edge of the live triangles: a ring's box spans one to a
  // few cells, and a cell holds about a hundred entries (the fastest of 2 to 12 times on
  // 200k triangles, once the query stopped reading its entries' corners). Called again
  // whenever the triangles have grown enough that they would span many cells (see
  // collapseUntil).
  StepPace pace(progress, 2 * static_cast<int64_t>(m_triangles.size()));
  double   total = 0.0;
  Point    low   = {1e300, 1e300, 1e300};
  for (size_t t = 0; t < m_triangles.size(); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    if (!m_liveTriangle[t])
    {
      continue;
    }
    const std::array<int, 3>& tri = m_triangles[t];
    for (int k = 0; k < 3; ++k)
    {
      const Point d = sub(m_vertices.P(tri[k]), m_vertices.P(tri[(k + 1) % 3]));
      total += std::sqrt(dot(d, d));
      for (int i = 0; i < 3; ++i)
      {
        low[i] = std::min(low[i], m_vertices.P(tri[k])[i]);
      }
    }
  }
  m_origin = low;
  m_cell   = std::max(6.0 * total / std::max<size_t>(1, 3 * m_nbLive), 1.0e-12);
  m_seen.resize(m_triangles.size(), 0);
  m_ringMark.resize(m_vertices.Size(), 0);
  m_large.clear();
  m_grid.clear(m_nbLive / 8); // a cell holds a few dozen entries; the table grows if needed
  m_nearRange = {0, 0, 0, -1, -1, -1};
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    if (!pace.Tick())
    {
      return false;
    }
    if (m_liveTriangle[t])
    {
      insertInGrid(t);
    }
  }
  m_gridBuiltAt = m_nbLive;
  return pace.Complete();
}

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

std::vector<Entry>* Collapser::cellList(const int i, const int j, const int k, const bool create)
{
  const CellRange& near = m_nearRange;
  int*             slot = nullptr;
  if (near[0] <= i && i <= near[3] && near[1] <= j && j <= near[4] && near[2] <= k && k <= near[5])
  {
    slot = &m_nearSlots[(size_t(i - near[0]) * (near[4] - near[1] + 1) + (j - near[1])) *
                            (near[5] - near[2] + 1) +
                        (k - near[2])];
    if (*slot == -2)
    {
      *slot = m_grid.find(cellKey(i, j, k));
    }
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

bool Collapser::queueEdges(const algoMesh_ProgressScope& progress)
{
  StepPace pace(progress, static_cast<int64_t>(m_vertices.Size()));
  m_queue.Reset(static_cast<int64_t>(m_nbEdges), 3 * static_cast<int64_t>(m_triangles.size()));
  // In the order of their ends, (a, b) with a < b: equal costs then collapse in that order.
  for (int a = 0; a < static_cast<int>(m_vertices.Size()); ++a)
  {
    if (!pace.Tick())
    {
      return false;
    }
    collectNeighbours(a, true);
    for (const uint64_t neighbour : m_neighbourSides)
    {
      offerEdge(a, static_cast<int>(neighbour >> 32), static_cast<int>(neighbour & 0xffffffffu));
    }
  }
  return pace.Complete();
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

bool Collapser::evaluate(int& u, int& v, Point& position, double& cost) const
{
  if (m_vertices.IsLocked(u) || m_vertices.IsLocked(v))
  {
    return false;
  }
  // Only an edge between two boundary vertices can have one triangle: edges with more than
  // two lock their ends, and collapses keep the others manifold (link condition).
  int        shared  = 2;
  const bool borderU = m_vertices.IsBorder(u), borderV = m_vertices.IsBorder(v);
  if (borderU && borderV)
  {
    shared = 0;
    for (const int t : m_vertices.Around(u))
    {
      const std::array<int, 3>& tri = m_triangles[t];
      shared += tri[0] == v || tri[1] == v || tri[2] == v;
    }
  }
  if (shared != 1 && shared != 2)
  {
    return false;
  }
  Quadric sum = m_quadrics[u];
  sum.add(m_quadrics[v]);
  if (shared == 1 || borderU != borderV)
  {
    // A boundary edge collapses into one of its ends; an edge leaving the boundary into
    // its boundary end, so that the boundary does not move.
    const bool keepU =
        shared == 1 ? sum.error(m_vertices.P(u)) <= sum.error(m_vertices.P(v)) : borderU;
    if (!keepU)
    {
      std::swap(u, v);
    }
    position = m_vertices.P(u);
  }
  else if (borderU && borderV)
  {
    return false; // an interior edge between two boundary vertices would pinch the mesh
  }
  else if (!sum.optimum(position))
  {
    const Point& pu     = m_vertices.P(u);
    const Point& pv     = m_vertices.P(v);
    const Point  middle = {0.5 * (pu[0] + pv[0]), 0.5 * (pu[1] + pv[1]), 0.5 * (pu[2] + pv[2])};
    position            = middle;
    for (const Point& p : {pu, pv})
    {
      if (sum.error(p) < sum.error(position))
      {
        position = p;
      }
    }
  }
  cost = std::max(0.0, sum.error(position));
  return true;
}

bool Collapser::isAllowed(const int survivor, const int removed, const Point& position)
{
  // 1. Link condition: the ends may share no neighbour but the corners opposite the edge.
  //    The removed end's neighbours are marked, then the survivor's are looked up.
  std::vector<int>&shared = m_shared, &opposite = m_opposite;
  shared.clear();
  opposite.clear();
  const int neighbourMark = ++m_ringStamp;
  for (const int t : m_vertices.Around(removed))
  {
    for (const int node : m_triangles[t])
    {
      m_ringMark[node] = neighbourMark;
    }
  }
  for (const int t : m_vertices.Around(survivor))
  {
    const std::array<int, 3>& tri = m_triangles[t];
    if (tri[0] == removed || tri[1] == removed || tri[2] == removed)
    {
      shared.push_back(t);
      opposite.push_back(tri[0] != survivor && tri[0] != removed   ? tri[0]
                         : tri[1] != survivor && tri[1] != removed ? tri[1]
                                                                   : tri[2]);
    }
  }
  for (const int t : m_vertices.Around(survivor))
  {
    for (const int node : m_triangles[t])
    {
      if (m_ringMark[node] == neighbourMark && node != survivor && node != removed &&
          std::find(opposite.begin(), opposite.end(), node) == opposite.end())
      {
        return false;
      }
    }
  }
  if (m_componentSize[m_component[shared.front()]] < 4 + shared.size())
  {
    return false;
  }

  // 2. Normals of the changed triangles turn by less than the limit.
  m_changed.clear();
  for (const int vertex : {survivor, removed})
  {
    for (const int t : m_vertices.Around(vertex))
    {
      if (std::find(shared.begin(), shared.end(), t) == shared.end())
      {
        m_changed.push_back(t);
      }
    }
  }
  for (const int t : m_changed)
  {
    const std::array<int, 3>& tri = m_triangles[t];
    const Point*              before[3];
    const Point*              after[3];
    std::array<int, 3>        nodes = tri;
    for (int k = 0; k < 3; ++k)
    {
      before[k] = &m_vertices.P(tri[k]);
      after[k]  = (tri[k] == survivor || tri[k] == removed) ? &position : &m_vertices.P(tri[k]);
      nodes[k]  = tri[k] == removed ? survivor : tri[k];
    }
    const Point  n0 = cross(sub(*before[1], *before[0]), sub(*before[2], *before[0]));
    const Point  n1 = cross(sub(*after[1], *after[0]), sub(*after[2], *after[0]));
    const double l0 = std::sqrt(dot(n0, n0)), l1 = std::sqrt(dot(n1, n1));
    if (!(l1 > 0.0) || dot(n0, n1) <= THE_MAX_TURN * l0 * l1)
    {
      return false;
    }
    const BVHTools::TriangleCorners corners = {
        {after[0]->data(), after[1]->data(), after[2]->data()}};
    if (BVHTools::IsDegenerate(corners))
    {
      return false;
    }
  }

  // 3. No contact with any triangle that shares no node with the ring: another component
  //    or a far part of the surface. Triangles next to the ring cannot reach it without a
  //    fold, which step 2 refuses.
  return !crossesOthers(survivor, removed, position);
}

bool Collapser::crossesOthers(const int survivor, const int removed, const Point& position)
{
  // One grid query over the box of the whole new ring: the triangles beside it share
  // cells, so per-triangle queries would visit the same cells many times.
  const auto cornerOf = [&](const int node) -> const Point&
  { return node == survivor || node == removed ? position : m_vertices.P(node); };
  Point low = {1e300, 1e300, 1e300}, high = {-1e300, -1e300, -1e300};
  for (const int t : m_changed)
  {
    for (const int node : m_triangles[t])
    {
      for (int axis = 0; axis < 3; ++axis)
      {
        low[axis]  = std::min(low[axis], cornerOf(node)[axis]);
        high[axis] = std::max(high[axis], cornerOf(node)[axis]);
      }
    }
  }
  // The cells of the ring before and after: the ring's box with the old places of both ends.
  Point nearLow = low, nearHigh = high;
  for (const int node : {survivor, removed})
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      nearLow[axis]  = std::min(nearLow[axis], m_vertices.P(node)[axis]);
      nearHigh[axis] = std::max(nearHigh[axis], m_vertices.P(node)[axis]);
    }
  }
  const CellRange near =
      rangeOf({toGrid(nearLow[0], 0), toGrid(nearLow[1], 1), toGrid(nearLow[2], 2)},
              {toGrid(nearHigh[0], 0), toGrid(nearHigh[1], 1), toGrid(nearHigh[2], 2)});
  m_nearRange = cellCount(near) <= THE_MAX_CELLS ? near : CellRange{0, 0, 0, -1, -1, -1};
  m_nearSlots.assign(cellCount(m_nearRange), -2);
  // The triangles sharing a node with the ring are skipped without reading their corners:
  // marking them through the stars of the ring's nodes reads a few short lists, where
  // recognising them among the grid's entries would read each of them (ten times as many
  // cache lines, as most entries near the ring share a node with it).
  ++m_query;
  for (const std::vector<int>* list : {&m_changed, &m_shared})
  {
    for (const int t : *list)
    {
      m_seen[t] = m_query;
    }
  }
  for (const int t : m_changed)
  {
    for (const int node : m_triangles[t])
    {
      if (node != survivor && node != removed)
      {
        for (const int other : m_vertices.Around(node))
        {
          m_seen[other] = m_query;
        }
      }
    }
  }
  findCandidates(low, high);
  // Then each new triangle against the candidates its own box reaches, exactly.
  for (const int changed : m_changed)
  {
    const std::array<int, 3>& tri = m_triangles[changed];
    const Point*              corners[3];
    std::array<int, 3>        nodes = tri;
    Point                     lo = {1e300, 1e300, 1e300}, hi = {-1e300, -1e300, -1e300};
    for (int k = 0; k < 3; ++k)
    {
      corners[k] = &cornerOf(tri[k]);
      nodes[k]   = tri[k] == removed ? survivor : tri[k];
      for (int axis = 0; axis < 3; ++axis)
      {
        lo[axis] = std::min(lo[axis], (*corners[k])[axis]);
        hi[axis] = std::max(hi[axis], (*corners[k])[axis]);
      }
    }
    const BVHTools::TriangleCorners mine = {
        {corners[0]->data(), corners[1]->data(), corners[2]->data()}};
    for (size_t c = 0; c < m_candidates.size(); ++c)
    {
      const std::array<double, 6>& box = m_candidateBoxes[c];
      if (box[3] < lo[0] || hi[0] < box[0] || box[4] < lo[1] || hi[1] < box[1] || box[5] < lo[2] ||
          hi[2] < box[2])
      {
        continue;
      }
      const std::array<int, 3>&       other  = m_triangles[m_candidates[c]];
      const BVHTools::TriangleCorners theirs = {{m_vertices.P(other[0]).data(),
                                                 m_vertices.P(other[1]).data(),
                                                 m_vertices.P(other[2]).data()}};
      if (!BVHTools::IsDegenerate(theirs) &&
          BVHTools::NeighboursIntersect(mine, nodes.data(), theirs, other.data()))
      {
        return true;
      }
    }
  }
  return false;
}

void Collapser::findCandidates(const Point& low, const Point& high)
{
  m_candidates.clear();
  m_candidateBoxes.clear();
  // A triangle off the ring whose box meets [low, high] becomes a candidate, with its box.
  const auto consider = [&](const int t)
  {
    m_seen[t]                     = m_query;
    const std::array<int, 3>& tri = m_triangles[t];
    std::array<double, 6>     box = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
    for (const int node : tri)
    {
      for (int axis = 0; axis < 3; ++axis)
      {
        box[axis]     = std::min(box[axis], m_vertices.P(node)[axis]);
        box[axis + 3] = std::max(box[axis + 3], m_vertices.P(node)[axis]);
      }
    }
    if (box[3] < low[0] || high[0] < box[0] || box[4] < low[1] || high[1] < box[1] ||
        box[5] < low[2] || high[2] < box[2])
    {
      return;
    }
    m_candidates.push_back(t);
    m_candidateBoxes.push_back(box);
  };
  const Point     gridLow  = {toGrid(low[0], 0), toGrid(low[1], 1), toGrid(low[2], 2)};
  const Point     gridHigh = {toGrid(high[0], 0), toGrid(high[1], 1), toGrid(high[2], 2)};
  const CellRange range    = rangeOf(gridLow, gridHigh);
  if (cellCount(range) > THE_MAX_QUERY_CELLS)
  {
    // A ring far larger than the cells: every live triangle is cheaper than every cell.
    for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
    {
      if (m_liveTriangle[t] && m_seen[t] != m_query)
      {
        consider(t);
      }
    }
    return;
  }
  for (const int t : m_large)
  {
    if (m_seen[t] != m_query)
    {
      consider(t);
    }
  }
  for (int i = range[0]; i <= range[3]; ++i)
  {
    for (int j = range[1]; j <= range[4]; ++j)
    {
      for (int k = range[2]; k <= range[5]; ++k)
      {
        const std::vector<Entry>* cell = cellList(i, j, k, false);
        if (cell == nullptr)
        {
          continue;
        }
        const BoxTest test(gridLow.data(), gridHigh.data(), i, j, k);
        for (const Entry& entry : *cell)
        {
          // The clipped box first: it rejects most entries without leaving the list.
          if (test.Meets(entry) && m_seen[entry.T] != m_query)
          {
            consider(entry.T);
          }
        }
      }
    }
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
    removeFromGrid(t, rangeOf(t));
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
  // grid entries are found there.
  m_moving.clear();
  for (const int vertex : {survivor, removed})
  {
    for (const int t : m_vertices.Around(vertex))
    {
      m_moving.push_back(movingOf(t));
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
    if (4 * m_nbLive < m_gridBuiltAt && !buildGrid(progress.Next(0.0)))
    {
      return false;
    }
    double        queued = 0.0;
    const int32_t side   = m_queue.Pop(queued);
    if (side < 0)
    {
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
    collapse(survivor, removed, position);
  }
  progress.Complete();
  return !progress.IsCancelled();
}

Handle(Poly_Triangulation) Collapser::Result(const algoMesh_ProgressScope& progress) const
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
  for (size_t i = 0; i < m_vertices.Size(); ++i)
  {
    if (!pace.Tick())
    {
      return nullptr;
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
  // 1. The quadric filter's result, when it keeps every guarantee of the collapses below.
  if (m_isFilterFirst && m_nbInputCrossings <= 0)
  {
    const algoMesh_VerifiedQuadricFilter::Verdict verdict = algoMesh_VerifiedQuadricFilter::Perform(
        input, m_reduction, output, progress.Next(THE_FILTER_FIRST_SHARE));
    if (verdict == algoMesh_VerifiedQuadricFilter::Verdict_Accepted)
    {
      progress.Complete();
      return output->NbTriangles() > 0;
    }
    if (verdict == algoMesh_VerifiedQuadricFilter::Verdict_Cancelled)
    {
      return false;
    }
  }
  // 2. Merge coincident nodes and drop triangles that lost a corner to the merge.
  std::vector<Point>              points;
  std::vector<std::array<int, 3>> triangles;
  if (!mergeNodes(input, points, triangles, progress.Next(THE_MERGE_SHARE)) || triangles.empty())
  {
    return false;
  }
  // 3. Collapse down to the requested share.
  const double reduction = std::max(0.0, std::min(100.0, m_reduction)) / 100.0;
  const size_t target =
      static_cast<size_t>(std::llround(double(triangles.size()) * (1.0 - reduction)));
  Collapser collapser(std::move(points), std::move(triangles));
  if (!collapser.Run(target, progress))
  {
    return false;
  }
  // 4. The live part, renumbered.
  output = collapser.Result(progress.Next(1.0));
  return !output.IsNull() && output->NbTriangles() > 0;
}

} // namespace quorin
