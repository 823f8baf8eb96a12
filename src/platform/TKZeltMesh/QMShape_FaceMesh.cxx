// The working triangulation of one face: reading it with its edge polygons (pole nodes
// merged), the elementary edits (node, edge split, triangle split) that keep the edge
// adjacency current, point location by a walk in the parameter plane, the geometric tests
// the refiner's operations are judged by, and writing the result.
// Cost: O(n) to read and write n nodes; a walk visits O(sqrt(n)) triangles.
#include <QMShape_FaceMesh.hxx>

#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Geom2d_Curve.hxx>
#include <Standard_Failure.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <queue>
#include <tuple>
#include <unordered_map>

namespace
{
// Cosine of the largest turn between a triangle's normal and the surface's before the
// triangle counts as folded.
const double THE_UPRIGHT = 0.17;
// Largest border loop a folded face is triangulated anew from (the ear clipping costs the
// square of the loop's nodes).
const size_t THE_MAX_CLIPPED = 4000;
} // namespace

QMShape_FaceMesh::QMShape_FaceMesh(const TopoDS_Face& face, const Settings& settings)
    : m_face(face), m_settings(settings)
{
}

bool QMShape_FaceMesh::loadMesh()
{
  m_source = BRep_Tool::Triangulation(m_face, m_location);
  if (m_source.IsNull() || !m_source->HasUVNodes() || m_source->NbTriangles() == 0)
  {
    return false;
  }
  m_isIdentity = m_location.IsIdentity();
  if (!m_isIdentity)
  {
    m_toLocal = m_location.Transformation().Inverted();
  }
  // Without restriction: points are evaluated at UV values that the refinement chose
  // inside the face's triangles, and placed in model coordinates.
  m_surface = new BRepAdaptor_Surface(m_face, Standard_False);

  const int nbNodes = m_source->NbNodes();
  m_points.resize(nbNodes);
  m_uv.resize(nbNodes);
  m_fixed.assign(nbNodes, 0);
  m_pole.assign(nbNodes, -1);
  for (int i = 0; i < nbNodes; ++i)
  {
    m_points[i] = m_source->Node(i + 1);
    m_uv[i]     = m_source->UVNode(i + 1);
  }
  m_triangles.reserve(m_source->NbTriangles());
  for (int i = 1; i <= m_source->NbTriangles(); ++i)
  {
    int a, b, c;
    m_source->Triangle(i).Get(a, b, c);
    if (a < 1 || b < 1 || c < 1 || a > nbNodes || b > nbNodes || c > nbNodes || a == b || b == c ||
        a == c)
    {
      continue;
    }
    m_triangles.push_back({a - 1, b - 1, c - 1});
  }
  // The face's orientation in the parameter plane: the sign most of its area has.
  double signedArea = 0.0;
  for (const std::array<int, 3>& tri : m_triangles)
  {
    signedArea += uvArea(tri);
  }
  m_orientation = signedArea < 0.0 ? -1.0 : 1.0;
  double uMax, vMax;
  BRepTools::UVBounds(m_face, m_uvMin.ChangeCoord().ChangeCoord(1), uMax,
                      m_uvMin.ChangeCoord().ChangeCoord(2), vMax);
  return !m_triangles.empty();
}

void QMShape_FaceMesh::loadPolygons()
{
  const int              nbNodes = static_cast<int>(m_points.size());
  const std::vector<int> merged  = mergePoles();
  for (TopExp_Explorer explorer(m_face, TopAbs_EDGE); explorer.More(); explorer.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(explorer.Current());
    const Handle(Poly_PolygonOnTriangulation)& polygon =
        BRep_Tool::PolygonOnTriangulation(edge, m_source, m_location);
    if (polygon.IsNull() || polygon->NbNodes() < 2)
    {
      continue;
    }
    Slot slot;
    slot.Edge   = edge;
    slot.Source = polygon;
    slot.Size   = m_settings.MaxSize;
    if (m_settings.EdgeSizes != nullptr)
    {
      if (const double* size = m_settings.EdgeSizes->Seek(edge))
      {
        slot.Size = std::min(slot.Size, *size);
      }
    }
    if (!BRep_Tool::Degenerated(edge) && polygon->HasParameters())
    {
      try
      {
        slot.Curve      = new BRepAdaptor_Curve(edge);
        slot.PCurve     = new BRepAdaptor_Curve2d(edge, m_face);
        slot.Splittable = true;
        if (BRep_Tool::IsClosed(edge, m_face))
        {
          choosePCurve(slot, nbNodes);
        }
      }
      catch (const Standard_Failure&)
      {
        // An edge without 3D curve or curve on this face keeps its segments as they are.
        slot.Splittable = false;
      }
    }
    const int slotIndex = static_cast<int>(m_slots.size());
    bool      valid     = true;
    for (int i = 1; i <= polygon->NbNodes() && valid; ++i)
    {
      const int    node  = polygon->Node(i) - 1;
      const double param = polygon->HasParameters() ? polygon->Parameter(i) : double(i);
      valid              = node >= 0 && node < nbNodes;
      if (valid)
      {
        slot.Nodes.emplace_back(param, merged[node]);
        m_fixed[merged[node]] = 1;
      }
    }
    if (!valid)
    {
      continue;
    }
    for (size_t i = 0; i + 1 < slot.Nodes.size(); ++i)
    {
      const auto& first  = slot.Nodes[i];
      const auto& second = slot.Nodes[i + 1];
      if (first.second != second.second)
      {
        m_segments.emplace(
            keyOf(first.second, second.second),
            Segment{slotIndex, first.second, second.second, first.first, second.first});
      }
    }
    m_slots.push_back(std::move(slot));
  }
}

