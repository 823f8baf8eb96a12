#include <algoMesh_PointSeparation.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using quorin::algoMesh_PointSeparation;

namespace
{
// Nodes only (one triangle over the first three, which the test ignores).
Handle(Poly_Triangulation) cloud(const std::vector<gp_Pnt>& points)
{
  return testmesh::Make(points, {{1, 2, 3}});
}

// A 20 x 20 x 5 lattice of unit spacing with a slight shear, so that no coordinate repeats.
std::vector<gp_Pnt> lattice()
{
  std::vector<gp_Pnt> points;
  for (int k = 0; k < 5; ++k)
  {
    for (int j = 0; j < 20; ++j)
    {
      for (int i = 0; i < 20; ++i)
      {
        points.emplace_back(i + 0.01 * j, j + 0.01 * k, k + 0.01 * i);
      }
    }
  }
  return points;
}
} // namespace

TEST(algoMesh_PointSeparation, CloseNodeFoundInEveryDirection)
{
  // The lattice is separated at 0.5 and not at 1.02 (its spacing along x is 1, and the
  // shear changes the other coordinates by 0.01 only).
  std::vector<gp_Pnt> points = lattice();
  EXPECT_TRUE(algoMesh_PointSeparation::IsSeparated(cloud(points), nullptr, 0.5));
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(points), nullptr, 1.02));

  // One extra node near a lattice node, on each of the 26 sides, is found whatever the
  // sort order of their cells; half as far again, it is not close.
  const double d    = 1e-3;
  const gp_Pnt base = points[2 * 400 + 7 * 20 + 11];
  const gp_Pnt edge = points[0]; // on the box's corner: neighbours outside the lattice
  for (const gp_Pnt& at : {base, edge})
  {
    for (int dz = -1; dz <= 1; ++dz)
    {
      for (int dy = -1; dy <= 1; ++dy)
      {
        for (int dx = -1; dx <= 1; ++dx)
        {
          if (dx == 0 && dy == 0 && dz == 0)
          {
            continue;
          }
          std::vector<gp_Pnt> close = points;
          close.push_back(at.Translated(gp_Vec(dx, dy, dz) * (0.9 * d)));
          EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(close), nullptr, d))
              << dx << " " << dy << " " << dz;
          std::vector<gp_Pnt> apart = points;
          apart.push_back(at.Translated(gp_Vec(dx, dy, dz) * (1.5 * d)));
          EXPECT_TRUE(algoMesh_PointSeparation::IsSeparated(cloud(apart), nullptr, d))
              << dx << " " << dy << " " << dz;
        }
      }
    }
  }
  // An exact duplicate, placed first in the input order.
  points.insert(points.begin(), points.back());
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(points), nullptr, 1e-7));
}

TEST(algoMesh_PointSeparation, PlacementAndUndecidableInput)
{
  // Nodes 1e-3 apart: separated at 1e-4, but not once a placement shrinks them twentyfold.
  std::vector<gp_Pnt> points;
  for (int i = 0; i < 100; ++i)
  {
    points.emplace_back(1e-3 * i, 0.5, 0.0);
  }
  gp_Trsf shrink;
  shrink.SetScale(gp_Pnt(0, 0, 0), 0.05);
  EXPECT_TRUE(algoMesh_PointSeparation::IsSeparated(cloud(points), nullptr, 1e-4));
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(points), &shrink, 1e-4));

  // A non-finite coordinate, or a distance that is not positive: not known to be apart.
  std::vector<gp_Pnt> bad = points;
  bad.back().SetY(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(bad), nullptr, 1e-4));
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(points), nullptr, 0.0));

  // One far node makes the cells coarse enough to hold every other node in one
  // neighbourhood: the test stops after its budget of comparisons instead of comparing
  // every pair, and answers false.
  std::vector<gp_Pnt> crowded;
  for (int i = 0; i < 20000; ++i)
  {
    crowded.emplace_back(1e-3 * (i % 200), 1e-3 * (i / 200), 0.0);
  }
  crowded.emplace_back(1e12, 0.0, 0.0);
  EXPECT_FALSE(algoMesh_PointSeparation::IsSeparated(cloud(crowded), nullptr, 1e-7));

  // Fewer than two nodes are always apart.
  EXPECT_TRUE(algoMesh_PointSeparation::IsSeparated(Handle(Poly_Triangulation)(), nullptr, 1.0));
}
