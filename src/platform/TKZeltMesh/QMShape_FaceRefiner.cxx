// Size refinement and quality optimisation of one face triangulation.
//
// Refinement is longest-edge bisection (after Rivara, "Mesh refinement processes based on
// the generalized bisection of simplices", 1984): the longest edge above the maximum size is
// split at its middle and both triangles beside it are halved, until no edge is too long.
// Interior edges are split at the surface point of their UV middle; edge polygon segments
// at their curve parameter middle (see the header for why). Bisection never makes angles
// worse than half of the smallest angle it starts from, so two optimisation steps follow:
// edge flips that raise the smaller angle of the two triangles beside an edge without
// increasing their distance to the surface (a local Delaunay criterion on the surface), and
// tangential smoothing, which moves each free node towards the centroid of its neighbours
// within the surface's tangent plane (a Gauss-Newton step in UV through the first
// fundamental form) and keeps the move only when no triangle folds over and the smallest
// angle around the node rises; edges that smoothing stretched beyond the size are split
// again before the next pass. Every node stays on the surface.
// Cost: O(n log n) for the refinement of a face ending with n nodes (a priority queue of
// edges), O(n) per optimisation pass.
#include <QMShape_FaceRefiner.hxx>

#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <cmath>
#include <queue>

namespace
{
// A flip or move must win at least this much (radians) of smallest angle, so that the
// passes do not trade equal configurations back and forth.
const double THE_MIN_GAIN = 1.0e-6;
} // namespace

QMShape_FaceRefiner::QMShape_FaceRefiner(const TopoDS_Face& face, const Settings& settings)
    : m_face(face), m_settings(settings)
{
}

bool QMShape_FaceRefiner::Perform()
{
  // 1. Copy the face's triangulation; without UV nodes nothing can be placed on the surface.
  if (!loadMesh())
  {
    return false;
  }
  // 2. Read the edge polygons: their nodes stay fixed and their segments split on the curves.
  loadPolygons();
  // 3. Connect triangles through their edges.
  buildEdges();
  // 4. Split edges above the maximum size.
  if (!refine())
  {
    return false;
  }
  // 5. Raise the angles, per pass: flips, smoothing (free to lengthen edges, which gives
  //    it room to move), then splitting again what smoothing made too long.
  for (int pass = 0; pass < m_settings.NbPasses; ++pass)
  {
    flipEdges();
    smoothNodes(false);
    if (!refine())
    {
      return false;
    }
  }
  // 6. Polish what the last splits left, now within the size.
  if (m_settings.NbPasses > 0)
  {
    flipEdges();
    smoothNodes(true);
    flipEdges();
  }
  // 7. Write the new triangulation and polygons.
  storeResult();
  return true;
}

bool QMShape_FaceRefiner::loadMesh()
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
  return !m_triangles.empty();
}

void QMShape_FaceRefiner::loadPolygons()
{
  const int nbNodes = static_cast<int>(m_points.size());
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
        slot.Nodes.emplace_back(param, node);
        m_fixed[node] = 1;
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

void QMShape_FaceRefiner::choosePCurve(Slot& slot, const int nbNodes) const
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

void QMShape_FaceRefiner::buildEdges()
{
  m_edges.reserve(m_triangles.size() * 2);
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    const std::array<int, 3>& tri = m_triangles[t];
    for (int k = 0; k < 3; ++k)
    {
      attach(keyOf(tri[k], tri[(k + 1) % 3]), t);
    }
  }
}