std::vector<int> QMShape_FaceMesh::mergePoles()
{
  // A degenerated edge is one point in 3D and a line in the parameter plane, which the
  // first pass divides into several nodes with zero-area triangles between them. They
  // become one pole node, which each triangle of the fan sees at its own meridian
  // (poleUV), and the zero-area triangles go: the fan then refines like any other
  // triangles.
  const int        nbNodes = static_cast<int>(m_points.size());
  std::vector<int> merged(nbNodes);
  for (int i = 0; i < nbNodes; ++i)
  {
    merged[i] = i;
  }
  for (TopExp_Explorer explorer(m_face, TopAbs_EDGE); explorer.More(); explorer.Next())
  {
    const TopoDS_Edge& edge = TopoDS::Edge(explorer.Current());
    if (!BRep_Tool::Degenerated(edge))
    {
      continue;
    }
    const Handle(Poly_PolygonOnTriangulation)& polygon =
        BRep_Tool::PolygonOnTriangulation(edge, m_source, m_location);
    if (polygon.IsNull() || polygon->NbNodes() < 1)
    {
      continue;
    }
    int pole = -1;
    for (int i = 1; i <= polygon->NbNodes(); ++i)
    {
      const int node = polygon->Node(i) - 1;
      if (node >= 0 && node < nbNodes)
      {
        pole         = pole < 0 ? merged[node] : pole;
        merged[node] = pole;
      }
    }
    const int line = pole >= 0 ? addPoleLine(edge, *polygon) : -1;
    if (line >= 0)
    {
      m_pole[pole] = line;
    }
  }
  for (std::array<int, 3>& tri : m_triangles)
  {
    for (int& node : tri)
    {
      node = merged[node];
    }
  }
  m_triangles.erase(std::remove_if(m_triangles.begin(), m_triangles.end(),
                                   [](const std::array<int, 3>& t)
                                   { return t[0] == t[1] || t[1] == t[2] || t[0] == t[2]; }),
                    m_triangles.end());
  return merged;
}

void QMShape_FaceMesh::choosePCurve(Slot& slot, const int nbNodes) const
{
  // The two curves of a seam and its two polygons are paired through the edge's
  // orientation, but the kernel's mesher and its curve look-up do not pair them the same
  // way: take the curve that passes through the polygon's own UV nodes.
  const Handle(BRepAdaptor_Curve2d) other =
      new BRepAdaptor_Curve2d(TopoDS::Edge(slot.Edge.Reversed()), m_face);
  double distance[2] = {0.0, 0.0};
  for (int i = 1; i <= slot.Source->NbNodes(); ++i)
  {
    const int node = slot.Source->Node(i) - 1;
    if (node >= 0 && node < nbNodes)
    {
      const double t = slot.Source->Parameter(i);
      distance[0] += slot.PCurve->Value(t).SquareDistance(m_uv[node]);
      distance[1] += other->Value(t).SquareDistance(m_uv[node]);
    }
  }
  if (distance[1] < distance[0])
  {
    slot.PCurve = other;
  }
}

void QMShape_FaceMesh::buildEdges()
{
  m_edges.clear();
  m_edges.reserve(m_triangles.size() * 2);
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    if (!isLive(t))
    {
      continue;
    }
    const std::array<int, 3>& tri = m_triangles[t];
    for (int k = 0; k < 3; ++k)
    {
      attach(keyOf(tri[k], tri[(k + 1) % 3]), t);
    }
  }
  // A border that belongs to no edge polygon cannot be matched with a neighbour: its nodes
  // stay where they are, like those of the polygons.
  for (const auto& edge : m_edges)
  {
    if (edge.second.T[1] < 0)
    {
      m_fixed[static_cast<size_t>(edge.first >> 32)]         = 1;
      m_fixed[static_cast<size_t>(edge.first & 0xffffffffu)] = 1;
    }
  }
}

