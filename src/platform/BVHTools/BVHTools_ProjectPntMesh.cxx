// Nearest-triangle search over the hierarchy and the point-triangle closest point.
#include <BVHTools_ProjectPntMesh.hxx>

#include <algorithm>
#include <cmath>
#include <limits>

namespace BVHTools
{
namespace
{

inline double dot(const double* u, const double* v)
{
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

inline void sub(const double* u, const double* v, double* out)
{
  out[0] = u[0] - v[0];
  out[1] = u[1] - v[1];
  out[2] = u[2] - v[2];
}

// Closest point of segment [a, b] to p.
void closestOnSegment(const double* p, const double* a, const double* b, double* out)
{
  double ab[3], ap[3];
  sub(b, a, ab);
  sub(p, a, ap);
  const double len2 = dot(ab, ab);
  double       t    = len2 > 0.0 ? dot(ap, ab) / len2 : 0.0;
  t                 = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  for (int k = 0; k < 3; ++k)
  {
    out[k] = a[k] + t * ab[k];
  }
}

// Closest point of triangle (a, b, c) to p, by the region of the triangle's plane that p
// projects into: a corner region, an edge region or the face.
void closestOnTriangle(const double* p, const double* t, double* out)
{
  const double* a = t;
  const double* b = t + 3;
  const double* c = t + 6;
  double        ab[3], ac[3], ap[3], bp[3], cp[3];
  sub(b, a, ab);
  sub(c, a, ac);
  sub(p, a, ap);
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0)
  {
    out[0] = a[0], out[1] = a[1], out[2] = a[2];
    return;
  }
  sub(p, b, bp);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3)
  {
    out[0] = b[0], out[1] = b[1], out[2] = b[2];
    return;
  }
  sub(p, c, cp);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6)
  {
    out[0] = c[0], out[1] = c[1], out[2] = c[2];
    return;
  }
  const double vc  = d1 * d4 - d3 * d2;
  const double vb  = d5 * d2 - d1 * d6;
  const double va  = d3 * d6 - d5 * d4;
  const double sum = va + vb + vc;
  if (!(sum > 0.0))
  {
    // Degenerate triangle (or rounding on a nearly degenerate one): the nearest of its
    // three edges.
    double best = std::numeric_limits<double>::infinity();
    for (int e = 0; e < 3; ++e)
    {
      double q[3], d[3];
      closestOnSegment(p, t + 3 * e, t + 3 * ((e + 1) % 3), q);
      sub(p, q, d);
      if (dot(d, d) < best)
      {
        best   = dot(d, d);
        out[0] = q[0], out[1] = q[1], out[2] = q[2];
      }
    }
    return;
  }
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0)
  {
    closestOnSegment(p, a, b, out);
    return;
  }
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0)
  {
    closestOnSegment(p, a, c, out);
    return;
  }
  if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0)
  {
    closestOnSegment(p, b, c, out);
    return;
  }
  const double v = vb / sum, w = vc / sum;
  for (int k = 0; k < 3; ++k)
  {
    out[k] = a[k] + v * ab[k] + w * ac[k];
  }
}

// Cosine between the triangle's normal and the direction from the closest point to p;
// 0 for a degenerate triangle or a point on the triangle.
double facingCosine(const double* p, const double* t, const double* closest)
{
  double ab[3], ac[3], d[3];
  sub(t + 3, t, ab);
  sub(t + 6, t, ac);
  sub(p, closest, d);
  const double n[3]  = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                        ab[0] * ac[1] - ab[1] * ac[0]};
  const double denom = std::sqrt(dot(n, n) * dot(d, d));
  return denom > 0.0 ? dot(n, d) / denom : 0.0;
}

// Squared distance from p to a box. The gap along an axis is the larger of the two signed
// gaps, or 0: at most one of them is positive. Written with max rather than branches, as
// which side a point lies on is a coin toss for the branch predictor during a search.
double boxDistance2(const BVH_Vec3d& boxMin, const BVH_Vec3d& boxMax, const double* p)
{
  const double gx = std::max(0.0, std::max(boxMin.x() - p[0], p[0] - boxMax.x()));
  const double gy = std::max(0.0, std::max(boxMin.y() - p[1], p[1] - boxMax.y()));
  const double gz = std::max(0.0, std::max(boxMin.z() - p[2], p[2] - boxMax.z()));
  return gx * gx + gy * gy + gz * gz;
}

} // namespace

ProjectPntMesh::ProjectPntMesh(const Handle(TriangleSet) & set) : m_set(set)
{
  if (!set.IsNull())
  {
    m_tree = set->BVH();
  }
}