bool QMShape_FaceRefiner::refine()
{
  const double maxSize = m_settings.MaxSize;
  if (!(maxSize < 1.0e100))
  {
    return true;
  }
  struct Candidate
  {
    double Length;
    int    A, B;
    bool   operator<(const Candidate& other) const { return Length < other.Length; }
  };
  std::priority_queue<Candidate> queue;
  const auto                     offer = [&](const int a, const int b)
  {
    const double length = m_points[a].Distance(m_points[b]);
    if (length <= maxSize)
    {
      const auto segment = m_segments.find(keyOf(a, b));
      if (segment == m_segments.end() || length <= m_slots[segment->second.Slot].Size)
      {
        return;
      }
    }
    queue.push({length, a, b});
  };
  for (const auto& edge : m_edges)
  {
    offer(static_cast<int>(edge.first >> 32), static_cast<int>(edge.first & 0xffffffffu));
  }

  while (!queue.empty())
  {
    const Candidate candidate = queue.top();
    queue.pop();
    const uint64_t key    = keyOf(candidate.A, candidate.B);
    const auto     record = m_edges.find(key);
    if (record == m_edges.end())
    {
      continue; // split already
    }
    if (m_settings.MaxNodes > 0 && m_points.size() >= m_settings.MaxNodes)
    {
      return false;
    }

    const auto segment = m_segments.find(key);
    int        m       = -1;
    if (segment != m_segments.end())
    {
      // An edge polygon segment: split on the curve, decided on the curve's own chord.
      const Segment s    = segment->second;
      Slot&         slot = m_slots[s.Slot];
      if (!slot.Splittable ||
          slot.Curve->Value(s.Ta).Distance(slot.Curve->Value(s.Tb)) <= slot.Size)
      {
        continue;
      }
      const double tm    = 0.5 * (s.Ta + s.Tb);
      gp_Pnt       point = slot.Curve->Value(tm);
      if (!m_isIdentity)
      {
        point.Transform(m_toLocal);
      }
      m = addNode(point, slot.PCurve->Value(tm), true);
      m_segments.erase(segment);
      m_segments.emplace(keyOf(s.A, m), Segment{s.Slot, s.A, m, s.Ta, tm});
      m_segments.emplace(keyOf(m, s.B), Segment{s.Slot, m, s.B, tm, s.Tb});
      slot.Nodes.emplace_back(tm, m);
    }
    else
    {
      // A free border that belongs to no edge polygon cannot be matched with a neighbour:
      // leave it.
      if (record->second.T[1] < 0)
      {
        continue;
      }
      const gp_Pnt2d uv(0.5 * (m_uv[candidate.A].XY() + m_uv[candidate.B].XY()));
      m = addNode(surfacePoint(uv), uv, false);
    }

    const EdgeRecord around = record->second;
    splitEdge(candidate.A, candidate.B, m);
    ++m_nbSplits;
    offer(candidate.A, m);
    offer(m, candidate.B);
    for (const int t : around.T)
    {
      if (t >= 0)
      {
        for (const int node : m_triangles[t])
        {
          if (node != m && node != candidate.A && node != candidate.B)
          {
            offer(m, node);
          }
        }
      }
    }
  }
  return true;
}

void QMShape_FaceRefiner::splitEdge(const int a, const int b, const int m)
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
  }
}

void QMShape_FaceRefiner::flipEdges()
{
  // Every interior edge once, in key order (independent of the hash table's order), then
  // the edges around each flip again, until no flip helps. Each flip raises the smallest
  // angle of its pair, which bounds the work; the cap only guards against rounding.
  std::vector<uint64_t> work;
  work.reserve(m_edges.size());
  for (const auto& edge : m_edges)
  {
    if (edge.second.T[1] >= 0)
    {
      work.push_back(edge.first);
    }
  }
  std::sort(work.begin(), work.end());
  std::reverse(work.begin(), work.end()); // popped from the back: ascending keys
  size_t budget = 10 * work.size() + 100;
  while (!work.empty() && budget-- > 0)
  {
    const uint64_t key = work.back();
    work.pop_back();
    if (m_segments.count(key) != 0)
    {
      continue; // edge polygon segments stay
    }
    const auto record = m_edges.find(key);
    if (record == m_edges.end() || record->second.T[1] < 0)
    {
      continue;
    }
    const int t0 = record->second.T[0], t1 = record->second.T[1];
    if (flipEdge(key, record->second))
    {
      ++m_nbFlips;
      for (const int t : {t0, t1})
      {
        const std::array<int, 3>& tri = m_triangles[t];
        for (int k = 0; k < 3; ++k)
        {
          work.push_back(keyOf(tri[k], tri[(k + 1) % 3]));
        }
      }
    }
  }
}

