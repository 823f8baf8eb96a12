#include <MeshBuilders.hxx>

#include <algoMesh_FuncOBB.hxx>

#include <gtest/gtest.h>

#include <cmath>

using namespace quorin;

namespace
{
math_Vector Angles(const double a1, const double a2, const double a3)
{
  math_Vector X(1, 3);
  X(1) = a1;
  X(2) = a2;
  X(3) = a3;
  return X;
}
} // namespace

TEST(algoMesh_FuncOBB, AlignedCubeIsOneAndQuarterTurnsKeepIt)
{
  algoMesh_FuncOBB func(gp_Ax3(), testmesh::Cube());
  EXPECT_EQ(3, func.NbVariables());
  EXPECT_NEAR(1.0, func.ReferenceVolume(), 1e-15);
  for (const math_Vector& X : {Angles(0, 0, 0), Angles(M_PI / 2, 0, 0), Angles(0, M_PI, M_PI / 2)})
  {
    double F = 0.0;
    EXPECT_TRUE(func.Value(X, F));
    EXPECT_NEAR(1.0, F, 1e-12);
  }
  // Half a quarter turn about Z widens the box by sqrt(2) on two axes: 2 plus the depth
  // term, the corners in the middle of the wider faces lying sqrt(2)/2 deep on those two
  // axes but touching a face on the third.
  double F = 0.0;
  func.Value(Angles(0, 0, M_PI / 4), F);
  EXPECT_NEAR(2.0, F, 1e-12);
}

TEST(algoMesh_FuncOBB, TurnsAreAboutTheInitialAxes)
{
  // A quarter turn about X then one about the initial Y; about the turned Y (the initial
  // Z) the second turn would send X to +Y instead.
  const gp_Ax3     initial(gp_Pnt(1, 2, 3), gp::DZ(), gp::DX());
  algoMesh_FuncOBB func(initial, testmesh::Cube());
  gp_Ax3           A;
  func.Rotate(Angles(M_PI / 2, M_PI / 2, 0), A);
  // About X: Y -> Z, Z -> -Y. Then about the initial Y: X -> -Z, Z -> X, -Y stays.
  EXPECT_TRUE(A.XDirection().IsEqual(-gp::DZ(), 1e-12));
  EXPECT_TRUE(A.YDirection().IsEqual(gp::DX(), 1e-12));
  EXPECT_TRUE(A.Direction().IsEqual(-gp::DY(), 1e-12));
  EXPECT_TRUE(A.Location().IsEqual(gp_Pnt(1, 2, 3), 0.0));
}
