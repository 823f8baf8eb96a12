#include <MeshBuilders.hxx>

#include <algoMesh_FuncOBB.hxx>
#include <algoMesh_UtilsOBB.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

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

TEST(algoMesh_FuncOBB, SkippingClustersGivesTheFullScanValue)
{
  // Thousands of uneven nodes (a dense patch, a sparse shell, a few outliers), visited at
  // random angles in an order that jumps about, as the minimiser's starts do: every value
  // must equal the objective computed from every node.
  std::mt19937                           random(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Handle(Poly_Triangulation) nodes = new Poly_Triangulation(4000, 1, false);
  for (int i = 1; i <= 4000; ++i)
  {
    gp_XYZ p(unit(random), unit(random), unit(random));
    if (i % 3 == 0)
    {
      p = p.Normalized() * 2.0; // shell
    }
    else if (i % 3 == 1)
    {
      p = gp_XYZ(0.3, 0.1, -0.2) + 0.01 * p; // patch
    }
    if (i % 997 == 0)
    {
      p *= 5.0;
    }
    nodes->SetNode(i, gp_Pnt(p));
  }
  nodes->SetTriangle(1, Poly_Triangle(1, 2, 3));
  const gp_Ax3     initial(gp_Pnt(0.1, -0.2, 0.3), gp_Dir(1, 1, 1), gp_Dir(1, -1, 0));
  algoMesh_FuncOBB func(initial, nodes);
  for (int trial = 0; trial < 300; ++trial)
  {
    const math_Vector X     = Angles(3 * unit(random), 3 * unit(random), 3 * unit(random));
    double            value = 0.0;
    func.Value(X, value);

    gp_Ax3 A;
    func.Rotate(X, A);
    gp_Pnt lo, hi;
    algoMesh_UtilsOBB::BuildCorners(A, nodes, lo, hi);
    const gp_XYZ axes[3] = {A.XDirection().XYZ(), A.YDirection().XYZ(), A.Direction().XYZ()};
    double       depths  = 1.0;
    for (int k = 0; k < 3; ++k)
    {
      double deepest = 0.0;
      for (int i = 1; i <= nodes->NbNodes(); ++i)
      {
        const double l = (nodes->Node(i).XYZ() - A.Location().XYZ()).Dot(axes[k]);
        deepest        = std::max(deepest, std::min(l - lo.Coord(k + 1), hi.Coord(k + 1) - l));
      }
      depths *= deepest;
    }
    const gp_XYZ extents = hi.XYZ() - lo.XYZ();
    const double full = (extents.X() * extents.Y() * extents.Z() + depths) / func.ReferenceVolume();
    ASSERT_NEAR(full, value, 1e-13 * full) << trial;
  }
}