int QMShape_FaceMesh::restoreSkippedNodes()
{
  // 1. Which nodes the triangles use, and the polygon segments at each node.
  std::vector<char>                         used(m_points.size(), 0);
  std::unordered_map<int, std::vector<int>> segmentsAt;
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    for (int k = 0; k < 3 && isLive(t); ++k)
    {
      used[m_triangles[t][k]] = 1;
    }
  }
  bool skipped = false;
  for (const Slot& slot : m_slots)
  {
    for (size_t i = 0; i + 1 < slot.Nodes.size(); ++i)
    {
      const int a = slot.Nodes[i].second, b = slot.Nodes[i + 1].second;
      if (a != b)
      {
        segmentsAt[a].push_back(b);
        segmentsAt[b].push_back(a);
      }
      skipped = skipped || !used[a] || !used[b];
    }
  }
  if (!skipped)
  {
    return 0;
  }
  // 2. Every border edge of a triangle that is no polygon segment, and whose ends are joined
  // along the polygons through unused nodes only, becomes a fan through those nodes (a
  // breadth-first search from one end, entering unused nodes only). The fan keeps the
  // triangle's orientation: its edge p -> q becomes the chain from p to q.
  std::unordered_map<uint64_t, int> sides; // undirected edge -> number of triangles
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    for (int k = 0; k < 3 && isLive(t); ++k)
    {
      ++sides[keyOf(m_triangles[t][k], m_triangles[t][(k + 1) % 3])];
    }
  }
  int       restored    = 0;
  const int nbTriangles = static_cast<int>(m_triangles.size());
  for (int t = 0; t < nbTriangles; ++t)
  {
    for (int k = 0; k < 3 && isLive(t); ++k)
    {
      const int p = m_triangles[t][k], q = m_triangles[t][(k + 1) % 3];
      if (sides[keyOf(p, q)] != 1 || m_segments.count(keyOf(p, q)) > 0)
      {
        continue;
      }
      std::unordered_map<int, int> from{{p, p}};
      std::vector<int>             queue{p};
      for (size_t head = 0; head < queue.size() && from.count(q) == 0; ++head)
      {
        for (const int next : segmentsAt[queue[head]])
        {
          if (from.count(next) == 0 && (next == q || !used[next]))
          {
            from[next] = queue[head];
            queue.push_back(next);
          }
        }
      }
      if (from.count(q) == 0)
      {
        continue;
      }
      std::vector<int> chain{q};
      while (chain.back() != p)
      {
        chain.push_back(from[chain.back()]);
      }
      std::reverse(chain.begin(), chain.end());
      const int opposite = m_triangles[t][(k + 2) % 3];
      m_triangles[t]     = {chain[0], chain[1], opposite};
      for (size_t m = 1; m + 1 < chain.size(); ++m)
      {
        m_triangles.push_back({chain[m], chain[m + 1], opposite});
        used[chain[m]] = 1;
      }
      restored += static_cast<int>(chain.size()) - 2;
      break; // the triangle changed: its other edges are border edges of the fan now
    }
  }
  return restored;
}