bool QMShape_FaceRefiner::flipEdge(const uint64_t key, EdgeRecord& record)
{
  const int t0 = record.T[0], t1 = record.T[1];
  const int a = static_cast<int>(key >> 32), b = static_cast<int>(key & 0xffffffffu);
  // Orient the edge as triangle t0 runs along it: p -> q, third node c; t1 runs q -> p.
  const std::array<int, 3>& tri0 = m_triangles[t0];
  int                       k    = 0;
  while (k < 3 &&
         !((tri0[k] == a || tri0[k] == b) && (tri0[(k + 1) % 3] == a || tri0[(k + 1) % 3] == b)))
  {
    ++k;
  }
  if (k == 3)
  {
    return false;
  }
  const int                 p = tri0[k], q = tri0[(k + 1) % 3], c = tri0[(k + 2) % 3];
  const std::array<int, 3>& tri1 = m_triangles[t1];
  int                       d    = -1;
  for (int j = 0; j < 3; ++j)
  {
    if (tri1[j] == q && tri1[(j + 1) % 3] == p)
    {
      d = tri1[(j + 2) % 3];
    }
  }
  if (d < 0 || d == c || m_edges.count(keyOf(c, d)) != 0)
  {
    return false; // inconsistent orientation, a doubled triangle, or the diagonal exists
  }
  if (m_points[c].Distance(m_points[d]) > m_settings.MaxSize)
  {
    return false;
  }
  const std::array<int, 3> new0 = {p, d, c};
  const std::array<int, 3> new1 = {d, q, c};
  // Both new triangles must keep the orientation of the old ones in UV (no fold-over).
  const double area0 = uvArea(tri0), area1 = uvArea(tri1);
  const double areaN0 = uvArea(new0), areaN1 = uvArea(new1);
  const double scale = std::abs(area0) + std::abs(area1);
  if (area0 * area1 <= 0.0 || areaN0 * area0 <= 1.0e-12 * scale * scale ||
      areaN1 * area0 <= 1.0e-12 * scale * scale)
  {
    return false;
  }
  const double before = std::min(minAngle(tri0), minAngle(tri1));
  const double after  = std::min(minAngle(new0), minAngle(new1));
  if (after <= before + THE_MIN_GAIN)
  {
    return false;
  }
  // The new diagonal must stay within the deflection, or not stand further off the
  // surface than the old one.
  const double offSurface = deviation(c, d);
  if (offSurface > m_settings.Deflection && offSurface > deviation(p, q))
  {
    return false;
  }
  m_triangles[t0] = new0;
  m_triangles[t1] = new1;
  m_edges.erase(key);
  EdgeRecord diagonal;
  diagonal.T[0]        = t0;
  diagonal.T[1]        = t1;
  m_edges[keyOf(c, d)] = diagonal;
  replace(keyOf(p, d), t1, t0);
  replace(keyOf(q, c), t0, t1);
  return true;
}

void QMShape_FaceRefiner::smoothNodes(const bool keepSize)
{
  // Triangles around each node, as compressed rows.
  const int        nbNodes = static_cast<int>(m_points.size());
  std::vector<int> start(nbNodes + 1, 0);
  for (const auto& tri : m_triangles)
  {
    for (const int node : tri)
    {
      ++start[node + 1];
    }
  }
  for (int i = 0; i < nbNodes; ++i)
  {
    start[i + 1] += start[i];
  }
  std::vector<int> around(start.back());
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    for (const int node : m_triangles[t])
    {
      around[fill[node]++] = t;
    }
  }
  std::vector<int> ring;
  for (int node = 0; node < nbNodes; ++node)
  {
    if (m_fixed[node] || start[node] == start[node + 1])
    {
      continue;
    }
    ring.assign(around.begin() + start[node], around.begin() + start[node + 1]);
    if (moveNode(node, ring, keepSize))
    {
      ++m_nbMoves;
    }
  }
}

bool QMShape_FaceRefiner::moveNode(const int               node,
                                   const std::vector<int>& ring,
                                   const bool              keepSize)
{
  // Target: the mean of the neighbours (each counted once per triangle, i.e. twice for an
  // interior node, which leaves the mean unchanged).
  gp_XYZ target(0.0, 0.0, 0.0);
  int    count  = 0;
  double before = M_PI;
  for (const int t : ring)
  {
    for (const int other : m_triangles[t])
    {
      if (other != node)
      {
        target += m_points[other].XYZ();
        ++count;
      }
    }
    before = std::min(before, minAngle(m_triangles[t]));
  }
  if (count == 0)
  {
    return false;
  }
  target /= count;

  // Step in UV whose image on the tangent plane is closest to the target displacement.
  gp_Pnt         point;
  gp_Vec         du, dv;
  const gp_Pnt2d uv = m_uv[node];
  m_surface->D1(uv.X(), uv.Y(), point, du, dv);
  if (!m_isIdentity)
  {
    du.Transform(m_toLocal);
    dv.Transform(m_toLocal);
  }
  const gp_Vec shift(target - m_points[node].XYZ());
  const double e = du.Dot(du), f = du.Dot(dv), g = dv.Dot(dv);
  const double det = e * g - f * f;
  if (!(det > 1.0e-20 * e * g) || !(det > 0.0))
  {
    return false; // singular point of the surface (a pole)
  }
  const double su = du.Dot(shift), sv = dv.Dot(shift);
  const double stepU = (g * su - f * sv) / det, stepV = (e * sv - f * su) / det;

  std::vector<double> signs(ring.size());
  for (size_t i = 0; i < ring.size(); ++i)
  {
    signs[i] = uvArea(m_triangles[ring[i]]);
  }
  const gp_Pnt oldPoint = m_points[node];
  for (const double lambda : {1.0, 0.5, 0.25})
  {
    const gp_Pnt2d newUV(uv.X() + lambda * stepU, uv.Y() + lambda * stepV);
    m_points[node] = surfacePoint(newUV);
    m_uv[node]     = newUV;
    bool   valid   = true;
    double after   = M_PI;
    for (size_t i = 0; i < ring.size() && valid; ++i)
    {
      const std::array<int, 3>& tri = m_triangles[ring[i]];
      valid                         = uvArea(tri) * signs[i] > 1.0e-12 * signs[i] * signs[i];
      after                         = std::min(after, minAngle(tri));
      for (const int other : tri)
      {
        valid = valid && (!keepSize || other == node ||
                          m_points[node].Distance(m_points[other]) <= m_settings.MaxSize);
      }
    }
    if (valid && after > before + THE_MIN_GAIN)
    {
      return true;
    }
  }
  m_points[node] = oldPoint;
  m_uv[node]     = uv;
  return false;
}

