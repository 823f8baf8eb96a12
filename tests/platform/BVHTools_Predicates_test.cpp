// Exact orientation predicates and the triangle tests built on them.
#include <BVHTools_Predicates.hxx>
#include <BVHTools_TriangleTests.hxx>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace
{

using BVHTools::TriangleCorners;

struct Tri
{
  double          c[9];
  TriangleCorners Corners() const { return {{c, c + 3, c + 6}}; }
};

Tri tri(double ax,
        double ay,
        double az,
        double bx,
        double by,
        double bz,
        double cx,
        double cy,
        double cz)
{
  return Tri{{ax, ay, az, bx, by, bz, cx, cy, cz}};
}

} // namespace

TEST(BVHTools_Predicates, SignsFollowTheNormal)
{
  const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
  const double above[3] = {0.2, 0.2, 1}, below[3] = {0.2, 0.2, -1}, on[3] = {5, -3, 0};
  EXPECT_EQ(BVHTools::Orient3d(a, b, c, above), 1);
  EXPECT_EQ(BVHTools::Orient3d(a, b, c, below), -1);
  EXPECT_EQ(BVHTools::Orient3d(a, b, c, on), 0);
  EXPECT_EQ(BVHTools::Orient2d(a, b, c, 0, 1), 1);
  EXPECT_EQ(BVHTools::Orient2d(a, c, b, 0, 1), -1);
}

TEST(BVHTools_Predicates, OneUlpOffTheLineOrPlaneIsSeen)
{
  // Rounded arithmetic gets these wrong; the exact path must not.
  const double a[3] = {0.5, 0.5, 0}, b[3] = {12, 12, 0};
  double       c[3] = {24, 24, 0};
  EXPECT_EQ(BVHTools::Orient2d(a, b, c, 0, 1), 0);
  c[1] = std::nextafter(24.0, 100.0);
  EXPECT_EQ(BVHTools::Orient2d(a, b, c, 0, 1), 1);
  c[1] = std::nextafter(24.0, 0.0);
  EXPECT_EQ(BVHTools::Orient2d(a, b, c, 0, 1), -1);

  // A plane through non-representable-looking but exact points, and one ulp off it.
  const double p[3] = {0.1, 0.2, 0.3}, q[3] = {1.1, 0.2, 0.3}, r[3] = {0.1, 1.2, 0.3};
  double       d[3] = {7.7, -3.3, 0.3};
  EXPECT_EQ(BVHTools::Orient3d(p, q, r, d), 0);
  d[2] = std::nextafter(0.3, 1.0);
  EXPECT_EQ(BVHTools::Orient3d(p, q, r, d), 1);
  d[2] = std::nextafter(0.3, 0.0);
  EXPECT_EQ(BVHTools::Orient3d(p, q, r, d), -1);
}

TEST(BVHTools_Predicates, Orient3dAgreesWithTheDeterminantAwayFromZero)
{
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> coord(-10.0, 10.0);
  for (int k = 0; k < 2000; ++k)
  {
    double p[4][3];
    for (auto& point : p)
      for (double& x : point)
        x = coord(random);
    const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    const double w[3] = {p[3][0] - p[0][0], p[3][1] - p[0][1], p[3][2] - p[0][2]};
    const double det  = (u[1] * v[2] - u[2] * v[1]) * w[0] + (u[2] * v[0] - u[0] * v[2]) * w[1] +
                       (u[0] * v[1] - u[1] * v[0]) * w[2];
    if (std::fabs(det) > 1e-6)
    {
      EXPECT_EQ(BVHTools::Orient3d(p[0], p[1], p[2], p[3]), det > 0 ? 1 : -1);
    }
  }
}

