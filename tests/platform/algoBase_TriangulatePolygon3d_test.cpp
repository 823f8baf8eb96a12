#include <algoBase_TriangulatePolygon3d.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace
{

//! Sum of the triangles' vector areas along the normal, compared with the polygon's own
//! area: a valid triangulation of a simple polygon covers it exactly once.
void expectCovers(const std::vector<gp_XYZ>& polygon, algoBase_TriangulatePolygon3d& algo)
{
  ASSERT_TRUE(algo.IsDone());
  const int n = static_cast<int>(polygon.size());
  ASSERT_EQ(n - 2, algo.NbTriangles());
  gp_XYZ polygonArea(0, 0, 0);
  for (int i = 0; i < n; ++i)
  {
    polygonArea += polygon[i].Crossed(polygon[(i + 1) % n]);
  }
  double absSum = 0.0;
  gp_XYZ sum(0, 0, 0);
  for (int k = 0; k < algo.NbTriangles(); ++k)
  {
    int a, b, c;
    algo.GetTriangleNodes(k, a, b, c);
    ASSERT_TRUE(a >= 0 && a < n && b >= 0 && b < n && c >= 0 && c < n);
    const gp_XYZ area = (polygon[b] - polygon[a]).Crossed(polygon[c] - polygon[a]);
    sum += area;
    absSum += area.Modulus();
  }
  // Same orientation, same area, and no triangle folded back (sum of |areas| = |sum|).
  EXPECT_NEAR(polygonArea.Modulus(), sum.Modulus(), 1e-9 * polygonArea.Modulus());
  EXPECT_GT(sum.Dot(polygonArea), 0.0);
  EXPECT_NEAR(absSum, sum.Modulus(), 1e-9 * absSum);
}

bool run(algoBase_TriangulatePolygon3d& algo, const std::vector<gp_XYZ>& polygon)
{
  algo.Clear();
  algo.SetPoints(polygon);
  return algo.Perform();
}

} // namespace

TEST(algoBase_TriangulatePolygon3d, TriangleIsKeptAsGiven)
{
  algoBase_TriangulatePolygon3d algo;
  ASSERT_TRUE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(1, 0, 0), gp_XYZ(0, 1, 0)}));
  int a, b, c;
  algo.GetTriangleNodes(0, a, b, c);
  EXPECT_EQ(1, algo.NbTriangles());
  EXPECT_EQ(0, a);
  EXPECT_EQ(1, b);
  EXPECT_EQ(2, c);
}

TEST(algoBase_TriangulatePolygon3d, ConcaveTiltedPolygonsAreCoveredOnce)
{
  // An L shape and a comb, rotated out of every coordinate plane.
  const std::vector<std::vector<std::pair<double, double>>> outlines = {
      {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}},
      {{0, 0},
       {5, 0},
       {5, 3},
       {4, 3},
       {4, 1},
       {3, 1},
       {3, 3},
       {2, 3},
       {2, 1},
       {1, 1},
       {1, 3},
       {0, 3}}};
  const gp_XYZ u = gp_XYZ(1, 2, 3).Normalized();
  const gp_XYZ v = u.Crossed(gp_XYZ(0, 0, 1)).Normalized();
  for (const auto& outline : outlines)
  {
    for (const bool reversed : {false, true})
    {
      std::vector<gp_XYZ> polygon;
      for (const auto& p : outline)
      {
        polygon.push_back(gp_XYZ(5, -1, 2) + u * p.first + v * p.second);
      }
      if (reversed)
      {
        std::reverse(polygon.begin(), polygon.end());
      }
      algoBase_TriangulatePolygon3d algo;
      ASSERT_TRUE(run(algo, polygon));
      expectCovers(polygon, algo);
    }
  }
}

TEST(algoBase_TriangulatePolygon3d, RandomStarPolygonsAreCoveredOnce)
{
  std::mt19937                           random(7);
  std::uniform_real_distribution<double> radius(0.2, 1.0);
  algoBase_TriangulatePolygon3d          algo; // reused across polygons
  for (int trial = 0; trial < 200; ++trial)
  {
    const int           n = 4 + trial % 30;
    std::vector<gp_XYZ> polygon;
    for (int i = 0; i < n; ++i)
    {
      const double angle = 2.0 * M_PI * i / n, r = radius(random);
      const double x = r * std::cos(angle), y = r * std::sin(angle);
      polygon.push_back(gp_XYZ(x, y, 0.3 * x - 0.2 * y)); // planar, tilted
    }
    ASSERT_TRUE(run(algo, polygon)) << "trial " << trial;
    expectCovers(polygon, algo);
  }
}

TEST(algoBase_TriangulatePolygon3d, NearlyDegenerateQuadsStillGiveTwoTriangles)
{
  algoBase_TriangulatePolygon3d algo;
  // A collinear corner in a quad, and a repeated corner.
  EXPECT_TRUE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(1, 0, 0), gp_XYZ(2, 0, 0), gp_XYZ(1, 1, 0)}));
  EXPECT_EQ(2, algo.NbTriangles());
  EXPECT_TRUE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(1, 0, 0), gp_XYZ(1, 0, 0), gp_XYZ(0, 1, 0)}));
  EXPECT_EQ(2, algo.NbTriangles());
}

TEST(algoBase_TriangulatePolygon3d, RejectsWhatHasNoPlane)
{
  algoBase_TriangulatePolygon3d algo;
  const double                  nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(run(algo, {}));
  EXPECT_FALSE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(1, 0, 0)}));
  EXPECT_FALSE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(1, 0, 0), gp_XYZ(2, 0, 0), gp_XYZ(3, 0, 0)}));
  EXPECT_FALSE(run(algo, {gp_XYZ(0, 0, 0), gp_XYZ(nan, 0, 0), gp_XYZ(0, 1, 0)}));
  EXPECT_FALSE(algo.IsDone());
  EXPECT_EQ(0, algo.NbTriangles());
}