bool ProjectPntMesh::findNearest(
    const double* p, int& position, double& dist2, double* closest, const int hint) const
{
  position = -1;
  if (m_set.IsNull() || m_tree.IsNull() || m_tree->Length() == 0 || !std::isfinite(p[0]) ||
      !std::isfinite(p[1]) || !std::isfinite(p[2]))
  {
    return false;
  }
  // Distances within this relative margin of the best count as ties, so that the triangles
  // meeting at a nearest edge or corner are all considered for the facing rule.
  constexpr double THE_TIE = 1.0e-12;
  double           bestCos = -1.0;
  dist2                    = std::numeric_limits<double>::infinity();

  const auto consider = [&](const int i)
  {
    double corners[9];
    m_set->Corners(i, corners);
    double q[3], d[3];
    closestOnTriangle(p, corners, q);
    sub(p, q, d);
    const double d2 = dot(d, d);
    if (d2 > dist2 * (1.0 + THE_TIE))
    {
      return;
    }
    const double cosine = std::fabs(facingCosine(p, corners, q));
    const bool   better = d2 < dist2 * (1.0 - THE_TIE) || cosine > bestCos ||
                        (cosine == bestCos && m_set->Id(i) < m_set->Id(position));
    if (better)
    {
      dist2      = std::fmin(d2, dist2);
      bestCos    = cosine;
      position   = i;
      closest[0] = q[0], closest[1] = q[1], closest[2] = q[2];
    }
  };
  if (hint >= 0 && hint < m_set->Size())
  {
    consider(hint);
  }

  const BVH_Tree<double, 3>& tree = *m_tree;
  int                        stack[2 * BVH_Constants_MaxTreeDepth + 2];
  int                        top  = 0;
  int                        node = 0;
  for (;;)
  {
    if (tree.IsOuter(node))
    {
      for (int i = tree.BegPrimitive(node); i <= tree.EndPrimitive(node); ++i)
      {
        consider(i);
      }
    }
    else
    {
      const int    left   = tree.Child<0>(node);
      const int    right  = tree.Child<1>(node);
      const double dLeft  = boxDistance2(tree.MinPoint(left), tree.MaxPoint(left), p);
      const double dRight = boxDistance2(tree.MinPoint(right), tree.MaxPoint(right), p);
      const double limit  = dist2 * (1.0 + THE_TIE);
      const bool   goLeft = dLeft <= limit, goRight = dRight <= limit;
      if (goLeft && goRight)
      {
        // Nearer child first; the other waits on the stack.
        stack[top++] = dLeft <= dRight ? right : left;
        node         = dLeft <= dRight ? left : right;
        continue;
      }
      if (goLeft || goRight)
      {
        node = goLeft ? left : right;
        continue;
      }
    }
    // Pop the next node that may still hold a nearer triangle.
    node = -1;
    while (top > 0)
    {
      const int candidate = stack[--top];
      if (boxDistance2(tree.MinPoint(candidate), tree.MaxPoint(candidate), p) <=
          dist2 * (1.0 + THE_TIE))
      {
        node = candidate;
        break;
      }
    }
    if (node < 0)
    {
      break;
    }
  }
  return position >= 0;
}

double ProjectPntMesh::Distance(const gp_Pnt& point, int& triangle) const
{
  const double p[3] = {point.X(), point.Y(), point.Z()};
  int          position;
  double       dist2, closest[3];
  if (!findNearest(p, position, dist2, closest))
  {
    triangle = -1;
    return -1.0;
  }
  triangle = m_set->Id(position);
  return std::sqrt(dist2);
}

double ProjectPntMesh::SignedDistance(const gp_Pnt& point, int& triangle) const
{
  const double p[3] = {point.X(), point.Y(), point.Z()};
  int          position;
  double       dist2, closest[3];
  if (!findNearest(p, position, dist2, closest))
  {
    triangle = -1;
    return -1.0;
  }
  triangle              = m_set->Id(position);
  const double distance = std::sqrt(dist2);
  double       corners[9];
  m_set->Corners(position, corners);
  return facingCosine(p, corners, closest) < 0.0 ? -distance : distance;
}

double ProjectPntMesh::DistanceNear(const gp_Pnt& point, const bool isSigned, int& position) const
{
  const double p[3] = {point.X(), point.Y(), point.Z()};
  const int    hint = position;
  double       dist2, closest[3];
  if (!findNearest(p, position, dist2, closest, hint))
  {
    position = -1;
    return -1.0;
  }
  const double distance = std::sqrt(dist2);
  if (!isSigned)
  {
    return distance;
  }
  double corners[9];
  m_set->Corners(position, corners);
  return facingCosine(p, corners, closest) < 0.0 ? -distance : distance;
}

} // namespace BVHTools