TEST(BVHTools_TriangleTests, CrossingTouchingAndApartTriangles)
{
  const Tri flat = tri(0, 0, 0, 4, 0, 0, 0, 4, 0);
  // Pierces the interior of `flat`.
  EXPECT_TRUE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(1, 1, -1, 1, 1, 1, 2, 1, 0).Corners()));
  // Touches it with one corner only: contact counts.
  EXPECT_TRUE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(1, 1, 0, 1, 2, 1, 2, 1, 1).Corners()));
  // Parallel, just above.
  EXPECT_FALSE(BVHTools::TrianglesIntersect(
      flat.Corners(), tri(0, 0, 1e-300, 4, 0, 1e-300, 0, 4, 1e-300).Corners()));
  // Crosses the plane outside the triangle.
  EXPECT_FALSE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(3, 3, -1, 3, 3, 1, 4, 4, 0).Corners()));
  // Coplanar: overlapping, nested, apart, touching at a corner.
  EXPECT_TRUE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(1, 1, 0, 5, 1, 0, 1, 5, 0).Corners()));
  EXPECT_TRUE(BVHTools::TrianglesIntersect(flat.Corners(),
                                           tri(0.5, 0.5, 0, 1, 0.5, 0, 0.5, 1, 0).Corners()));
  EXPECT_FALSE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(3, 3, 0, 5, 3, 0, 3, 5, 0).Corners()));
  EXPECT_TRUE(
      BVHTools::TrianglesIntersect(flat.Corners(), tri(4, 0, 0, 5, 0, 0, 5, 1, 0).Corners()));
}

TEST(BVHTools_TriangleTests, NeighboursMeetingOnlyAtSharedNodesDoNotIntersect)
{
  // The base triangle is on nodes 1, 2, 3 at (0,0,0), (1,0,0), (0,1,0).
  const Tri  base       = tri(0, 0, 0, 1, 0, 0, 0, 1, 0);
  const int  baseIds[3] = {1, 2, 3};
  const auto meets      = [&](const Tri& other, const std::array<int, 3>& ids)
  { return BVHTools::NeighboursIntersect(base.Corners(), baseIds, other.Corners(), ids.data()); };
  // Shared edge, hinged out of the plane, or unfolded in the plane: no.
  EXPECT_FALSE(meets(tri(1, 0, 0, 0, 0, 0, 0.3, 0.2, 1), {2, 1, 4}));
  EXPECT_FALSE(meets(tri(1, 0, 0, 0, 0, 0, 0.5, -1, 0), {2, 1, 4}));
  // Shared edge, folded flat onto the base: yes.
  EXPECT_TRUE(meets(tri(1, 0, 0, 0, 0, 0, 0.5, 0.2, 0), {2, 1, 4}));
  // Shared node only: no. Shared node and crossing the interior: yes.
  EXPECT_FALSE(meets(tri(0, 0, 0, -1, 0, 1, -1, -1, 0), {1, 4, 5}));
  EXPECT_TRUE(meets(tri(0, 0, 0, 0.4, 0.4, -1, 0.4, 0.4, 1), {1, 4, 5}));
  // Shared node, coplanar, overlapping wedges: yes.
  EXPECT_TRUE(meets(tri(0, 0, 0, 2, 1, 0, 1, 2, 0), {1, 4, 5}));
  // Same three nodes: yes.
  EXPECT_TRUE(meets(tri(0, 1, 0, 0, 0, 0, 1, 0, 0), {3, 1, 2}));
  // A distinct node at the position of node 1 is a contact.
  EXPECT_TRUE(meets(tri(0, 0, 0, -1, 0, 1, -1, -1, 0), {6, 4, 5}));
}

TEST(BVHTools_TriangleTests, DegeneracyIsExact)
{
  EXPECT_TRUE(BVHTools::IsDegenerate(tri(0, 0, 0, 1, 1, 1, 3, 3, 3).Corners()));
  EXPECT_TRUE(BVHTools::IsDegenerate(tri(1, 2, 3, 1, 2, 3, 1, 2, 3).Corners()));
  EXPECT_FALSE(
      BVHTools::IsDegenerate(tri(0, 0, 0, 1, 1, 1, 3, 3, std::nextafter(3.0, 4.0)).Corners()));
}

