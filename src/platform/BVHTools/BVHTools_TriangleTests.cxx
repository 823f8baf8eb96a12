// Exact triangle-triangle and segment-triangle tests built on orientation signs.
#include <BVHTools_TriangleTests.hxx>

#include <BVHTools_Predicates.hxx>

#include <cmath>

namespace BVHTools
{
namespace
{

// The coordinate plane (i, j) onto which the plane of a non-degenerate triangle projects
// one-to-one: the one across the normal's largest component, checked exactly.
void projectionAxes(const TriangleCorners& t, int& i, int& j)
{
  const double* a    = t.p[0];
  const double* b    = t.p[1];
  const double* c    = t.p[2];
  const double  n[3] = {(b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1]),
                        (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2]),
                        (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])};
  int           drop = 0;
  if (std::fabs(n[1]) > std::fabs(n[drop]))
  {
    drop = 1;
  }
  if (std::fabs(n[2]) > std::fabs(n[drop]))
  {
    drop = 2;
  }
  // The rounded normal may point the wrong way only for a nearly collinear triangle.
  for (int k = 0; k < 3; ++k)
  {
    const int d = (drop + k) % 3;
    i           = (d + 1) % 3;
    j           = (d + 2) % 3;
    if (Orient2d(a, b, c, i, j) != 0)
    {
      return;
    }
  }
}

bool overlap1d(const double a0, const double a1, const double b0, const double b1)
{
  return std::fmax(a0, a1) >= std::fmin(b0, b1) && std::fmax(b0, b1) >= std::fmin(a0, a1);
}

// Closed segments [a, b] and [c, d] of one plane, in coordinates (i, j).
bool segmentsIntersect2d(
    const double* a, const double* b, const double* c, const double* d, const int i, const int j)
{
  const int o1 = Orient2d(a, b, c, i, j);
  const int o2 = Orient2d(a, b, d, i, j);
  if (o1 * o2 > 0)
  {
    return false;
  }
  const int o3 = Orient2d(c, d, a, i, j);
  const int o4 = Orient2d(c, d, b, i, j);
  if (o3 * o4 > 0)
  {
    return false;
  }
  if (o1 == 0 && o2 == 0)
  {
    // All four points on one line: the segments meet when their extents overlap in both
    // coordinates.
    return overlap1d(a[i], b[i], c[i], d[i]) && overlap1d(a[j], b[j], c[j], d[j]);
  }
  return true;
}

bool pointInTriangle2d(const double* x, const TriangleCorners& t, const int i, const int j)
{
  const int  s0          = Orient2d(t.p[0], t.p[1], x, i, j);
  const int  s1          = Orient2d(t.p[1], t.p[2], x, i, j);
  const int  s2          = Orient2d(t.p[2], t.p[0], x, i, j);
  const bool hasPositive = s0 > 0 || s1 > 0 || s2 > 0;
  const bool hasNegative = s0 < 0 || s1 < 0 || s2 < 0;
  return !(hasPositive && hasNegative);
}

bool segmentTriangle2d(
    const double* a, const double* b, const TriangleCorners& t, const int i, const int j)
{
  if (pointInTriangle2d(a, t, i, j) || pointInTriangle2d(b, t, i, j))
  {
    return true;
  }
  for (int k = 0; k < 3; ++k)
  {
    if (segmentsIntersect2d(a, b, t.p[k], t.p[(k + 1) % 3], i, j))
    {
      return true;
    }
  }
  return false;
}

bool trianglesIntersect2d(const TriangleCorners& t1,
                          const TriangleCorners& t2,
                          const int              i,
                          const int              j)
{
  for (int k = 0; k < 3; ++k)
  {
    if (segmentTriangle2d(t1.p[k], t1.p[(k + 1) % 3], t2, i, j))
    {
      return true;
    }
  }
  // No edge of t1 meets t2: t2 either lies inside t1 or apart from it.
  return pointInTriangle2d(t2.p[0], t1, i, j);
}

// Segment [a, b] against triangle t, with the sides sa and sb of a and b relative to t's
// plane already known.
bool segmentTriangleSided(
    const double* a, const double* b, const int sa, const int sb, const TriangleCorners& t)
{
  if (sa * sb > 0)
  {
    return false;
  }
  if (sa == 0 && sb == 0)
  {
    int i = 0, j = 1;
    projectionAxes(t, i, j);
    return segmentTriangle2d(a, b, t, i, j);
  }
  // The segment reaches the plane; its line passes through the closed triangle when the
  // three tetrahedra it forms with the triangle's edges are not of opposite orientations.
  const int  s0          = Orient3d(a, b, t.p[0], t.p[1]);
  const int  s1          = Orient3d(a, b, t.p[1], t.p[2]);
  const int  s2          = Orient3d(a, b, t.p[2], t.p[0]);
  const bool hasPositive = s0 > 0 || s1 > 0 || s2 > 0;
  const bool hasNegative = s0 < 0 || s1 < 0 || s2 < 0;
  return !(hasPositive && hasNegative);
}

} // namespace