void QMShape_FaceMesh::removeBorderNodes()
{
  if (m_settings.EdgeRemovals == nullptr || m_settings.EdgeRemovals->IsEmpty())
  {
    return;
  }
  // A node on more than one polygon (a vertex, or the end of a seam) is never removed.
  std::vector<int> polygonsAt(m_points.size(), 0);
  for (const Slot& slot : m_slots)
  {
    for (const std::pair<double, int>& node : slot.Nodes)
    {
      ++polygonsAt[node.second];
    }
  }
  std::vector<std::vector<int>> around  = trianglesAround();
  bool                          removed = false;
  for (int s = 0; s < static_cast<int>(m_slots.size()); ++s)
  {
    Slot&                      slot = m_slots[s];
    const std::vector<double>* list = m_settings.EdgeRemovals->Seek(slot.Edge);
    if (list == nullptr || list->empty())
    {
      continue;
    }
    // A seam, or an edge without curves to follow, keeps all its nodes.
    const bool removable = slot.Splittable && !BRep_Tool::IsClosed(slot.Edge, m_face);
    // The polygon's inner nodes in their order along it; the first pass's parameters are
    // the same in every face of the edge, so they name the nodes to remove.
    for (size_t i = 1; i + 1 < slot.Nodes.size();)
    {
      const double t = slot.Nodes[i].first;
      if (!IsListed(*list, t))
      {
        ++i;
        continue;
      }
      const int  node = slot.Nodes[i].second;
      const int  p = slot.Nodes[i - 1].second, q = slot.Nodes[i + 1].second;
      const bool allowed = removable && polygonsAt[node] == 1 && !isPole(node) && p != q &&
                           m_segments.count(keyOf(p, q)) == 0;
      if (!allowed || !(collapseBorderNode(node, p, around) || collapseBorderNode(node, q, around)))
      {
        m_refused.emplace_back(slot.Edge, t);
        ++i;
        continue;
      }
      const double ta = slot.Nodes[i - 1].first, tb = slot.Nodes[i + 1].first;
      m_segments.erase(keyOf(p, node));
      m_segments.erase(keyOf(node, q));
      m_segments.emplace(keyOf(p, q), Segment{s, p, q, ta, tb});
      slot.Nodes.erase(slot.Nodes.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
    }
  }
  if (removed)
  {
    buildEdges();
  }
}

bool QMShape_FaceMesh::collapseBorderNode(const int                      node,
                                          const int                      target,
                                          std::vector<std::vector<int>>& around)
{
  // 1. The border segment (node, target) has one triangle; its third node must be the only
  // neighbour the two ends share, else the collapse doubles an edge or pinches the face.
  std::vector<int> shared;
  if (edgeLink(node, target, around, shared) != 1 || shared.size() != 1)
  {
    return false;
  }
  // 2. Every other triangle of the node, moved onto the target, stays upright.
  for (const int t : around[node])
  {
    if (t == shared[0])
    {
      continue;
    }
    std::array<int, 3> tri = m_triangles[t];
    std::replace(tri.begin(), tri.end(), node, target);
    if (!isUpright(tri))
    {
      return false;
    }
  }
  // 3. Collapse.
  for (const int other : m_triangles[shared[0]])
  {
    std::vector<int>& list = around[other];
    list.erase(std::remove(list.begin(), list.end(), shared[0]), list.end());
  }
  m_triangles[shared[0]] = {-1, -1, -1};
  for (const int t : around[node])
  {
    std::replace(m_triangles[t].begin(), m_triangles[t].end(), node, target);
    around[target].push_back(t);
  }
  around[node].clear();
  return true;
}

size_t QMShape_FaceMesh::edgeLink(const int                            a,
                                  const int                            b,
                                  const std::vector<std::vector<int>>& around,
                                  std::vector<int>&                    shared) const
{
  shared.clear();
  std::vector<int> neighbours[2];
  const int        ends[2] = {a, b};
  for (int e = 0; e < 2; ++e)
  {
    for (const int t : around[ends[e]])
    {
      const std::array<int, 3>& tri = m_triangles[t];
      if (e == 0 && std::find(tri.begin(), tri.end(), b) != tri.end())
      {
        shared.push_back(t);
      }
      for (const int node : tri)
      {
        if (node != ends[e])
        {
          neighbours[e].push_back(node);
        }
      }
    }
    std::sort(neighbours[e].begin(), neighbours[e].end());
    neighbours[e].erase(std::unique(neighbours[e].begin(), neighbours[e].end()),
                        neighbours[e].end());
  }
  std::vector<int> common;
  std::set_intersection(neighbours[0].begin(), neighbours[0].end(), neighbours[1].begin(),
                        neighbours[1].end(), std::back_inserter(common));
  return common.size();
}

bool QMShape_FaceMesh::isBorderUncovered() const
{
  for (const auto& segment : m_segments)
  {
    if (m_edges.count(segment.first) == 0)
    {
      return true;
    }
  }
  return false;
}

bool QMShape_FaceMesh::retriangulateFolded()
{
  // 1. Only a face whose border is one loop of polygon segments without poles, and whose
  // other nodes are free (they are left out: refinement puts new ones where they are due).
  std::unordered_map<int, std::vector<int>> next;
  for (const auto& segment : m_segments)
  {
    next[segment.second.A].push_back(segment.second.B);
    next[segment.second.B].push_back(segment.second.A);
  }
  const size_t nbBorder = next.size();
  if (nbBorder < 4 || nbBorder > THE_MAX_CLIPPED)
  {
    return false;
  }
  bool folded = false;
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    for (int k = 0; k < 3 && isLive(t); ++k)
    {
      const int  node  = m_triangles[t][k];
      const auto found = next.find(node);
      if (isPole(node) || (found == next.end() && m_fixed[node]) ||
          (found != next.end() && found->second.size() != 2))
      {
        return false;
      }
    }
  }
  for (int t = 0; t < static_cast<int>(m_triangles.size()) && !folded; ++t)
  {
    folded = isLive(t) && !isUpright(m_triangles[t]);
  }
  if (!folded && !isBorderUncovered())
  {
    return false;
  }
  // 2. The loop, in the face's orientation in the parameter plane.
  std::vector<int> loop{next.begin()->first};
  for (int previous = -1; loop.size() <= nbBorder;)
  {
    const std::vector<int>& around = next[loop.back()];
    const int               step   = around[0] != previous ? around[0] : around[1];
    previous                       = loop.back();
    if (step == loop.front())
    {
      break;
    }
    loop.push_back(step);
  }
  if (loop.size() != nbBorder)
  {
    return false; // several loops: holes or a seam
  }
  double area = 0.0;
  for (size_t i = 0; i < loop.size(); ++i)
  {
    area += m_uv[loop[i]].XY() ^ m_uv[loop[(i + 1) % loop.size()]].XY();
  }
  if (area * m_orientation < 0.0)
  {
    std::reverse(loop.begin(), loop.end());
  }
  // 3. Ear clipping, the ear with the largest smallest angle first. Clipping an ear changes
  // only its two neighbours' ears, which are judged again; an ear is upright and holds no
  // other node of the loop.
  const int         n = static_cast<int>(loop.size());
  std::vector<int>  before(n), after(n), stamp(n, 0);
  std::vector<char> alive(n, 1);
  for (int i = 0; i < n; ++i)
  {
    before[i] = (i + n - 1) % n;
    after[i]  = (i + 1) % n;
  }
  const auto earAngle = [&](const int i) -> double
  {
    const std::array<int, 3> ear{loop[before[i]], loop[i], loop[after[i]]};
    if (!isUpright(ear))
    {
      return -1.0;
    }
    const gp_XY a = m_uv[ear[0]].XY(), b = m_uv[ear[1]].XY(), c = m_uv[ear[2]].XY();
    for (int j = after[after[i]]; j != before[i]; j = after[j])
    {
      const gp_XY p = m_uv[loop[j]].XY();
      if (m_orientation * ((b - a) ^ (p - a)) >= 0.0 &&
          m_orientation * ((c - b) ^ (p - b)) >= 0.0 && m_orientation * ((a - c) ^ (p - c)) >= 0.0)
      {
        return -1.0;
      }
    }
    return minAngle(ear);
  };
  std::priority_queue<std::tuple<double, int, int>> ears; // angle, stamp, position
  const auto                                        judge = [&](const int i)
  {
    ++stamp[i];
    const double angle = earAngle(i);
    if (angle >= 0.0)
    {
      ears.emplace(angle, stamp[i], i);
    }
  };
  for (int i = 0; i < n; ++i)
  {
    judge(i);
  }
  std::vector<std::array<int, 3>> triangles;
  for (int remaining = n; remaining > 3;)
  {
    if (ears.empty())
    {
      return false; // no ear: keep the triangles as they are
    }
    const auto [angle, version, i] = ears.top();
    ears.pop();
    if (!alive[i] || version != stamp[i])
    {
      continue;
    }
    triangles.push_back({loop[before[i]], loop[i], loop[after[i]]});
    alive[i]         = 0;
    after[before[i]] = after[i];
    before[after[i]] = before[i];
    --remaining;
    judge(before[i]);
    judge(after[i]);
  }
  int first = 0;
  while (!alive[first])
  {
    ++first;
  }
  triangles.push_back({loop[before[first]], loop[first], loop[after[first]]});
  if (!isUpright(triangles.back()))
  {
    return false;
  }
  m_triangles = std::move(triangles);
  m_touched.clear();
  return true;
}

