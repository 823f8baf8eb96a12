// Remeshing of one face triangulation to a target size with well-shaped triangles.
//
// The face arrives with the mesh of a first pass that follows the surface curvature
// (chordal deflection) and knows the face's parameter domain. It is remeshed in place:
// 1. Boundary segments longer than their edge's size are divided into equal curve steps.
// 2. Delaunay refinement: every triangle whose circumradius exceeds the target (or whose
//    shape is poor while it is large) receives a point near its circumcentre, found in the
//    parameter plane through the triangle's barycentric coordinates and placed on the
//    surface; the point is the off-centre of the triangle's shortest edge (Ungor, "Off-centers:
//    a new type of Steiner points for computing size-optimal quality-guaranteed Delaunay
//    triangulations", 2004), pulled in so that its new edges do not exceed the target, and
//    the triangulation is made locally Delaunay again by Lawson flips. Distances are measured
//    in 3D, so the surface's metric drives the refinement, not the parametrisation.
// 3. Short interior edges are collapsed (half-edge collapse under the link condition), which
//    removes the over-refinement the first pass leaves on gently curved surfaces, unless
//    the chordal deviation or the shape of the ring would suffer.
// 4. Edge flips by the Delaunay criterion measured in 3D (the angles opposite an edge add
//    up to more than pi) that do not increase the distance to the surface, and tangential
//    smoothing moves each free node towards the centroid of its
//    neighbours within the tangent plane (a Gauss-Newton step in UV through the first
//    fundamental form), kept only when the smallest angle around the node rises.
// 5. Longest-edge bisection (Rivara, 1984) finally splits what is still above the size.
// Every edit is refused when it would fold a triangle (see the header). Every node stays on
// the surface.
// Cost: O(n log n) for a face ending with n nodes (priority queues of triangles and edges),
// O(n) per optimisation pass.
#include <QMShape_FaceRefiner.hxx>

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
#include <queue>

namespace
{
// A flip or move must win at least this much (radians) of smallest angle, so that the
// passes do not trade equal configurations back and forth.
const double THE_MIN_GAIN = 1.0e-6;
// New edges of the refinement aim at this fraction of the maximum size, which leaves room
// for the surface to lengthen them a little without passing the maximum.
const double THE_TARGET = 0.9;
// Interior edges shorter than this fraction of the maximum size are collapsed when they can.
const double THE_SHORT = 0.5;
// Cosine of the largest turn between a triangle's normal and the surface's before the
// triangle counts as folded.
const double THE_UPRIGHT = 0.17;
// Radius-to-shortest-edge ratio of a triangle with a smallest angle of about 25 degrees.
const double THE_RATIO = 1.18;
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
  // 4. Divide the boundary segments to the size of their edges.
  if (!divideSegments())
  {
    return false;
  }
  // 5. Remesh the interior, per pass: refinement, coarsening, flips, smoothing.
  const bool sized = m_settings.MaxSize < 1.0e100;
  for (int pass = 0; pass < std::max(m_settings.NbPasses, 1); ++pass)
  {
    if (sized && !insertPoints())
    {
      return false;
    }
    if (m_settings.NbPasses <= 0)
    {
      break;
    }
    if (sized)
    {
      collapseEdges();
    }
    flipEdges();
    smoothNodes(false);
  }
  // 6. Split what is still above the size, then polish within it.
  if (!refine())
  {
    return false;
  }
  m_flipKeepsSize = true;
  if (m_settings.NbPasses > 0)
  {
    flipEdges();
    smoothNodes(true);
    flipEdges();
    // 7. Collapse the slivers that are left, and polish again around them.
    if (sized && removeSlivers())
    {
      smoothNodes(true);
      flipEdges();
    }
  }
  // 8. Count what is still folded, and write the new triangulation and polygons.
  countFolds();
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

void QMShape_FaceRefiner::loadPolygons()
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

std::vector<int> QMShape_FaceRefiner::mergePoles()
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
      gp_Pnt2d uv;
      gp_Pnt   point;
      if (!chooseMidpoint(candidate.A, candidate.B, record->second, uv, point))
      {
        continue; // every split folds: the long edge stays
      }
      m = addNode(point, uv, false);
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

bool QMShape_FaceRefiner::chooseMidpoint(
    const int a, const int b, const EdgeRecord& record, gp_Pnt2d& uv, gp_Pnt& point) const
{
  // The two triangles the split makes on each side of the edge, with the new node at uv;
  // a new node near one of the edge's ends, or near any corner of a triangle at a pole
  // (where the parametrisation is stretched, the parameter middle may lie far from the
  // chord), would leave a sliver, which counts as a fold.
  const double length     = m_points[a].Distance(m_points[b]);
  const auto   splitFolds = [&](const gp_Pnt2d& at, const gp_Pnt& atPoint)
  {
    for (const int t : record.T)
    {
      if (t < 0)
      {
        continue;
      }
      const std::array<int, 3>& tri = m_triangles[t];
      for (int k = 0; k < 3; ++k)
      {
        if ((tri[k] == a || tri[k] == b) && m_points[tri[k]].Distance(atPoint) < 0.3 * length)
        {
          return true;
        }
        if (tri[k] != a && tri[k] != b)
        {
          continue;
        }
        // Each corner a or b replaced by the new node in turn gives one half.
        std::array<int, 3>    nodes = tri;
        std::array<gp_XY, 3>  uvs;
        std::array<gp_Pnt, 3> points;
        for (int j = 0; j < 3; ++j)
        {
          uvs[j]    = j == k ? at.XY() : m_uv[tri[j]].XY();
          points[j] = j == k ? atPoint : m_points[tri[j]];
        }
        nodes[k] = -1;
        if (!isUpright(cornerUV(nodes, uvs), points))
        {
          return true;
        }
      }
    }
    return false;
  };
  // 1. The middle in the parameter plane: right wherever the parametrisation is even (at a
  // pole, on the other end's meridian).
  uv    = gp_Pnt2d(middleUV(a, b));
  point = surfacePoint(uv);
  if (!splitFolds(uv, point))
  {
    return true;
  }
  // 2. Near a pole or where the parametrisation is strongly stretched, the parameter
  // middle lies far from the chord and folds the halves: take the surface point nearest
  // to the chord's middle instead.
  if (!projectToSurface(gp_Pnt(0.5 * (m_points[a].XYZ() + m_points[b].XYZ())), uv, point))
  {
    return false;
  }
  return !splitFolds(uv, point);
}

bool QMShape_FaceRefiner::projectToSurface(const gp_Pnt& target, gp_Pnt2d& uv, gp_Pnt& point) const
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
    m_touched.push_back(t);
    m_touched.push_back(n);
  }
}

