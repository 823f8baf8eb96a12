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
// 5. Longest-edge bisection (Rivara, 1984) finally splits what is still above the size,
//    and interior edges whose middle is farther off the surface than the deflection.
// 6. A triangle still under 20 degrees loses its shortest edge to a collapse where that
//    keeps every edge within the size and the ring no worse; the free nodes of those left
//    are then moved by a compass search that maximises the smallest angle around them
//    (smoothing to the neighbours' mean does not even out a fan whose angles are all close
//    to the bound, as around a cone's apex, whose full angle is fixed by the surface).
// Every edit is refused when it would fold a triangle (see the header). Every node stays on
// the surface; a pole is seen by each triangle at the triangle's meridian (QMShape_FaceMesh).
// Cost: O(n log n) for a face ending with n nodes (priority queues of triangles and edges),
// O(n) per optimisation pass.
#include <QMShape_FaceRefiner.hxx>

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
// Radius-to-shortest-edge ratio of a triangle with a smallest angle of about 25 degrees.
const double THE_RATIO = 1.18;
} // namespace

QMShape_FaceRefiner::QMShape_FaceRefiner(const TopoDS_Face& face, const Settings& settings)
    : QMShape_FaceMesh(face, settings)
{
}

bool QMShape_FaceRefiner::Prepare()
{
  // 1. Copy the face's triangulation; without UV nodes nothing can be placed on the surface.
  if (!loadMesh())
  {
    return false;
  }
  // 2. Read the edge polygons: their nodes stay fixed and their segments split on the curves.
  // Polygon nodes the first pass left out of the face's border are put back.
  loadPolygons();
  restoreSkippedNodes();
  // 3. Connect triangles through their edges, and take out the polygon nodes of edges the
  // first pass divided more finely than they need.
  buildEdges();
  removeBorderNodes();
  return true;
}