bool QMShape_FaceMesh::projectToSurface(const gp_Pnt& target, gp_Pnt2d& uv, gp_Pnt& point) const
{
  // Gauss-Newton on the distance, from the given parameters, kept in the surface's domain.
  const double uMin = m_surface->FirstUParameter(), uMax = m_surface->LastUParameter();
  const double vMin = m_surface->FirstVParameter(), vMax = m_surface->LastVParameter();
  const double uPeriod = m_surface->IsUPeriodic() ? m_surface->UPeriod() : 0.0;
  const double vPeriod = m_surface->IsVPeriodic() ? m_surface->VPeriod() : 0.0;
  const double uCap    = 0.25 * (uPeriod > 0.0 ? uPeriod : std::min(uMax - uMin, 1.0e100));
  const double vCap    = 0.25 * (vPeriod > 0.0 ? vPeriod : std::min(vMax - vMin, 1.0e100));
  const auto   wrap    = [](const double x, const double period)
  {
    const double r = std::fmod(x, period);
    return r < 0.0 ? r + period : r;
  };
  gp_XY at = uv.XY();
  for (int iteration = 0; iteration < 12; ++iteration)
  {
    gp_Pnt p;
    gp_Vec du, dv;
    m_surface->D1(at.X(), at.Y(), p, du, dv);
    if (!m_isIdentity)
    {
      p.Transform(m_toLocal);
      du.Transform(m_toLocal);
      dv.Transform(m_toLocal);
    }
    const gp_Vec shift(p, target);
    const double e = du.Dot(du), f = du.Dot(dv), g = dv.Dot(dv);
    const double det = e * g - f * f;
    if (!(det > 1.0e-20 * e * g) || !(det > 0.0))
    {
      return false;
    }
    const double su = du.Dot(shift), sv = dv.Dot(shift);
    // Steps are capped (near a pole the linear model asks for huge turns in one parameter)
    // and a periodic parameter is brought back into the period that starts at the face's
    // own lower bound.
    const double stepU = std::max(-uCap, std::min(uCap, (g * su - f * sv) / det));
    const double stepV = std::max(-vCap, std::min(vCap, (e * sv - f * su) / det));
    at += gp_XY(stepU, stepV);
    at.SetX(uPeriod > 0.0 ? m_uvMin.X() + wrap(at.X() - m_uvMin.X(), uPeriod)
                          : std::max(uMin, std::min(uMax, at.X())));
    at.SetY(vPeriod > 0.0 ? m_uvMin.Y() + wrap(at.Y() - m_uvMin.Y(), vPeriod)
                          : std::max(vMin, std::min(vMax, at.Y())));
  }
  uv = gp_Pnt2d(at);
  gp_Pnt p;
  gp_Vec du, dv;
  m_surface->D1(at.X(), at.Y(), p, du, dv);
  if (du.Crossed(dv).SquareMagnitude() < 1.0e-12 * du.SquareMagnitude() * dv.SquareMagnitude())
  {
    return false; // ended on a pole
  }
  point = surfacePoint(uv);
  return std::isfinite(point.X()) && std::isfinite(point.Y()) && std::isfinite(point.Z());
}

void QMShape_FaceMesh::splitEdge(const int a, const int b, const int m)
{
  const uint64_t   key    = keyOf(a, b);
  const EdgeRecord record = m_edges[key];
  m_edges.erase(key);
  for (const int t : record.T)
  {
    if (t < 0)
    {
      continue;
    }
    const std::array<int, 3> tri = m_triangles[t];
    int                      k   = 0;
    while (k < 3 &&
           !((tri[k] == a && tri[(k + 1) % 3] == b) || (tri[k] == b && tri[(k + 1) % 3] == a)))
    {
      ++k;
    }
    if (k == 3)
    {
      continue;
    }
    const int p = tri[k], q = tri[(k + 1) % 3], r = tri[(k + 2) % 3];
    const int n    = static_cast<int>(m_triangles.size());
    m_triangles[t] = {p, m, r};
    m_triangles.push_back({m, q, r});
    replace(keyOf(q, r), t, n);
    attach(keyOf(m, r), t);
    attach(keyOf(m, r), n);
    attach(keyOf(p, m), t);
    attach(keyOf(m, q), n);
    m_touched.push_back(t);
    m_touched.push_back(n);
  }
}