void QMShape_FaceRefiner::flipEdges()
{
  // Every interior edge once, in key order (independent of the hash table's order), then
  // the edges around each flip again, until every edge is Delaunay. In the plane each flip
  // raises the smallest angle of its pair, which bounds the work; the cap guards against
  // rounding and against the surface's curvature, where flips could cycle.
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
  size_t budget = 50 * work.size() + 1000;
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
  if (m_flipKeepsSize && m_points[c].Distance(m_points[d]) > m_settings.MaxSize)
  {
    return false;
  }
  const std::array<int, 3> new0 = {p, d, c};
  const std::array<int, 3> new1 = {d, q, c};
  // Delaunay criterion in 3D: the angles opposite the edge add up to more than pi. Unlike
  // comparing smallest angles it still decides between near-degenerate triangles, such as
  // the fans a divided straight boundary leaves.
  const auto angleAt = [this](const int apex, const int x, const int y)
  { return gp_Vec(m_points[apex], m_points[x]).Angle(gp_Vec(m_points[apex], m_points[y])); };
  if (m_points[c].Distance(m_points[p]) <= 0.0 || m_points[c].Distance(m_points[q]) <= 0.0 ||
      m_points[d].Distance(m_points[p]) <= 0.0 || m_points[d].Distance(m_points[q]) <= 0.0 ||
      angleAt(c, p, q) + angleAt(d, p, q) <= M_PI + 1.0e-9)
  {
    return false;
  }
  // Both new triangles must keep the face's orientation and follow the surface (no fold).
  if (!isUpright(new0) || !isUpright(new1))
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
  m_touched.push_back(t0);
  m_touched.push_back(t1);
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
      if (node >= 0)
      {
        ++start[node + 1];
      }
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
      if (node >= 0)
      {
        around[fill[node]++] = t;
      }
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
      after                         = std::min(after, minAngle(tri));
      valid                         = after > before + THE_MIN_GAIN && isUpright(tri);
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

bool QMShape_FaceRefiner::divideSegments()
{
  std::vector<Segment> work;
  for (const auto& segment : m_segments)
  {
    work.push_back(segment.second);
  }
  // Key order, so that the result does not depend on the hash table.
  std::sort(work.begin(), work.end(),
            [](const Segment& x, const Segment& y) { return keyOf(x.A, x.B) < keyOf(y.A, y.B); });
  for (const Segment& s : work)
  {
    Slot& slot = m_slots[s.Slot];
    if (!slot.Splittable || !(slot.Size < 1.0e100) || m_edges.count(keyOf(s.A, s.B)) == 0)
    {
      continue;
    }
    // The fewest equal parameter steps whose chords are all within the size.
    int steps = static_cast<int>(
        std::ceil(slot.Curve->Value(s.Ta).Distance(slot.Curve->Value(s.Tb)) / slot.Size));
    if (steps <= 1)
    {
      continue;
    }
    std::vector<gp_Pnt> points;
    for (bool fits = false; !fits && steps < 100000;)
    {
      points.clear();
      fits = true;
      for (int i = 0; i <= steps; ++i)
      {
        points.push_back(slot.Curve->Value(s.Ta + (s.Tb - s.Ta) * i / steps));
        fits = fits && (i == 0 || points[i].Distance(points[i - 1]) <= slot.Size);
      }
      steps = fits ? steps : steps + 1;
    }
    if (m_settings.MaxNodes > 0 && m_points.size() + steps >= m_settings.MaxNodes)
    {
      return false;
    }
    m_segments.erase(keyOf(s.A, s.B));
    int    from  = s.A;
    double tFrom = s.Ta;
    for (int i = 1; i < steps; ++i)
    {
      const double t     = s.Ta + (s.Tb - s.Ta) * i / steps;
      gp_Pnt       point = points[i];
      if (!m_isIdentity)
      {
        point.Transform(m_toLocal);
      }
      const int m = addNode(point, slot.PCurve->Value(t), true);
      // The triangle on the segment is split in two, and Lawson's flips keep the face
      // Delaunay: a straight boundary divided into many points would otherwise leave a
      // fan of slivers whose repair by flips alone costs a number of flips quadratic in
      // the points.
      std::vector<std::pair<int, int>> stack;
      for (const int side : m_edges[keyOf(from, s.B)].T)
      {
        for (const int node : side >= 0 ? m_triangles[side] : std::array<int, 3>{-1, -1, -1})
        {
          if (node >= 0 && node != from && node != s.B)
          {
            stack.emplace_back(from, node);
            stack.emplace_back(node, s.B);
          }
        }
      }
      splitEdge(from, s.B, m);
      ++m_nbSplits;
      m_segments.emplace(keyOf(from, m), Segment{s.Slot, from, m, tFrom, t});
      legalise(m, stack);
      slot.Nodes.emplace_back(t, m);
      from  = m;
      tFrom = t;
    }
    m_segments.emplace(keyOf(from, s.B), Segment{s.Slot, from, s.B, tFrom, s.Tb});
  }
  m_touched.clear();
  return true;
}

bool QMShape_FaceRefiner::needsRefinement(const int t, double& radius) const
{
  const std::array<int, 3>& tri = m_triangles[t];
  const gp_Pnt &            a = m_points[tri[0]], &b = m_points[tri[1]], &c = m_points[tri[2]];
  const double              ab = a.Distance(b), bc = b.Distance(c), ca = c.Distance(a);
  const double              area2 = gp_Vec(a, b).Crossed(gp_Vec(a, c)).Magnitude();
  if (!(area2 > 0.0))
  {
    return false;
  }
  radius                = ab * bc * ca / (2.0 * area2);
  const double shortest = std::min({ab, bc, ca});
  const double size     = m_settings.MaxSize;
  // Too large for the size, or badly shaped while large enough that a point inside it
  // does not crowd its corners.
  return radius > size / std::sqrt(3.0) || (radius > 0.45 * size && radius > THE_RATIO * shortest);
}

bool QMShape_FaceRefiner::insertPoints()
{
  struct Candidate
  {
    double             Radius;
    int                T;
    std::array<int, 3> Nodes;
    bool               operator<(const Candidate& other) const { return Radius < other.Radius; }
  };
  std::priority_queue<Candidate> queue;
  const auto                     offer = [&](const int t)
  {
    double radius = 0.0;
    if (isLive(t) && needsRefinement(t, radius))
    {
      queue.push({radius, t, m_triangles[t]});
    }
  };
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    offer(t);
  }
  while (!queue.empty())
  {
    const Candidate candidate = queue.top();
    queue.pop();
    if (m_triangles[candidate.T] != candidate.Nodes)
    {
      continue; // changed since it was queued
    }
    if (m_settings.MaxNodes > 0 && m_points.size() >= m_settings.MaxNodes)
    {
      return false;
    }
    m_touched.clear();
    if (insertFor(candidate.T))
    {
      ++m_nbSplits;
      std::sort(m_touched.begin(), m_touched.end());
      m_touched.erase(std::unique(m_touched.begin(), m_touched.end()), m_touched.end());
      for (const int t : m_touched)
      {
        offer(t);
      }
    }
  }
  return true;
}

