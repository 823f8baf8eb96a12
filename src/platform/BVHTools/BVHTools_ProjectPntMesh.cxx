// Nearest-triangle search over the hierarchy and the point-triangle closest point.
#include <BVHTools_ProjectPntMesh.hxx>

#include <algorithm>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// Squared distances from p to the boxes of a node's four children. The gap along an axis is
// the larger of the two signed gaps, or 0: at most one of them is positive. Computed without
// branches, as which side a point lies on is a coin toss for the branch predictor during a
// search, and for two children at once in one pair of doubles where the processor has them.
// The float corners convert to doubles exactly; the sums are formed in the same order either
// way, so both forms give the same values. An unused slot's empty box gives +inf.
#if defined(__SSE2__)
struct QueryPoint
{
  explicit QueryPoint(const double* p)
      : x(_mm_set1_pd(p[0])), y(_mm_set1_pd(p[1])), z(_mm_set1_pd(p[2]))
  {
  }
  __m128d x, y, z;
};

// Gaps of children 0, 1 (low) and 2, 3 (high) along one axis.
inline void
axisGaps(const float* lower, const float* upper, const __m128d p, __m128d& low, __m128d& high)
{
  const __m128  lo4  = _mm_load_ps(lower);
  const __m128  hi4  = _mm_load_ps(upper);
  const __m128d zero = _mm_setzero_pd();
  low                = _mm_max_pd(zero,
                                  _mm_max_pd(_mm_sub_pd(_mm_cvtps_pd(lo4), p), _mm_sub_pd(p, _mm_cvtps_pd(hi4))));
  high = _mm_max_pd(zero, _mm_max_pd(_mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(lo4, lo4)), p),
                                     _mm_sub_pd(p, _mm_cvtps_pd(_mm_movehl_ps(hi4, hi4)))));
}

inline void childDistances2(const NearestTree::Node& node, const QueryPoint& p, double* out)
{
  __m128d xl, xh, yl, yh, zl, zh;
  axisGaps(node.lower[0], node.upper[0], p.x, xl, xh);
  axisGaps(node.lower[1], node.upper[1], p.y, yl, yh);
  axisGaps(node.lower[2], node.upper[2], p.z, zl, zh);
  _mm_storeu_pd(out,
                _mm_add_pd(_mm_add_pd(_mm_mul_pd(xl, xl), _mm_mul_pd(yl, yl)), _mm_mul_pd(zl, zl)));
  _mm_storeu_pd(out + 2,
                _mm_add_pd(_mm_add_pd(_mm_mul_pd(xh, xh), _mm_mul_pd(yh, yh)), _mm_mul_pd(zh, zh)));
}
#else
struct QueryPoint
{
  explicit QueryPoint(const double* p) : c{p[0], p[1], p[2]} {}
  double c[3];
};

inline void childDistances2(const NearestTree::Node& node, const QueryPoint& p, double* out)
{
  for (int side = 0; side < NearestTree::Width(); ++side)
  {
    double gap2[3];
    for (int axis = 0; axis < 3; ++axis)
    {
      const double gap =
          std::max(0.0, std::max(static_cast<double>(node.lower[axis][side]) - p.c[axis],
                                 p.c[axis] - static_cast<double>(node.upper[axis][side])));
      gap2[axis] = gap * gap;
    }
    out[side] = (gap2[0] + gap2[1]) + gap2[2];
  }
}
#endif

} // namespace

ProjectPntMesh::ProjectPntMesh(const Handle(TriangleSet) & set, const int nbThreads)
    : ProjectPntMesh(Handle(TriangleSet)(set), nbThreads)
{
}

ProjectPntMesh::ProjectPntMesh(Handle(TriangleSet) && set, const int nbThreads)
{
  if (!set.IsNull())
  {
    m_tree = std::make_shared<const NearestTree>(std::move(set), nbThreads);
  }
}