void QMShape_FaceMesh::storeResult()
{
  // Collapses leave nodes and triangles unused: number the live ones afresh. Boundary
  // nodes are never removed, so every polygon node keeps a number.
  std::vector<int> number(m_points.size(), -1);
  int              nbNodes = 0, nbTriangles = 0;
  for (const std::array<int, 3>& tri : m_triangles)
  {
    if (tri[0] < 0)
    {
      continue;
    }
    ++nbTriangles;
    for (const int node : tri)
    {
      if (number[node] < 0)
      {
        number[node] = nbNodes++;
      }
    }
  }
  for (const Slot& slot : m_slots)
  {
    for (const std::pair<double, int>& node : slot.Nodes)
    {
      if (number[node.second] < 0)
      {
        number[node.second] = nbNodes++;
      }
    }
  }
  m_result = new Poly_Triangulation(nbNodes, nbTriangles, true);
  for (size_t i = 0; i < m_points.size(); ++i)
  {
    if (number[i] >= 0)
    {
      m_result->SetNode(number[i] + 1, m_points[i]);
      m_result->SetUVNode(number[i] + 1, m_uv[i]);
    }
  }
  int index = 0;
  for (const std::array<int, 3>& tri : m_triangles)
  {
    if (tri[0] >= 0)
    {
      m_result->SetTriangle(
          ++index, Poly_Triangle(number[tri[0]] + 1, number[tri[1]] + 1, number[tri[2]] + 1));
    }
  }
  m_result->Deflection(m_source->Deflection());

  for (Slot& slot : m_slots)
  {
    // The polygon's nodes in the direction of its parameters.
    const bool increasing =
        slot.Nodes.front().first <= slot.Nodes[slot.Source->NbNodes() - 1].first;
    std::stable_sort(slot.Nodes.begin(), slot.Nodes.end(),
                     [increasing](const std::pair<double, int>& x, const std::pair<double, int>& y)
                     { return increasing ? x.first < y.first : x.first > y.first; });
    const int               n = static_cast<int>(slot.Nodes.size());
    TColStd_Array1OfInteger nodes(1, n);
    TColStd_Array1OfReal    params(1, n);
    for (int i = 0; i < n; ++i)
    {
      nodes(i + 1)  = number[slot.Nodes[i].second] + 1;
      params(i + 1) = slot.Nodes[i].first;
    }
    Handle(Poly_PolygonOnTriangulation) polygon =
        slot.Source->HasParameters() ? new Poly_PolygonOnTriangulation(nodes, params)
                                     : new Poly_PolygonOnTriangulation(nodes);
    polygon->Deflection(slot.Source->Deflection());
    m_polygons.push_back({slot.Edge, polygon});
  }
}

bool QMShape_FaceMesh::locate(const int start, const gp_XY& uv, int& found, int& edge) const
{
  int       t      = start;
  const int limit  = 4 * static_cast<int>(std::sqrt(double(m_triangles.size()))) + 64;
  int       origin = -1; // the triangle we came from, so that a walk never steps straight back
  for (int step = 0; step < limit; ++step)
  {
    const std::array<int, 3>&  tri     = m_triangles[t];
    const std::array<gp_XY, 3> corners = cornerUV(tri);
    int                        next = -1, onEdge = -1;
    for (int k = 0; k < 3 && next < 0; ++k)
    {
      const gp_XY  p = corners[k], q = corners[(k + 1) % 3];
      const double side  = m_orientation * ((q - p) ^ (uv - p));
      const double scale = (q - p).Modulus() * ((uv - p).Modulus() + (q - p).Modulus());
      if (side < -1.0e-10 * scale)
      {
        const uint64_t key = keyOf(tri[k], tri[(k + 1) % 3]);
        if (m_segments.count(key) != 0)
        {
          return false;
        }
        const auto record = m_edges.find(key);
        if (record == m_edges.end() || record->second.T[1] < 0)
        {
          return false;
        }
        const int other = record->second.T[0] == t ? record->second.T[1] : record->second.T[0];
        if (other == origin)
        {
          continue; // try another side first
        }
        next = other;
      }
      else if (side <= 1.0e-10 * scale)
      {
        onEdge = k;
      }
    }
    if (next < 0)
    {
      found = t;
      edge  = onEdge;
      return true;
    }
    origin = t;
    t      = next;
  }
  return false;
}

void QMShape_FaceMesh::splitTriangle(const int t, const int m)
{
  const std::array<int, 3> tri = m_triangles[t];
  const int                p = tri[0], q = tri[1], r = tri[2];
  const int                n1 = static_cast<int>(m_triangles.size()), n2 = n1 + 1;
  m_triangles[t] = {p, q, m};
  m_triangles.push_back({q, r, m});
  m_triangles.push_back({r, p, m});
  replace(keyOf(q, r), t, n1);
  replace(keyOf(r, p), t, n2);
  attach(keyOf(p, m), t);
  attach(keyOf(p, m), n2);
  attach(keyOf(q, m), t);
  attach(keyOf(q, m), n1);
  attach(keyOf(r, m), n1);
  attach(keyOf(r, m), n2);
  m_touched.insert(m_touched.end(), {t, n1, n2});
}

std::vector<std::vector<int>> QMShape_FaceMesh::trianglesAround() const
{
  std::vector<std::vector<int>> around(m_points.size());
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    if (isLive(t))
    {
      for (const int node : m_triangles[t])
      {
        around[node].push_back(t);
      }
    }
  }
  return around;
}