bool QMShape_FaceRefiner::insertFor(const int t)
{
  const std::array<int, 3> tri = m_triangles[t];
  const gp_XYZ a = m_points[tri[0]].XYZ(), b = m_points[tri[1]].XYZ(), c = m_points[tri[2]].XYZ();
  const gp_XYZ ab = b - a, ac = c - a;
  const gp_XYZ normal = ab ^ ac;
  const double n2     = normal.SquareModulus();
  if (!(n2 > 0.0))
  {
    return false;
  }
  // Circumcentre in the triangle's plane.
  const gp_XYZ centre =
      a + ((normal ^ ab) * ac.SquareModulus() + (ac ^ normal) * ab.SquareModulus()) / (2.0 * n2);

  // Off-centre: on the bisector of the shortest edge.
  int    k        = 0;
  double shortest = 1.0e300;
  for (int i = 0; i < 3; ++i)
  {
    const double length = m_points[tri[i]].Distance(m_points[tri[(i + 1) % 3]]);
    if (length < shortest)
    {
      shortest = length;
      k        = i;
    }
  }
  const gp_XYZ middle   = 0.5 * (m_points[tri[k]].XYZ() + m_points[tri[(k + 1) % 3]].XYZ());
  const gp_XYZ toCentre = centre - middle;
  const double distance = toCentre.Modulus();
  if (!(distance > 0.0))
  {
    return false;
  }
  // Three limits on the distance from the edge: the circumcentre; the apex of the
  // isosceles triangle on that edge whose radius-to-edge ratio just meets the quality bound
  // (so that the new triangle is not refined again, and refinement grades away from a short
  // edge instead of cascading along it); the point whose edges to the ends have the target
  // length.
  const double target  = THE_TARGET * m_settings.MaxSize;
  const double reach   = std::sqrt(std::max(0.0, target * target - 0.25 * shortest * shortest));
  const double quality = 0.95 * shortest * (THE_RATIO + std::sqrt(THE_RATIO * THE_RATIO - 0.25));
  const gp_XYZ point   = middle + toCentre * (std::min({distance, reach, quality}) / distance);

  // Its parameters through the barycentric coordinates in the triangle's plane (which may
  // be negative: the point may lie in a neighbour).
  const gp_XYZ ap  = point - a;
  const double d00 = ab.Dot(ab), d01 = ab.Dot(ac), d11 = ac.Dot(ac);
  const double d20 = ap.Dot(ab), d21 = ap.Dot(ac);
  const double det = d00 * d11 - d01 * d01;
  if (!(det > 0.0))
  {
    return false;
  }
  const double               v = (d11 * d20 - d01 * d21) / det, w = (d00 * d21 - d01 * d20) / det;
  const std::array<gp_XY, 3> corners = cornerUV(tri);
  gp_XY                      uv      = corners[0] * (1.0 - v - w) + corners[1] * v + corners[2] * w;
  if (isPole(tri[0]) || isPole(tri[1]) || isPole(tri[2]))
  {
    // Near a pole the parametrisation is far from even: the interpolation only starts the
    // search for the point's parameters on the surface.
    gp_Pnt2d projected(uv);
    gp_Pnt   onSurface;
    if (projectToSurface(gp_Pnt(point), projected, onSurface))
    {
      uv = projected.XY();
    }
    const gp_Pnt placed = surfacePoint(gp_Pnt2d(uv));
    for (const int node : tri)
    {
      if (isPole(node) && m_points[node].Distance(placed) < 0.3 * THE_TARGET * m_settings.MaxSize)
      {
        return false; // would crowd the pole
      }
    }
  }

  int found = -1, edge = -1;
  if (!locate(t, uv, found, edge))
  {
    return false; // beyond the face's boundary or one of its edges: the boundary stays
  }
  const gp_Pnt              surface = surfacePoint(gp_Pnt2d(uv));
  const std::array<int, 3>& host    = m_triangles[found];
  for (const int node : host)
  {
    if (m_points[node].Distance(surface) < 0.3 * target)
    {
      return false; // would crowd an existing node
    }
  }
  // A point that encroaches on a boundary segment or a free border (inside its diametral
  // sphere, or closer to it than a quarter of the target) would make a sliver against an
  // edge that cannot be flipped, and in a narrow face start a cascade of ever smaller
  // insertions: the boundary is left as it is.
  for (int k = 0; k < 3; ++k)
  {
    const int      p = host[k], q = host[(k + 1) % 3];
    const uint64_t key    = keyOf(p, q);
    const auto     record = m_edges.find(key);
    if (m_segments.count(key) == 0 && record != m_edges.end() && record->second.T[1] >= 0)
    {
      continue;
    }
    const gp_Vec toP(surface, m_points[p]), toQ(surface, m_points[q]);
    const gp_Vec along(m_points[p], m_points[q]);
    const double length = along.Magnitude();
    const double offset = length > 0.0 ? toP.Crossed(along).Magnitude() / length : toP.Magnitude();
    if (toP.Dot(toQ) < 0.0 || offset < 0.25 * target)
    {
      return false;
    }
  }
  if (edge >= 0)
  {
    // A point on a boundary segment or a free border would move the boundary.
    const uint64_t key    = keyOf(host[edge], host[(edge + 1) % 3]);
    const auto     record = m_edges.find(key);
    if (m_segments.count(key) != 0 || record == m_edges.end() || record->second.T[1] < 0)
    {
      return false;
    }
  }

  // Insert, then refuse the result if it folds (an undo is a collapse back, so test first
  // on the triangles the insertion would make).
  const std::array<int, 3>        hostNodes = host;
  const int                       m         = addNode(surface, gp_Pnt2d(uv), false);
  std::vector<std::array<int, 3>> made;
  if (edge < 0)
  {
    for (int i = 0; i < 3; ++i)
    {
      made.push_back({hostNodes[i], hostNodes[(i + 1) % 3], m});
    }
  }
  else
  {
    const int p = hostNodes[edge], q = hostNodes[(edge + 1) % 3];
    for (const int side : m_edges[keyOf(p, q)].T)
    {
      if (side < 0)
      {
        continue;
      }
      const std::array<int, 3>& other = m_triangles[side];
      for (int i = 0; i < 3; ++i)
      {
        if ((other[i] == p || other[i] == q) &&
            (other[(i + 1) % 3] == p || other[(i + 1) % 3] == q))
        {
          made.push_back({other[i], m, other[(i + 2) % 3]});
          made.push_back({m, other[(i + 1) % 3], other[(i + 2) % 3]});
        }
      }
    }
  }
  for (const std::array<int, 3>& tri2 : made)
  {
    if (!isUpright(tri2))
    {
      m_points.pop_back();
      m_uv.pop_back();
      m_fixed.pop_back();
      m_pole.pop_back();
      return false;
    }
  }
  std::vector<std::pair<int, int>> stack;
  if (edge < 0)
  {
    splitTriangle(found, m);
    for (int i = 0; i < 3; ++i)
    {
      stack.emplace_back(hostNodes[i], hostNodes[(i + 1) % 3]);
    }
  }
  else
  {
    const int p = hostNodes[edge], q = hostNodes[(edge + 1) % 3];
    for (const std::array<int, 3>& tri2 : made)
    {
      for (const int node : tri2)
      {
        if (node != m && node != p && node != q)
        {
          stack.emplace_back(p, node);
          stack.emplace_back(node, q);
        }
      }
    }
    splitEdge(p, q, m);
  }
  legalise(m, stack);
  return true;
}