void QMShape_FaceRefiner::storeResult()
{
  // Nodes no triangle uses any more cannot appear (splits only add used nodes).
  const int nbNodes = static_cast<int>(m_points.size());
  m_result          = new Poly_Triangulation(nbNodes, static_cast<int>(m_triangles.size()), true);
  for (int i = 0; i < nbNodes; ++i)
  {
    m_result->SetNode(i + 1, m_points[i]);
    m_result->SetUVNode(i + 1, m_uv[i]);
  }
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    const std::array<int, 3>& tri = m_triangles[t];
    m_result->SetTriangle(t + 1, Poly_Triangle(tri[0] + 1, tri[1] + 1, tri[2] + 1));
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
      nodes(i + 1)  = slot.Nodes[i].second + 1;
      params(i + 1) = slot.Nodes[i].first;
    }
    Handle(Poly_PolygonOnTriangulation) polygon =
        slot.Source->HasParameters() ? new Poly_PolygonOnTriangulation(nodes, params)
                                     : new Poly_PolygonOnTriangulation(nodes);
    polygon->Deflection(slot.Source->Deflection());
    m_polygons.push_back({slot.Edge, polygon});
  }
}

int QMShape_FaceRefiner::addNode(const gp_Pnt& point, const gp_Pnt2d& uv, const bool fixed)
{
  m_points.push_back(point);
  m_uv.push_back(uv);
  m_fixed.push_back(fixed ? 1 : 0);
  return static_cast<int>(m_points.size()) - 1;
}

gp_Pnt QMShape_FaceRefiner::surfacePoint(const gp_Pnt2d& uv) const
{
  gp_Pnt point = m_surface->Value(uv.X(), uv.Y());
  if (!m_isIdentity)
  {
    point.Transform(m_toLocal);
  }
  return point;
}

double QMShape_FaceRefiner::uvArea(const std::array<int, 3>& t) const
{
  const gp_XY ab = m_uv[t[1]].XY() - m_uv[t[0]].XY();
  const gp_XY ac = m_uv[t[2]].XY() - m_uv[t[0]].XY();
  return ab ^ ac;
}

double QMShape_FaceRefiner::minAngle(const std::array<int, 3>& t) const
{
  return minAngle(m_points[t[0]], m_points[t[1]], m_points[t[2]]);
}

double QMShape_FaceRefiner::minAngle(const gp_Pnt& a, const gp_Pnt& b, const gp_Pnt& c) const
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

double QMShape_FaceRefiner::deviation(const int a, const int b) const
{
  const gp_Pnt2d uv(0.5 * (m_uv[a].XY() + m_uv[b].XY()));
  const gp_Pnt   middle(0.5 * (m_points[a].XYZ() + m_points[b].XYZ()));
  return surfacePoint(uv).Distance(middle);
}

void QMShape_FaceRefiner::attach(const uint64_t key, const int triangle)
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

void QMShape_FaceRefiner::replace(const uint64_t key, const int from, const int to)
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

uint64_t QMShape_FaceRefiner::keyOf(const int a, const int b)
{
  const uint32_t low  = static_cast<uint32_t>(std::min(a, b));
  const uint32_t high = static_cast<uint32_t>(std::max(a, b));
  return (static_cast<uint64_t>(low) << 32) | high;
}
