// Small geometric kernels shared by the voxelizers and the shrinking: triangle-box overlap
// and the closest point of a triangle.
#ifndef SurfWrap_Geometry_HeaderFile
#define SurfWrap_Geometry_HeaderFile

#include <algorithm>
#include <cmath>

namespace SurfWrap_Geometry
{

struct Vec
{
  double x, y, z;
};

inline Vec operator-(const Vec& a, const Vec& b)
{
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec operator+(const Vec& a, const Vec& b)
{
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec operator*(const double s, const Vec& a)
{
  return {s * a.x, s * a.y, s * a.z};
}
inline double Dot(const Vec& a, const Vec& b)
{
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec Cross(const Vec& a, const Vec& b)
{
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

//! Whether the closed triangle (a, b, c) and the closed axis-aligned box of centre `center`
//! and half extents `half` share a point. Separating-axis test over the box normals, the
//! triangle normal and the nine cross products of box axes and triangle edges
//! (Akenine-Möller, "Fast 3D Triangle-Box Overlap Testing", 2001); about a hundred flops.
//! Degenerate triangles are handled (their zero axes never separate).
inline bool TriangleBoxOverlap(const Vec& center, const Vec& half, Vec a, Vec b, Vec c)
{
  a = a - center, b = b - center, c = c - center;
  const double h[3] = {half.x, half.y, half.z};
  // Box normals: the triangle's extents against the box's.
  if (std::min({a.x, b.x, c.x}) > h[0] || std::max({a.x, b.x, c.x}) < -h[0] ||
      std::min({a.y, b.y, c.y}) > h[1] || std::max({a.y, b.y, c.y}) < -h[1] ||
      std::min({a.z, b.z, c.z}) > h[2] || std::max({a.z, b.z, c.z}) < -h[2])
  {
    return false;
  }
  const Vec edges[3] = {b - a, c - b, a - c};
  // Cross products of the box axes with the edges.
  for (const Vec& e : edges)
  {
    const Vec axes[3] = {{0.0, -e.z, e.y}, {e.z, 0.0, -e.x}, {-e.y, e.x, 0.0}};
    for (const Vec& axis : axes)
    {
      const double pa = Dot(a, axis), pb = Dot(b, axis), pc = Dot(c, axis);
      const double r = h[0] * std::abs(axis.x) + h[1] * std::abs(axis.y) + h[2] * std::abs(axis.z);
      if (std::min({pa, pb, pc}) > r || std::max({pa, pb, pc}) < -r)
      {
        return false;
      }
    }
  }
  // The triangle's plane against the box.
  const Vec    n = Cross(edges[0], edges[1]);
  const double r = h[0] * std::abs(n.x) + h[1] * std::abs(n.y) + h[2] * std::abs(n.z);
  return std::abs(Dot(n, a)) <= r;
}

//! The point of the closed triangle (a, b, c) nearest to `p`, by classification against
//! the triangle's vertex, edge and face regions (Ericson, "Real-Time Collision Detection",
//! 2005, section 5.1.5).
inline Vec ClosestPointOnTriangle(const Vec& p, const Vec& a, const Vec& b, const Vec& c)
{
  const Vec    ab = b - a, ac = c - a, ap = p - a;
  const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0)
  {
    return a;
  }
  const Vec    bp = p - b;
  const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3)
  {
    return b;
  }
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0)
  {
    return a + (d1 / (d1 - d3)) * ab;
  }
  const Vec    cp = p - c;
  const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6)
  {
    return c;
  }
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0)
  {
    return a + (d2 / (d2 - d6)) * ac;
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0)
  {
    return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
  }
  const double sum = va + vb + vc;
  if (!(sum > 0.0))
  {
    return a; // degenerate triangle reached through rounding: any corner is as near
  }
  return a + (vb / sum) * ab + (vc / sum) * ac;
}

} // namespace SurfWrap_Geometry

#endif