bool QMShape_FaceRefiner::locate(const int start, const gp_XY& uv, int& found, int& edge) const
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

void QMShape_FaceRefiner::splitTriangle(const int t, const int m)
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

void QMShape_FaceRefiner::legalise(const int m, std::vector<std::pair<int, int>>& stack)
{
  // Lawson's flips around the new node: an edge opposite it is flipped when it fails the
  // Delaunay criterion; the flip brings two new edges opposite the node.
  size_t budget = 64 * stack.size() + 64;
  while (!stack.empty() && budget-- > 0)
  {
    const std::pair<int, int> e = stack.back();
    stack.pop_back();
    const uint64_t key = keyOf(e.first, e.second);
    if (m_segments.count(key) != 0)
    {
      continue;
    }
    const auto record = m_edges.find(key);
    if (record == m_edges.end() || record->second.T[1] < 0)
    {
      continue;
    }
    int far = -1;
    for (const int side : record->second.T)
    {
      for (const int node : m_triangles[side])
      {
        if (node != e.first && node != e.second && node != m)
        {
          far = node;
        }
      }
    }
    if (far >= 0 && flipEdge(key, record->second))
    {
      ++m_nbFlips;
      stack.emplace_back(e.first, far);
      stack.emplace_back(far, e.second);
    }
  }
}