bool IsDegenerate(const TriangleCorners& t)
{
  return Orient2d(t.p[0], t.p[1], t.p[2], 0, 1) == 0 &&
         Orient2d(t.p[0], t.p[1], t.p[2], 1, 2) == 0 && Orient2d(t.p[0], t.p[1], t.p[2], 2, 0) == 0;
}

bool SegmentTriangleIntersect(const double* a, const double* b, const TriangleCorners& t)
{
  return segmentTriangleSided(a, b, Orient3d(t.p[0], t.p[1], t.p[2], a),
                              Orient3d(t.p[0], t.p[1], t.p[2], b), t);
}

bool TrianglesIntersect(const TriangleCorners& t1, const TriangleCorners& t2)
{
  int s2[3];
  for (int k = 0; k < 3; ++k)
  {
    s2[k] = Orient3d(t1.p[0], t1.p[1], t1.p[2], t2.p[k]);
  }
  if ((s2[0] > 0 && s2[1] > 0 && s2[2] > 0) || (s2[0] < 0 && s2[1] < 0 && s2[2] < 0))
  {
    return false;
  }
  if (s2[0] == 0 && s2[1] == 0 && s2[2] == 0)
  {
    int i = 0, j = 1;
    projectionAxes(t1, i, j);
    return trianglesIntersect2d(t1, t2, i, j);
  }
  int s1[3];
  for (int k = 0; k < 3; ++k)
  {
    s1[k] = Orient3d(t2.p[0], t2.p[1], t2.p[2], t1.p[k]);
  }
  if ((s1[0] > 0 && s1[1] > 0 && s1[2] > 0) || (s1[0] < 0 && s1[1] < 0 && s1[2] < 0))
  {
    return false;
  }
  for (int k = 0; k < 3; ++k)
  {
    const int next = (k + 1) % 3;
    if (segmentTriangleSided(t1.p[k], t1.p[next], s1[k], s1[next], t2) ||
        segmentTriangleSided(t2.p[k], t2.p[next], s2[k], s2[next], t1))
    {
      return true;
    }
  }
  return false;
}

bool NeighboursIntersect(const TriangleCorners& t1,
                         const int*             nodes1,
                         const TriangleCorners& t2,
                         const int*             nodes2)
{
  // match[k] = corner of t2 on the node of corner k of t1, or -1. The corners of a
  // non-degenerate triangle are distinct points, hence distinct nodes, so the matching is
  // one-to-one.
  int match[3];
  int nbShared = 0;
  for (int k = 0; k < 3; ++k)
  {
    match[k] = -1;
    for (int m = 0; m < 3; ++m)
    {
      if (nodes1[k] == nodes2[m])
      {
        match[k] = m;
        ++nbShared;
        break;
      }
    }
  }
  if (nbShared == 0)
  {
    return TrianglesIntersect(t1, t2);
  }
  if (nbShared == 3)
  {
    return true;
  }
  if (nbShared == 1)
  {
    // With t1 = (v, a, b) and t2 = (v, c, d), the common part is convex and contains v; any
    // other extreme point of it lies on [a, b] inside t2 or on [c, d] inside t1.
    const int k = match[0] >= 0 ? 0 : (match[1] >= 0 ? 1 : 2);
    const int m = match[k];
    return SegmentTriangleIntersect(t1.p[(k + 1) % 3], t1.p[(k + 2) % 3], t2) ||
           SegmentTriangleIntersect(t2.p[(m + 1) % 3], t2.p[(m + 2) % 3], t1);
  }
  // A shared edge (u, w): outside their common plane the triangles meet only along it;
  // inside it they overlap when their third corners lie on the same side of it.
  const int     free1 = match[0] < 0 ? 0 : (match[1] < 0 ? 1 : 2);
  const double* u     = t1.p[(free1 + 1) % 3];
  const double* w     = t1.p[(free1 + 2) % 3];
  const double* a     = t1.p[free1];
  const double* c     = t2.p[0];
  for (int m = 0; m < 3; ++m)
  {
    if (match[0] != m && match[1] != m && match[2] != m)
    {
      c = t2.p[m];
    }
  }
  if (Orient3d(u, w, a, c) != 0)
  {
    return false;
  }
  int i = 0, j = 1;
  projectionAxes(t1, i, j);
  return Orient2d(u, w, a, i, j) == Orient2d(u, w, c, i, j);
}

} // namespace BVHTools