void QMShape_FaceMesh::countFolds()
{
  m_nbFolds = 0;
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    if (isLive(t) && !isUpright(m_triangles[t]))
    {
      ++m_nbFolds;
    }
  }
}

bool QMShape_FaceMesh::isUpright(const std::array<int, 3>& t) const
{
  return isUpright(cornerUV(t), {m_points[t[0]], m_points[t[1]], m_points[t[2]]});
}

bool QMShape_FaceMesh::isUpright(const std::array<gp_XY, 3>&  uv,
                                 const std::array<gp_Pnt, 3>& points) const
{
  const gp_XY  ab = uv[1] - uv[0], ac = uv[2] - uv[0];
  const double area = m_orientation * (ab ^ ac);
  const double scale =
      std::max({ab.SquareModulus(), ac.SquareModulus(), (ac - ab).SquareModulus()});
  if (!(area > 1.0e-10 * scale))
  {
    return false;
  }
  // The triangle's normal against the surface's at its centre (skipped where the surface
  // has no normal: a pole or an apex).
  const gp_Vec normal(points[0], points[1]);
  const gp_Vec triangleNormal = normal.Crossed(gp_Vec(points[0], points[2]));
  const gp_XY  centre         = (uv[0] + uv[1] + uv[2]) / 3.0;
  gp_Pnt       point;
  gp_Vec       du, dv;
  m_surface->D1(centre.X(), centre.Y(), point, du, dv);
  gp_Vec surfaceNormal = du.Crossed(dv);
  if (!m_isIdentity)
  {
    surfaceNormal.Transform(m_toLocal);
  }
  const double product = surfaceNormal.Magnitude() * triangleNormal.Magnitude();
  if (!(product > 1.0e-300) ||
      surfaceNormal.SquareMagnitude() < 1.0e-16 * du.SquareMagnitude() * dv.SquareMagnitude())
  {
    return true;
  }
  return m_orientation * surfaceNormal.Dot(triangleNormal) > THE_UPRIGHT * product;
}

int QMShape_FaceMesh::addNode(const gp_Pnt& point, const gp_Pnt2d& uv, const bool fixed)
{
  m_points.push_back(point);
  m_uv.push_back(uv);
  m_fixed.push_back(fixed ? 1 : 0);
  m_pole.push_back(-1);
  return static_cast<int>(m_points.size()) - 1;
}

gp_Pnt QMShape_FaceMesh::surfacePoint(const gp_Pnt2d& uv) const
{
  gp_Pnt point = m_surface->Value(uv.X(), uv.Y());
  if (!m_isIdentity)
  {
    point.Transform(m_toLocal);
  }
  return point;
}

double QMShape_FaceMesh::uvArea(const std::array<int, 3>& t) const
{
  const gp_XY ab = m_uv[t[1]].XY() - m_uv[t[0]].XY();
  const gp_XY ac = m_uv[t[2]].XY() - m_uv[t[0]].XY();
  return ab ^ ac;
}

int QMShape_FaceMesh::addPoleLine(const TopoDS_Edge&                 edge,
                                  const Poly_PolygonOnTriangulation& polygon)
{
  // The line runs between the ends of the edge's curve on the face, or failing that its
  // polygon's first and last nodes; its direction is the parameter that changes along it.
  gp_XY  from, to;
  double first = 0.0, last = 0.0;
  const Handle(Geom2d_Curve) pcurve = BRep_Tool::CurveOnSurface(edge, m_face, first, last);
  if (!pcurve.IsNull())
  {
    from = pcurve->Value(first).XY();
    to   = pcurve->Value(last).XY();
  }
  else
  {
    const int nbNodes = static_cast<int>(m_uv.size());
    const int a = polygon.Node(1) - 1, b = polygon.Node(polygon.NbNodes()) - 1;
    if (a < 0 || b < 0 || a >= nbNodes || b >= nbNodes)
    {
      return -1;
    }
    from = m_uv[a].XY();
    to   = m_uv[b].XY();
  }
  PoleLine line;
  line.Along = std::abs(to.X() - from.X()) >= std::abs(to.Y() - from.Y()) ? 0 : 1;
  line.First = std::min(from.Coord(line.Along + 1), to.Coord(line.Along + 1));
  line.Last  = std::max(from.Coord(line.Along + 1), to.Coord(line.Along + 1));
  m_poleLines.push_back(line);
  return static_cast<int>(m_poleLines.size()) - 1;
}

gp_XY QMShape_FaceMesh::poleUV(const int pole, const gp_XY& seenFrom) const
{
  const PoleLine& line  = m_poleLines[m_pole[pole]];
  gp_XY           uv    = m_uv[pole].XY();
  const double    along = seenFrom.Coord(line.Along + 1);
  uv.SetCoord(line.Along + 1, std::max(line.First, std::min(line.Last, along)));
  return uv;
}

std::array<gp_XY, 3> QMShape_FaceMesh::cornerUV(const std::array<int, 3>& t,
                                                std::array<gp_XY, 3>      uv) const
{
  // Only a triangle with one pole corner has a meridian to place it on; one with two (a
  // triangle of zero area along the pole) lies on the line as it is.
  for (int k = 0; k < 3; ++k)
  {
    const int next = (k + 1) % 3, last = (k + 2) % 3;
    if (isPole(t[k]) && !isPole(t[next]) && !isPole(t[last]))
    {
      uv[k] = poleUV(t[k], 0.5 * (uv[next] + uv[last]));
    }
  }
  return uv;
}