std::vector<std::vector<int>> QMShape_FaceRefiner::trianglesAround() const
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

void QMShape_FaceRefiner::collapseEdges()
{
  // Triangles around each node, kept up to date through the pass.
  std::vector<std::vector<int>>            around      = trianglesAround();
  const double                             shortLength = THE_SHORT * m_settings.MaxSize;
  std::vector<std::pair<double, uint64_t>> work;
  for (const auto& edge : m_edges)
  {
    const int a         = static_cast<int>(edge.first >> 32),
              b         = static_cast<int>(edge.first & 0xffffffffu);
    const double length = m_points[a].Distance(m_points[b]);
    if (edge.second.T[1] >= 0 && length < shortLength && !(m_fixed[a] && m_fixed[b]))
    {
      work.emplace_back(length, edge.first);
    }
  }
  std::sort(work.begin(), work.end()); // shortest first
  for (const auto& item : work)
  {
    const int a = static_cast<int>(item.second >> 32),
              b = static_cast<int>(item.second & 0xffffffffu);
    if (around[a].empty() || around[b].empty() || m_points[a].Distance(m_points[b]) >= shortLength)
    {
      continue;
    }
    if ((m_fixed[a] || !tryCollapse(a, b, around)) && !m_fixed[b])
    {
      tryCollapse(b, a, around);
    }
  }
  buildEdges();
}