bool ProjectPntMesh::findNearest(
    const double* p, int& position, double& dist2, double* closest, const int hint) const
{
  position = -1;
  if (m_tree == nullptr || m_tree->IsEmpty() || !std::isfinite(p[0]) || !std::isfinite(p[1]) ||
      !std::isfinite(p[2]))
  {
    return false;
  }
  const NearestTree& tree = *m_tree;
  // Distances within this relative margin of the best count as ties, so that the triangles
  // meeting at a nearest edge or corner are all considered for the facing rule.
  constexpr double THE_TIE = 1.0e-12;
  double           bestCos = -1.0;
  dist2                    = std::numeric_limits<double>::infinity();

  const auto consider = [&](const int i)
  {
    const double* corners = tree.Corners(i);
    double        q[3], d[3];
    closestOnTriangle(p, corners, q);
    sub(p, q, d);
    const double d2 = dot(d, d);
    if (d2 > dist2 * (1.0 + THE_TIE))
    {
      return;
    }
    const double cosine = std::fabs(facingCosine(p, corners, q));
    const bool   better = d2 < dist2 * (1.0 - THE_TIE) || cosine > bestCos ||
                        (cosine == bestCos && tree.Id(i) < tree.Id(position));
    if (better)
    {
      dist2      = std::fmin(d2, dist2);
      bestCos    = cosine;
      position   = i;
      closest[0] = q[0], closest[1] = q[1], closest[2] = q[2];
    }
  };
  const auto considerLeaf = [&](const int first, const int count)
  {
    for (int i = first; i < first + count; ++i)
    {
      consider(i);
    }
  };
  if (hint >= 0 && hint < tree.NbTriangles())
  {
    consider(hint);
  }
  const std::vector<NearestTree::Node>& nodes = tree.Nodes();
  const QueryPoint                      query(p);
  if (nodes.empty())
  {
    considerLeaf(0, tree.NbTriangles());
    return position >= 0;
  }

  // Children waiting for a visit, with their box distance: a popped child whose box has
  // fallen behind the best distance is skipped without reading it.
  struct Waiting
  {
    int    child;
    int    count;
    double dist2;
  };
  Waiting stack[(NearestTree::Width() - 1) * NearestTree::MaxDepth() + 1];
  int     top  = 0;
  int     node = 0;
  for (;;)
  {
    const NearestTree::Node& current = nodes[node];
    double                   boxDist2[NearestTree::Width()];
    childDistances2(current, query, boxDist2);
    // The children within reach, nearest first (on equal distances the first child): the
    // others wait on the stack, the farthest deepest, and the nearest is visited now.
    const double bound = dist2 * (1.0 + THE_TIE);
    int          order[NearestTree::Width()];
    int          nbOpen = 0;
    for (int side = 0; side < NearestTree::Width(); ++side)
    {
      if (boxDist2[side] <= bound && current.count[side] >= 0)
      {
        int slot = nbOpen++;
        for (; slot > 0 && boxDist2[order[slot - 1]] > boxDist2[side]; --slot)
        {
          order[slot] = order[slot - 1];
        }
        order[slot] = side;
      }
    }
    node = -1;
    if (nbOpen > 0)
    {
      for (int k = nbOpen - 1; k > 0; --k)
      {
        const int side = order[k];
        stack[top++]   = {current.child[side], current.count[side], boxDist2[side]};
      }
      const int near = order[0];
      if (current.count[near] == 0)
      {
        node = current.child[near];
        continue;
      }
      considerLeaf(current.child[near], current.count[near]);
    }
    // Pop the next child that may still hold a nearer triangle; leaves are scanned here.
    while (top > 0)
    {
      const Waiting& candidate = stack[--top];
      if (candidate.dist2 > dist2 * (1.0 + THE_TIE))
      {
        continue;
      }
      if (candidate.count == 0)
      {
        node = candidate.child;
        break;
      }
      considerLeaf(candidate.child, candidate.count);
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
  triangle = m_tree->Id(position);
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
  triangle              = m_tree->Id(position);
  const double distance = std::sqrt(dist2);
  return facingCosine(p, m_tree->Corners(position), closest) < 0.0 ? -distance : distance;
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
  return facingCosine(p, m_tree->Corners(position), closest) < 0.0 ? -distance : distance;
}

} // namespace BVHTools