bool QMShape_FaceRefiner::Perform()
{
  // 1. - 3. Read the face and its polygons (see Prepare).
  if (!Prepare())
  {
    return false;
  }
  // 4. Divide the boundary segments to the size of their edges. A node put on a curved
  // border can fall beyond the opposite side of a thin face's triangle, and a first pass
  // can leave polygon segments out of a face's border (its triangles cut across the face,
  // using border nodes elsewhere, so that no fan puts them back); a face with one border
  // loop is then triangulated anew from its border.
  if (!divideSegments())
  {
    return false;
  }
  if (retriangulateFolded())
  {
    buildEdges();
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
    if (sized)
    {
      relocateSliverNodes();
    }
  }
  // 8. Count what is still folded, and write the new triangulation and polygons.
  countFolds();
  storeResult();
  return true;
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
  // An interior edge is split too when its middle stands farther off the surface than the
  // deflection: refinement and smoothing place nodes by size and shape alone, so on a
  // surface curved tighter than the size (a small bore of a B-spline surface, whose first
  // pass leaves long cells to refine) an edge of the size across the curvature would
  // otherwise leave the mesh farther from the surface than the first pass was. Edges under
  // twice the deflection cannot be that far off a sound surface and are left alone.
  const double deflection = m_settings.Deflection;
  const auto   offer      = [&](const int a, const int b)
  {
    const double length  = m_points[a].Distance(m_points[b]);
    const auto   segment = m_segments.find(keyOf(a, b));
    const bool   split   = segment != m_segments.end()
                               ? length > maxSize || length > m_slots[segment->second.Slot].Size
                               : length > maxSize || (deflection > 0.0 && length > 2.0 * deflection &&
                                                  deviation(a, b) > deflection);
    if (split)
    {
      queue.push({length, a, b});
    }
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

bool QMShape_FaceRefiner::flipEdge(const uint64_t key, EdgeRecord& record, const bool raiseAngle)
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
  if (d < 0 || d == c)
  {
    return false; // inconsistent orientation or a doubled triangle
  }
  if (m_flipKeepsSize && m_points[c].Distance(m_points[d]) > m_settings.MaxSize)
  {
    return false;
  }
  // Delaunay criterion in 3D: the angles opposite the edge add up to more than pi, that is
  // the sine of their sum is negative (written with the sines and cosines of each, from
  // cross and dot products, scaled by the side lengths). Unlike comparing smallest angles
  // it still decides between near-degenerate triangles, such as the fans a divided
  // straight boundary leaves.
  const gp_XYZ cp = m_points[p].XYZ() - m_points[c].XYZ(),
               cq = m_points[q].XYZ() - m_points[c].XYZ();
  const gp_XYZ dp = m_points[p].XYZ() - m_points[d].XYZ(),
               dq = m_points[q].XYZ() - m_points[d].XYZ();
  const double scale =
      std::sqrt(cp.SquareModulus() * cq.SquareModulus() * dp.SquareModulus() * dq.SquareModulus());
  const double sineOfSum =
      cp.Crossed(cq).Modulus() * dp.Dot(dq) + cp.Dot(cq) * dp.Crossed(dq).Modulus();
  if (!raiseAngle && (!(scale > 0.0) || sineOfSum >= -1.0e-9 * scale))
  {
    return false;
  }
  if (m_edges.count(keyOf(c, d)) != 0)
  {
    return false; // the diagonal exists
  }
  const std::array<int, 3> new0 = {p, d, c};
  const std::array<int, 3> new1 = {d, q, c};
  if (raiseAngle &&
      std::min(minAngle(new0), minAngle(new1)) <=
          std::min(minAngle(m_triangles[t0]), minAngle(m_triangles[t1])) + THE_MIN_GAIN)
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
    if (!slot.Splittable)
    {
      continue;
    }
    // A segment no triangle uses (a first pass that cut across the face) is divided on the
    // polygon alone, so that the face's border matches its neighbours' for the new
    // triangulation from the border below.
    const bool          covered = m_edges.count(keyOf(s.A, s.B)) != 0;
    std::vector<double> parameters;
    std::vector<gp_Pnt> points;
    DivideSegment(*slot.Curve, s.Ta, s.Tb, slot.Size,
                  m_settings.EdgeSplits != nullptr ? m_settings.EdgeSplits->Seek(slot.Edge)
                                                   : nullptr,
                  parameters, points);
    const int steps = static_cast<int>(parameters.size()) - 1;
    if (steps <= 1)
    {
      continue;
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
      const double t     = parameters[i];
      gp_Pnt       point = points[i];
      if (!m_isIdentity)
      {
        point.Transform(m_toLocal);
      }
      const int m = addNode(point, slot.PCurve->Value(t), true);
      m_segments.emplace(keyOf(from, m), Segment{s.Slot, from, m, tFrom, t});
      if (covered)
      {
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
        legalise(m, stack);
      }
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
  // edge to a collapse (onto either end, else both ends to its middle; or the next edge up,
  // where that cannot go), under the same conditions as the coarsening: no edge above the
  // size, no fold, the ring no worse than the sliver. Thinnest first.
  // Before that, a flip of one of its edges that raises the smallest angle of the pair
  // (the local angle criterion, where the Delaunay one kept the edge), which takes a spoke
  // off a pole whose fan is too crowded.
  const double                        limit = 20.0 * M_PI / 180.0;
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
  bool flipped = false;
  for (const std::pair<double, int>& sliver : slivers)
  {
    const std::array<int, 3> tri = m_triangles[sliver.second];
    for (int k = 0; k < 3 && minAngle(m_triangles[sliver.second]) < limit; ++k)
    {
      const uint64_t key    = keyOf(tri[k], tri[(k + 1) % 3]);
      const auto     record = m_edges.find(key);
      if (m_segments.count(key) == 0 && record != m_edges.end() && record->second.T[1] >= 0 &&
          flipEdge(key, record->second, true))
      {
        ++m_nbFlips;
        flipped = true;
        break;
      }
    }
  }
  std::vector<std::vector<int>> around    = trianglesAround();
  int                           collapsed = 0;
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
      if ((!m_fixed[a] && tryCollapse(a, b, around)) ||
          (!m_fixed[b] && tryCollapse(b, a, around)) ||
          (!m_fixed[a] && !m_fixed[b] && collapseToMiddle(a, b, around)))
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
  return flipped || collapsed > 0;
}

bool QMShape_FaceRefiner::relocateSliverNodes()
{
  // A few rounds: moving one node of a fan changes the best place of its neighbours.
  const double                        limit    = 20.0 * M_PI / 180.0;
  const std::vector<std::vector<int>> around   = trianglesAround();
  bool                                movedAny = false;
  for (int round = 0; round < 4; ++round)
  {
    std::vector<int> nodes;
    for (int t = 0; t < static_cast<int>(m_triangles.size()); ++t)
    {
      if (isLive(t) && minAngle(m_triangles[t]) < limit)
      {
        for (const int node : m_triangles[t])
        {
          if (!m_fixed[node] && !isPole(node))
          {
            nodes.push_back(node);
          }
        }
      }
    }
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    bool moved = false;
    for (const int node : nodes)
    {
      if (optimiseNode(node, around[node]))
      {
        ++m_nbMoves;
        moved = true;
      }
    }
    movedAny = movedAny || moved;
    if (!moved)
    {
      break;
    }
  }
  return movedAny;
}

bool QMShape_FaceRefiner::optimiseNode(const int node, const std::vector<int>& ring)
{
  const auto ringAngle = [&]() -> double
  {
    double smallest = M_PI;
    for (const int t : ring)
    {
      const std::array<int, 3>& tri = m_triangles[t];
      if (!isUpright(tri))
      {
        return -1.0;
      }
      for (const int other : tri)
      {
        if (other != node && m_points[node].Distance(m_points[other]) > m_settings.MaxSize)
        {
          return -1.0;
        }
      }
      smallest = std::min(smallest, minAngle(tri));
    }
    return smallest;
  };
  // Steps in the parameter plane that move the point by about h on the surface, h starting
  // at a quarter of the shortest edge around the node.
  double shortest = 1.0e300;
  for (const int t : ring)
  {
    for (const int other : m_triangles[t])
    {
      if (other != node)
      {
        shortest = std::min(shortest, m_points[node].Distance(m_points[other]));
      }
    }
  }
  gp_Pnt point;
  gp_Vec du, dv;
  m_surface->D1(m_uv[node].X(), m_uv[node].Y(), point, du, dv);
  const double lu = du.Magnitude(), lv = dv.Magnitude();
  if (!(lu > 0.0) || !(lv > 0.0) || !(shortest < 1.0e300))
  {
    return false;
  }
  const gp_Pnt2d start            = m_uv[node];
  const gp_Pnt   startPoint       = m_points[node];
  double         best             = ringAngle();
  const double   initial          = best;
  double         h                = 0.25 * shortest;
  const double   directions[8][2] = {{1, 0},
                                     {-1, 0},
                                     {0, 1},
                                     {0, -1},
                                     {M_SQRT1_2, M_SQRT1_2},
                                     {-M_SQRT1_2, -M_SQRT1_2},
                                     {M_SQRT1_2, -M_SQRT1_2},
                                     {-M_SQRT1_2, M_SQRT1_2}};
  for (int iteration = 0; iteration < 60 && h > 1.0e-3 * shortest; ++iteration)
  {
    const gp_Pnt2d from      = m_uv[node];
    const gp_Pnt   fromPoint = m_points[node];
    gp_Pnt2d       bestUV    = from;
    gp_Pnt         bestPoint = fromPoint;
    for (const auto& direction : directions)
    {
      m_uv[node]     = gp_Pnt2d(from.X() + direction[0] * h / lu, from.Y() + direction[1] * h / lv);
      m_points[node] = surfacePoint(m_uv[node]);
      const double angle = ringAngle();
      if (angle > best + THE_MIN_GAIN)
      {
        best      = angle;
        bestUV    = m_uv[node];
        bestPoint = m_points[node];
      }
    }
    m_uv[node]     = bestUV;
    m_points[node] = bestPoint;
    if (bestUV.IsEqual(from, 0.0))
    {
      h *= 0.5;
    }
  }
  if (best > initial + THE_MIN_GAIN)
  {
    return true;
  }
  m_uv[node]     = start;
  m_points[node] = startPoint;
  return false;
}

bool QMShape_FaceRefiner::collapseToMiddle(const int                      a,
                                           const int                      b,
                                           std::vector<std::vector<int>>& around)
{
  // Where neither end can take the other's place (a crowded ring around a pole: the ends'
  // other neighbours lie too far from either), both meet halfway: b moves to the edge's
  // middle on the surface, which must keep its own triangles upright, within the size and
  // no thinner than before, and a then collapses onto it.
  const gp_Pnt   oldPoint = m_points[b];
  const gp_Pnt2d oldUV    = m_uv[b];
  double         before   = M_PI;
  for (const int t : around[b])
  {
    before = std::min(before, minAngle(m_triangles[t]));
  }
  m_uv[b]     = gp_Pnt2d(middleUV(a, b));
  m_points[b] = surfacePoint(m_uv[b]);
  bool valid  = true;
  for (size_t i = 0; i < around[b].size() && valid; ++i)
  {
    const std::array<int, 3>& tri = m_triangles[around[b][i]];
    valid = isUpright(tri) && (std::find(tri.begin(), tri.end(), a) != tri.end() ||
                               minAngle(tri) >= std::min(before, 20.0 * M_PI / 180.0));
    for (const int node : tri)
    {
      valid = valid && m_points[b].Distance(m_points[node]) <= m_settings.MaxSize;
    }
  }
  if (valid && tryCollapse(a, b, around))
  {
    return true;
  }
  m_points[b] = oldPoint;
  m_uv[b]     = oldUV;
  return false;
}

bool QMShape_FaceRefiner::tryCollapse(const int                      a,
                                      const int                      b,
                                      std::vector<std::vector<int>>& around)
{
  // Link condition: a and b share exactly the two nodes opposite the edge, else the
  // collapse pinches the surface.
  std::vector<int> shared;
  if (edgeLink(a, b, around, shared) != 2 || shared.size() != 2)
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