bool QMShape_FaceRefiner::removeSlivers()
{
  // A triangle under 20 degrees that flips and smoothing could not open, as where a ring
  // of nodes crowds a pole whose fixed position no smoothing can use, loses its shortest
  // edge to a collapse (or the next one up, where that cannot go), under the same
  // conditions as the coarsening: no edge above the size, no fold, the ring no worse than
  // the sliver. Thinnest first.
  const double                        limit  = 20.0 * M_PI / 180.0;
  std::vector<std::vector<int>>       around = trianglesAround();
  std::vector<std::pair<double, int>> slivers;
  for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
  {
    const double angle = isLive(t) ? minAngle(m_triangles[t]) : M_PI;
    if (angle < limit)
    {
      slivers.emplace_back(angle, t);
    }
  }
  std::sort(slivers.begin(), slivers.end());
  int collapsed = 0;
  for (const std::pair<double, int>& sliver : slivers)
  {
    if (!isLive(sliver.second) || minAngle(m_triangles[sliver.second]) >= limit)
    {
      continue;
    }
    const std::array<int, 3>              tri = m_triangles[sliver.second];
    std::array<std::pair<double, int>, 3> sides;
    for (int k = 0; k < 3; ++k)
    {
      sides[k] = {m_points[tri[k]].SquareDistance(m_points[tri[(k + 1) % 3]]), k};
    }
    std::sort(sides.begin(), sides.end());
    for (const std::pair<double, int>& side : sides)
    {
      const int a = tri[side.second], b = tri[(side.second + 1) % 3];
      if ((!m_fixed[a] && tryCollapse(a, b, around)) || (!m_fixed[b] && tryCollapse(b, a, around)))
      {
        ++collapsed;
        break;
      }
    }
  }
  if (collapsed > 0)
  {
    buildEdges();
  }
  return collapsed > 0;
}

