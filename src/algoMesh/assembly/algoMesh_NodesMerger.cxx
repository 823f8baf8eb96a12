// Coincident-node merging over a uniform cell grid.
//
// Each point is looked up in a cell grid whose cell size equals the tolerance
// (algoMesh_CellGrid): the first stored node within the tolerance, in the grid's fixed
// visiting order, is the point's node. A point with no such node becomes a new node and is
// registered in its own cell. Cost: O(1) expected per point for well-spread input, O(n)
// for n points.
//
// Most points of a triangle soup repeat a stored node exactly. A new node is stored only
// when its look-up found no node within the tolerance, and when that look-up's probe was
// clean it saw every such node (otherwise a wider scan checks it): so the stored nodes
// stay more than the tolerance apart, and a point equal to one of them can have no other
// candidate. Such a point is answered from its own block, without locating the box around
// it or visiting the neighbouring blocks. The first new node found within the tolerance of
// a stored one (possible only where rounding moves a coordinate across a cell boundary) or
// where cell indices wrap ends this shortcut until the next Clear().
#include <algoMesh_NodesMerger.hxx>

#include <algoMesh_MemoryAdvice.hxx>

#include <algorithm>
#include <cmath>

using namespace quorin;

namespace
{
//! How many look-ups ahead a point's memory is requested: enough to overlap the latency
//! of several look-ups, few enough not to flood the memory system with requests.
const size_t THE_LOOK_AHEAD = 16;

} // namespace

algoMesh_NodesMerger::algoMesh_NodesMerger(const double tolerance)
    : m_tolerance(algoMesh_CellGrid::ValidTolerance(tolerance)), m_grid(m_tolerance),
      m_isLastNew(false), m_isSeparated(true)
{
}

void algoMesh_NodesMerger::Clear()
{
  m_nodes.clear();
  m_indices.clear();
  m_grid.Clear();
  m_isLastNew   = false;
  m_isSeparated = true;
}

void algoMesh_NodesMerger::Reserve(const size_t nbPoints, const size_t nbNodes)
{
  m_nodes.reserve(nbNodes);
  m_indices.reserve(nbPoints);
  algoMesh_MemoryAdvice::UseHugePages(m_nodes.data(), m_nodes.capacity() * sizeof(gp_Pnt));
  algoMesh_MemoryAdvice::UseHugePages(m_indices.data(), m_indices.capacity() * sizeof(int));
  m_grid.Reserve(nbNodes);
}

void algoMesh_NodesMerger::Perform(const std::vector<gp_Pnt>& points)
{
  Clear();
  m_indices.reserve(points.size());
  Append(points.data(), points.size());
}

bool algoMesh_NodesMerger::Perform(const gp_Pnt& point, int& index)
{
  algoMesh_CellGrid::Probe probe;
  m_grid.Locate(point.XYZ(), m_tolerance, probe);
  index = lookUp(point, probe);
  m_indices.push_back(index);
  return m_isLastNew;
}

void algoMesh_NodesMerger::Append(const gp_Pnt* points, const size_t count)
{
  // Each point's cell is located and its memory requested a few look-ups ahead of its own
  // look-up; the look-ups still run one after the other, in order, and locate the box
  // around the point only when they need it (not for a point equal to a stored node).
  algoMesh_CellGrid::Probe probes[THE_LOOK_AHEAD];
  const size_t             ahead = std::min(THE_LOOK_AHEAD, count);
  for (size_t k = 0; k < ahead; ++k)
  {
    m_grid.LocateCell(points[k].XYZ(), m_tolerance, probes[k]);
    m_grid.Prefetch(probes[k]);
  }
  for (size_t k = 0; k < count; ++k)
  {
    algoMesh_CellGrid::Probe& probe = probes[k % THE_LOOK_AHEAD];
    m_indices.push_back(lookUp(points[k], probe));
    if (k + THE_LOOK_AHEAD < count)
    {
      m_grid.LocateCell(points[k + THE_LOOK_AHEAD].XYZ(), m_tolerance, probe);
      m_grid.Prefetch(probe);
    }
  }
}

int algoMesh_NodesMerger::lookUp(const gp_Pnt& point, algoMesh_CellGrid::Probe& probe)
{
  // 1. A point equal to a stored node, while the stored nodes are more than the tolerance
  //    apart, has that node as its only candidate.
  if (m_isSeparated)
  {
    const int equal = m_grid.FindEqual(point.XYZ(), probe);
    if (equal > 0)
    {
      m_isLastNew = false;
      return equal;
    }
  }

  // 2. Otherwise the first stored node within the tolerance wins (not necessarily the
  //    nearest).
  m_grid.CompleteRange(point.XYZ(), m_tolerance, probe);
  const int found = m_grid.FindFirst(point.XYZ(), m_tolerance, probe);
  if (found > 0)
  {
    m_isLastNew = false;
    return found;
  }

  // 3. Otherwise the point becomes a new node. A non-finite point gets no cell and thus
  //    never absorbs a later point. A look-up with a clean probe saw every stored node
  //    within the tolerance, so the nodes stay apart; otherwise that is checked further.
  if (m_isSeparated && !probe.isClean)
  {
    m_isSeparated = m_grid.IsIsolated(point.XYZ(), m_tolerance, probe);
  }
  m_nodes.push_back(point);
  const int index = static_cast<int>(m_nodes.size());
  m_grid.Add(point.XYZ(), index, probe);
  m_isLastNew = true;
  return index;
}

Handle(Poly_Triangulation) algoMesh_NodesMerger::Weld(const Handle(Poly_Triangulation) & mesh,
                                                      const double tolerance,
                                                      const bool   dropCollapsed)
{
  if (mesh.IsNull())
  {
    return Handle(Poly_Triangulation)();
  }
  std::vector<gp_Pnt> points(static_cast<size_t>(mesh->NbNodes()));
  for (int n = 1; n <= mesh->NbNodes(); ++n)
  {
    points[n - 1] = mesh->Node(n);
  }
  algoMesh_NodesMerger merger(tolerance);
  merger.Perform(points);
  const std::vector<int>&    number = merger.Indices();
  std::vector<Poly_Triangle> kept;
  kept.reserve(static_cast<size_t>(mesh->NbTriangles()));
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    a = number[a - 1];
    b = number[b - 1];
    c = number[c - 1];
    if (!dropCollapsed || (a != b && b != c && a != c))
    {
      kept.emplace_back(a, b, c);
    }
  }
  if (kept.empty())
  {
    return Handle(Poly_Triangulation)();
  }
  Handle(Poly_Triangulation) welded =
      new Poly_Triangulation(merger.NbNodes(), static_cast<int>(kept.size()), false);
  for (int n = 1; n <= merger.NbNodes(); ++n)
  {
    welded->SetNode(n, merger.Nodes()[n - 1]);
  }
  for (size_t t = 0; t < kept.size(); ++t)
  {
    welded->SetTriangle(static_cast<int>(t) + 1, kept[t]);
  }
  return welded;
}
