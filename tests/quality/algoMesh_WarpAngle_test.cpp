#include <algoMesh_WarpAngle.hxx>

#include <Standard_ConstructionError.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quorin;

TEST(algoMesh_WarpAngle, PlanarSquareHasNoWarp)
{
  double angle = -1.0;
  ASSERT_TRUE(algoMesh_WarpAngle().Compute(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 0),
                                           gp_Pnt(0, 1, 0), angle));
  EXPECT_EQ(0.0, angle);
}

TEST(algoMesh_WarpAngle, LiftedCornerOfUnitSquare)
{
  // All four heights are equal (about 0.0249378); the lifted corner lengthens only its own
  // two edges, so the shortest half edge stays 0.5.
  double angle = -1.0;
  ASSERT_TRUE(algoMesh_WarpAngle().Compute(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 0.1),
                                           gp_Pnt(0, 1, 0), angle));
  EXPECT_NEAR(2.85884, angle, 1e-5);
  // Normal (-0.0125, -0.0125, 0.25) through the centre (0.5, 0.5, 0.025).
  const double height = 0.00625 / std::sqrt(0.0628125);
  EXPECT_NEAR(0.0249378, height, 1e-7);
  EXPECT_NEAR(std::asin(height / 0.5) * 180.0 / M_PI, angle, 1e-12);
}

TEST(algoMesh_WarpAngle, DegenerateQuadrilateralsAreRefused)
{
  const algoMesh_WarpAngle warp;
  double                   angle = -1.0;
  // Two coincident consecutive corners: the midpoint tests pass, the half-edge test fails.
  EXPECT_FALSE(
      warp.Compute(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 0), gp_Pnt(1, 1, 0), gp_Pnt(0, 1, 0), angle));
  // All corners in one point: the midpoints sit at the centre.
  EXPECT_FALSE(
      warp.Compute(gp_Pnt(1, 1, 1), gp_Pnt(1, 1, 1), gp_Pnt(1, 1, 1), gp_Pnt(1, 1, 1), angle));
  EXPECT_EQ(-1.0, angle);
  // Collinear corners: the midpoint directions are parallel, the plane has no normal.
  EXPECT_THROW(
      warp.Compute(gp_Pnt(0, 0, 0), gp_Pnt(2, 0, 0), gp_Pnt(4, 0, 0), gp_Pnt(1, 0, 0), angle),
      Standard_ConstructionError);
}

TEST(algoMesh_WarpAngle, RandomQuadrilateralsStayWithinARightAngle)
{
  // Every corner lies at the same height from the mean plane, never above its half edge,
  // so even strongly folded quadrilaterals give an angle in [0, 90].
  std::mt19937                           rng(11);
  std::uniform_real_distribution<double> coord(-1.0, 1.0);
  const algoMesh_WarpAngle               warp;
  for (int trial = 0; trial < 2000; ++trial)
  {
    gp_Pnt p[4];
    for (gp_Pnt& point : p)
    {
      point.SetCoord(coord(rng), coord(rng), 4.0 * coord(rng));
    }
    double angle = -1.0;
    ASSERT_TRUE(warp.Compute(p[0], p[1], p[2], p[3], angle));
    EXPECT_GE(angle, 0.0);
    EXPECT_LE(angle, 90.0);
  }
  double angle = -1.0;
  EXPECT_FALSE(warp.Compute(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, std::nan("")),
                            gp_Pnt(0, 1, 0), angle));
  EXPECT_EQ(-1.0, angle);
}