bool QMShape_FaceRefiner::tryCollapse(const int                      a,
                                      const int                      b,
                                      std::vector<std::vector<int>>& around)
{
  // The two triangles on the edge, and the nodes opposite it.
  std::vector<int> shared, neighboursA, neighboursB;
  for (const int t : around[a])
  {
    const std::array<int, 3>& tri = m_triangles[t];
    if (std::find(tri.begin(), tri.end(), b) != tri.end())
    {
      shared.push_back(t);
    }
    for (const int node : tri)
    {
      if (node != a)
      {
        neighboursA.push_back(node);
      }
    }
  }
  if (shared.size() != 2)
  {
    return false;
  }
  for (const int t : around[b])
  {
    for (const int node : m_triangles[t])
    {
      if (node != b)
      {
        neighboursB.push_back(node);
      }
    }
  }
  std::sort(neighboursA.begin(), neighboursA.end());
  neighboursA.erase(std::unique(neighboursA.begin(), neighboursA.end()), neighboursA.end());
  std::sort(neighboursB.begin(), neighboursB.end());
  neighboursB.erase(std::unique(neighboursB.begin(), neighboursB.end()), neighboursB.end());
  std::vector<int> common;
  std::set_intersection(neighboursA.begin(), neighboursA.end(), neighboursB.begin(),
                        neighboursB.end(), std::back_inserter(common));
  // Link condition: a and b share exactly the two opposite nodes, else the collapse pinches
  // the surface.
  if (common.size() != 2)
  {
    return false;
  }

  // The ring of a, moved onto b: shapes, sizes, orientation and distance to the surface.
  double before = M_PI, after = M_PI;
  for (const int t : around[a])
  {
    before = std::min(before, minAngle(m_triangles[t]));
  }
  for (const int t : around[a])
  {
    if (std::find(shared.begin(), shared.end(), t) != shared.end())
    {
      continue;
    }
    std::array<int, 3> tri = m_triangles[t];
    for (int& node : tri)
    {
      node = node == a ? b : node;
    }
    after = std::min(after, minAngle(tri));
    if (!isUpright(tri))
    {
      return false;
    }
    for (const int node : tri)
    {
      if (node != b &&
          (m_points[b].Distance(m_points[node]) > m_settings.MaxSize ||
           (deviation(b, node) > m_settings.Deflection && deviation(b, node) > deviation(a, node))))
      {
        return false;
      }
    }
  }
  // Smoothing and flips repair moderate losses; a sliver is not worth one node less.
  if (after < std::min(before, 20.0 * M_PI / 180.0))
  {
    return false;
  }

  for (const int t : shared)
  {
    for (const int node : m_triangles[t])
    {
      std::vector<int>& list = around[node];
      list.erase(std::remove(list.begin(), list.end(), t), list.end());
    }
    m_triangles[t] = {-1, -1, -1};
  }
  for (const int t : around[a])
  {
    for (int& node : m_triangles[t])
    {
      node = node == a ? b : node;
    }
    around[b].push_back(t);
  }
  around[a].clear();
  ++m_nbCollapses;
  return true;
}

void QMShape_FaceRefiner::countFolds()
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

bool QMShape_FaceRefiner::isUpright(const std::array<int, 3>& t) const
{
  return isUpright(cornerUV(t), {m_points[t[0]], m_points[t[1]], m_points[t[2]]});
}

bool QMShape_FaceRefiner::isUpright(const std::array<gp_XY, 3>&  uv,
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

int QMShape_FaceRefiner::addNode(const gp_Pnt& point, const gp_Pnt2d& uv, const bool fixed)
{
  m_points.push_back(point);
  m_uv.push_back(uv);
  m_fixed.push_back(fixed ? 1 : 0);
  m_pole.push_back(-1);
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

int QMShape_FaceRefiner::addPoleLine(const TopoDS_Edge&                 edge,
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

gp_XY QMShape_FaceRefiner::poleUV(const int pole, const gp_XY& seenFrom) const
{
  const PoleLine& line  = m_poleLines[m_pole[pole]];
  gp_XY           uv    = m_uv[pole].XY();
  const double    along = seenFrom.Coord(line.Along + 1);
  uv.SetCoord(line.Along + 1, std::max(line.First, std::min(line.Last, along)));
  return uv;
}

std::array<gp_XY, 3> QMShape_FaceRefiner::cornerUV(const std::array<int, 3>& t,
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

std::array<gp_XY, 3> QMShape_FaceRefiner::cornerUV(const std::array<int, 3>& t) const
{
  return cornerUV(t, {m_uv[t[0]].XY(), m_uv[t[1]].XY(), m_uv[t[2]].XY()});
}

gp_XY QMShape_FaceRefiner::middleUV(const int a, const int b) const
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
  const gp_Pnt2d uv(middleUV(a, b));
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
