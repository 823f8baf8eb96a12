#include <MeshBuilders.hxx>

#include <algoMesh_Jacobian.hxx>

#include <Standard_OutOfRange.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quorin;

namespace
{
struct Outputs
{
  gp_XY       p0{-1, -1}, p1{-1, -1}, p2{-1, -1};
  math_Matrix J{1, 2, 1, 2, -7.0};
  double      det    = -7.0;
  double      scaled = -7.0;
};

bool Compute(const algoMesh_Jacobian& jacobian, const int index, const int corner, Outputs& o)
{
  return jacobian.Compute(index, corner, o.p0, o.p1, o.p2, o.J, o.det, o.scaled);
}
} // namespace

TEST(algoMesh_Jacobian, EquilateralCornerZero)
{
  const algoMesh_Jacobian jacobian(testmesh::Equilateral());
  Outputs                 o;
  ASSERT_TRUE(Compute(jacobian, 1, 0, o));
  const double h = std::sqrt(3.0) / 2.0;
  EXPECT_NEAR(0.0, (o.p0 - gp_XY(0, 0)).Modulus(), 1e-15);
  EXPECT_NEAR(0.0, (o.p1 - gp_XY(1, 0)).Modulus(), 1e-15);
  EXPECT_NEAR(0.0, (o.p2 - gp_XY(0.5, h)).Modulus(), 1e-15);
  EXPECT_NEAR(1.0, o.J(1, 1), 1e-15);
  EXPECT_NEAR(0.5, o.J(1, 2), 1e-15);
  EXPECT_EQ(0.0, o.J(2, 1));
  EXPECT_NEAR(h, o.J(2, 2), 1e-15);
  EXPECT_NEAR(h, o.det, 1e-15);
  EXPECT_NEAR(1.0, o.scaled, 1e-15);
}

TEST(algoMesh_Jacobian, EveryCornerHasTwiceTheAreaAsDeterminant)
{
  // The determinant is the same at all three corners (twice the area) on any triangle, and
  // the static corner-0 shortcut gives the same bits as the full computation.
  std::mt19937                           rng(3);
  std::uniform_real_distribution<double> coord(-5.0, 5.0);
  for (int trial = 0; trial < 50; ++trial)
  {
    const gp_Pnt a(coord(rng), coord(rng), coord(rng)), b(coord(rng), coord(rng), coord(rng)),
        c(coord(rng), coord(rng), coord(rng));
    const algoMesh_Jacobian jacobian(testmesh::Triangle(a, b, c));
    const double            area2 = ((b.XYZ() - a.XYZ()) ^ (c.XYZ() - a.XYZ())).Modulus();
    for (int corner = 0; corner < 3; ++corner)
    {
      Outputs o;
      ASSERT_TRUE(Compute(jacobian, 1, corner, o));
      EXPECT_NEAR(area2, o.det, 1e-9 * area2) << "corner " << corner;
      if (corner == 0)
      {
        double shortcut = 0.0;
        ASSERT_TRUE(algoMesh_Jacobian::ScaledJacobianAtCorner0(c.Distance(b), a.Distance(c),
                                                               b.Distance(a), shortcut));
        EXPECT_EQ(o.scaled, shortcut);
        EXPECT_GE(o.scaled, 0.0);
        EXPECT_LE(o.scaled, 1.0 + 1e-12);
      }
    }
  }
}

TEST(algoMesh_Jacobian, MatrixIsWrittenAtItsLowerBounds)
{
  const algoMesh_Jacobian jacobian(testmesh::Equilateral());
  Outputs                 o;
  math_Matrix             J(5, 6, -2, -1, 0.0);
  ASSERT_TRUE(jacobian.Compute(1, 2, o.p0, o.p1, o.p2, J, o.det, o.scaled));
  const double h = std::sqrt(3.0) / 2.0;
  // Corner 2: -x, c - x, -h, -h.
  EXPECT_NEAR(-0.5, J(5, -2), 1e-15);
  EXPECT_NEAR(0.5, J(5, -1), 1e-15);
  EXPECT_NEAR(-h, J(6, -2), 1e-15);
  EXPECT_NEAR(-h, J(6, -1), 1e-15);
}

TEST(algoMesh_Jacobian, RefusalsLeaveTheOutputsAlone)
{
  const algoMesh_Jacobian jacobian(testmesh::Equilateral());
  Outputs                 o;
  EXPECT_FALSE(Compute(jacobian, 1, 3, o)); // no such corner
  EXPECT_FALSE(Compute(jacobian, 1, -1, o));
  EXPECT_FALSE(Compute(jacobian, 0, 0, o)); // triangle indices start at 1
  EXPECT_FALSE(Compute(jacobian, 2, 0, o)); // one past the triangle count
  math_Matrix small(1, 1, 1, 2, -7.0);
  EXPECT_FALSE(jacobian.Compute(1, 0, o.p0, o.p1, o.p2, small, o.det, o.scaled));
  EXPECT_EQ(-7.0, small(1, 1));
  EXPECT_EQ(-7.0, o.J(1, 1));
  EXPECT_EQ(-7.0, o.det);
  EXPECT_EQ(-7.0, o.scaled);
  EXPECT_EQ(-1.0, o.p1.X());
  EXPECT_THROW(Compute(jacobian, -1, 0, o), Standard_OutOfRange);
}

TEST(algoMesh_Jacobian, DegenerateTrianglesAreRefused)
{
  Outputs o;
  // Two coincident nodes: an edge of length 0.
  EXPECT_FALSE(Compute(
      algoMesh_Jacobian(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0))), 1,
      0, o));
  EXPECT_EQ(-7.0, o.det);
  // Collinear nodes lie flat: height 0 (or refused when rounding makes it imaginary).
  if (Compute(algoMesh_Jacobian(
                  testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0.3, 0, 0))),
              1, 0, o))
  {
    EXPECT_NEAR(0.0, o.det, 1e-15);
  }
}