// Independent floating-point route for triangles in general position: a triangle pair
// meets when an edge of one passes through the other, found by line-plane intersection
// and barycentric coordinates. Cases too close to a boundary to trust it are skipped.
namespace
{

enum class Floating
{
  No,
  Yes,
  Unsure
};

Floating edgeHitsTriangle(const double* a, const double* b, const double* t)
{
  const double* p = t;
  double        u[3], v[3], n[3], d[3];
  for (int k = 0; k < 3; ++k)
  {
    u[k] = t[3 + k] - p[k];
    v[k] = t[6 + k] - p[k];
    d[k] = b[k] - a[k];
  }
  n[0]             = u[1] * v[2] - u[2] * v[1];
  n[1]             = u[2] * v[0] - u[0] * v[2];
  n[2]             = u[0] * v[1] - u[1] * v[0];
  const double den = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
  if (std::fabs(den) < 1e-9)
  {
    return Floating::Unsure;
  }
  const double s = (n[0] * (p[0] - a[0]) + n[1] * (p[1] - a[1]) + n[2] * (p[2] - a[2])) / den;
  if (std::fabs(s) < 1e-9 || std::fabs(s - 1) < 1e-9)
  {
    return Floating::Unsure;
  }
  if (s < 0 || s > 1)
  {
    return Floating::No;
  }
  double x[3];
  for (int k = 0; k < 3; ++k)
    x[k] = a[k] + s * d[k] - p[k];
  // Solve x = alpha u + beta v in the least-squares sense.
  const double uu         = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
  const double uv         = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
  const double vv         = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  const double xu         = x[0] * u[0] + x[1] * u[1] + x[2] * u[2];
  const double xv         = x[0] * v[0] + x[1] * v[1] + x[2] * v[2];
  const double dt         = uu * vv - uv * uv;
  const double al         = (xu * vv - xv * uv) / dt;
  const double be         = (xv * uu - xu * uv) / dt;
  const double margins[3] = {al, be, 1 - al - be};
  for (const double m : margins)
  {
    if (std::fabs(m) < 1e-9)
      return Floating::Unsure;
  }
  return al > 0 && be > 0 && al + be < 1 ? Floating::Yes : Floating::No;
}

} // namespace

TEST(BVHTools_TriangleTests, AgreesWithAFloatingPointRouteInGeneralPosition)
{
  std::mt19937                           random(11);
  std::uniform_real_distribution<double> coord(0.0, 1.0);
  int                                    nbChecked = 0, nbMeeting = 0;
  for (int k = 0; k < 5000; ++k)
  {
    Tri t1, t2;
    for (double& x : t1.c)
      x = coord(random);
    for (double& x : t2.c)
      x = coord(random);
    bool unsure  = false;
    bool meeting = false;
    for (int e = 0; e < 3 && !unsure; ++e)
    {
      const Floating h1 = edgeHitsTriangle(t1.c + 3 * e, t1.c + 3 * ((e + 1) % 3), t2.c);
      const Floating h2 = edgeHitsTriangle(t2.c + 3 * e, t2.c + 3 * ((e + 1) % 3), t1.c);
      unsure            = h1 == Floating::Unsure || h2 == Floating::Unsure;
      meeting           = meeting || h1 == Floating::Yes || h2 == Floating::Yes;
    }
    if (unsure)
      continue;
    ++nbChecked;
    nbMeeting += meeting ? 1 : 0;
    ASSERT_EQ(BVHTools::TrianglesIntersect(t1.Corners(), t2.Corners()), meeting) << "case " << k;
    ASSERT_EQ(BVHTools::TrianglesIntersect(t2.Corners(), t1.Corners()), meeting) << "case " << k;
  }
  EXPECT_GT(nbChecked, 4000);
  EXPECT_GT(nbMeeting, 500); // both answers are well represented
}