std::array<gp_XY, 3> QMShape_FaceMesh::cornerUV(const std::array<int, 3>& t) const
{
  return cornerUV(t, {m_uv[t[0]].XY(), m_uv[t[1]].XY(), m_uv[t[2]].XY()});
}

gp_XY QMShape_FaceMesh::middleUV(const int a, const int b) const
{
  gp_XY first = m_uv[a].XY(), second = m_uv[b].XY();
  if (isPole(a) && !isPole(b))
  {
    first = poleUV(a, second);
  }
  else if (isPole(b) && !isPole(a))
  {
    second = poleUV(b, first);
  }
  return 0.5 * (first + second);
}

double QMShape_FaceMesh::minAngle(const std::array<int, 3>& t) const
{
  return minAngle(m_points[t[0]], m_points[t[1]], m_points[t[2]]);
}

double QMShape_FaceMesh::minAngle(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c) const
{
  // The smallest angle is opposite the shortest side; by the law of cosines, clamped
  // against rounding. The cosine itself would order triangles the same way, but the
  // passes compare gains in radians.
  double l0 = a.SquareDistance(b), l1 = b.SquareDistance(c), l2 = c.SquareDistance(a);
  if (l1 < l0)
  {
    std::swap(l0, l1);
  }
  if (l2 < l0)
  {
    std::swap(l0, l2);
  }
  const double denominator = 2.0 * std::sqrt(l1 * l2);
  if (!(denominator > 0.0))
  {
    return 0.0;
  }
  const double cosine = (l1 + l2 - l0) / denominator;
  return std::acos(std::max(-1.0, std::min(1.0, cosine)));
}

double QMShape_FaceMesh::deviation(const int a, const int b) const
{
  const gp_Pnt2d uv(middleUV(a, b));
  const gp_Pnt   middle(0.5 * (m_points[a].XYZ() + m_points[b].XYZ()));
  return surfacePoint(uv).Distance(middle);
}

void QMShape_FaceMesh::attach(const uint64_t key, const int triangle)
{
  EdgeRecord& record = m_edges[key];
  if (record.T[0] < 0)
  {
    record.T[0] = triangle;
  }
  else if (record.T[1] < 0)
  {
    record.T[1] = triangle;
  }
}

void QMShape_FaceMesh::replace(const uint64_t key, const int from, const int to)
{
  const auto record = m_edges.find(key);
  if (record == m_edges.end())
  {
    return;
  }
  for (int& t : record->second.T)
  {
    if (t == from)
    {
      t = to;
      return;
    }
  }
}

void QMShape_FaceMesh::DivideSegment(const Adaptor3d_Curve&     curve,
                                     const double               ta,
                                     const double               tb,
                                     const double               size,
                                     const std::vector<double>* splits,
                                     std::vector<double>&       parameters,
                                     std::vector<gp_Pnt>&       points)
{
  // The given parameters inside the segment break it first, in the segment's direction.
  std::vector<double> breaks{ta};
  if (splits != nullptr)
  {
    const double low = std::min(ta, tb), high = std::max(ta, tb);
    const double margin = 1.0e-9 * (high - low);
    for (const double t : *splits)
    {
      if (t > low + margin && t < high - margin)
      {
        breaks.push_back(t);
      }
    }
    if (tb < ta)
    {
      std::reverse(breaks.begin() + 1, breaks.end());
    }
  }
  breaks.push_back(tb);
  // Between each two breaks, the fewest equal parameter steps whose chords all fit.
  const bool sized = size < 1.0e100;
  parameters.assign(1, ta);
  points.assign(1, curve.Value(ta));
  std::vector<gp_Pnt> run;
  for (size_t j = 0; j + 1 < breaks.size(); ++j)
  {
    const double t0 = breaks[j], t1 = breaks[j + 1];
    int          steps = sized ? std::max(1, static_cast<int>(
                                        std::ceil(points.back().Distance(curve.Value(t1)) / size)))
                               : 1;
    for (bool fits = false; !fits && steps < 100000;)
    {
      run.clear();
      fits = true;
      for (int i = 1; i <= steps; ++i)
      {
        run.push_back(curve.Value(t0 + (t1 - t0) * i / steps));
        const gp_Pnt& previous = i == 1 ? points.back() : run[run.size() - 2];
        fits                   = fits && (!sized || run.back().Distance(previous) <= size);
      }
      steps = fits ? steps : steps + 1;
    }
    steps = static_cast<int>(run.size());
    for (int i = 1; i <= steps; ++i)
    {
      parameters.push_back(t0 + (t1 - t0) * i / steps);
      points.push_back(run[i - 1]);
    }
  }
}

bool QMShape_FaceMesh::IsListed(const std::vector<double>& sorted, const double t)
{
  const double slack = 1.0e-12 * std::max(1.0, std::abs(t));
  const auto   found = std::lower_bound(sorted.begin(), sorted.end(), t - slack);
  return found != sorted.end() && *found <= t + slack;
}

uint64_t QMShape_FaceMesh::keyOf(const int a, const int b)
{
  const uint32_t low  = static_cast<uint32_t>(std::min(a, b));
  const uint32_t high = static_cast<uint32_t>(std::max(a, b));
  return (static_cast<uint64_t>(low) << 32) | high;
}
