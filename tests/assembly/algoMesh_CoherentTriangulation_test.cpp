#include <algoMesh_CoherentTriangulation.hxx>

#include <MeshBuilders.hxx>

#include <Standard_OutOfRange.hxx>

#include <gtest/gtest.h>

using quorin::algoMesh_CoherentTriangulation;

namespace
{
// Ten nodes on a line-free layout; 1-based triangle (5, 8, 10) is 0-based (4, 7, 9).
Handle(Poly_Triangulation) tenNodes(const std::vector<std::array<int, 3>>& triangles)
{
  std::vector<gp_Pnt> nodes;
  for (int i = 0; i < 10; ++i)
  {
    nodes.emplace_back(i, (i * i) % 7, (i * 3) % 5);
  }
  return testmesh::Make(nodes, triangles);
}
} // namespace

TEST(algoMesh_CoherentTriangulation, FindsRotationsWithTheirOrientation)
{
  Handle(algoMesh_CoherentTriangulation) mesh =
      new algoMesh_CoherentTriangulation(tenNodes({{1, 2, 3}, {5, 8, 10}}), nullptr);
  int  triangle = -1;
  bool same     = false;
  ASSERT_TRUE(mesh->FindTriangle(7, 9, 4, triangle, same));
  EXPECT_EQ(1, triangle);
  EXPECT_TRUE(same);
  ASSERT_TRUE(mesh->FindTriangle(9, 7, 4, triangle, same));
  EXPECT_EQ(1, triangle);
  EXPECT_FALSE(same);

  // Unknown triple and an index equal to the node count: false, outputs untouched.
  triangle = -5;
  EXPECT_FALSE(mesh->FindTriangle(0, 1, 3, triangle, same));
  EXPECT_FALSE(mesh->FindTriangle(4, 7, 10, triangle, same));
  EXPECT_FALSE(mesh->FindTriangle(-1, 7, 9, triangle, same));
  EXPECT_EQ(-5, triangle);
}

TEST(algoMesh_CoherentTriangulation, LowerSlotWinsAndRemovedSlotsNeverMatch)
{
  Handle(algoMesh_CoherentTriangulation) mesh =
      new algoMesh_CoherentTriangulation(tenNodes({{1, 2, 3}, {5, 8, 10}, {8, 10, 5}}));
  int  triangle = -1;
  bool same     = false;
  ASSERT_TRUE(mesh->FindTriangle(4, 7, 9, triangle, same));
  EXPECT_EQ(1, triangle);

  // Removing slot 1 leaves slot 2 as the match; removing it too leaves none.
  mesh->RemoveTriangle(const_cast<Poly_CoherentTriangle&>(mesh->Triangle(1)));
  ASSERT_TRUE(mesh->FindTriangle(4, 7, 9, triangle, same));
  EXPECT_EQ(2, triangle);
  mesh->RemoveTriangle(const_cast<Poly_CoherentTriangle&>(mesh->Triangle(2)));
  EXPECT_FALSE(mesh->FindTriangle(4, 7, 9, triangle, same));
  EXPECT_TRUE(mesh->FindTriangle(0, 1, 2, triangle, same));
}

TEST(algoMesh_CoherentTriangulation, LinkNodesNeedComputedLinks)
{
  Handle(algoMesh_CoherentTriangulation) mesh =
      new algoMesh_CoherentTriangulation(testmesh::Tetra());
  int n1 = -7, n2 = -7;
  EXPECT_FALSE(mesh->LinkNodes(0, n1, n2));
  EXPECT_EQ(-7, n1);

  ASSERT_EQ(6, mesh->ComputeLinks());
  for (int link = 0; link < 6; ++link)
  {
    ASSERT_TRUE(mesh->LinkNodes(link, n1, n2));
    EXPECT_NE(n1, n2);
    EXPECT_TRUE(n1 >= 0 && n1 < 4 && n2 >= 0 && n2 < 4);
  }
  EXPECT_FALSE(mesh->LinkNodes(6, n1, n2));
  EXPECT_THROW(mesh->LinkNodes(-1, n1, n2), Standard_OutOfRange);

  // An empty structure answers false for everything.
  Handle(algoMesh_CoherentTriangulation) empty = new algoMesh_CoherentTriangulation();
  int  triangle                                = 0;
  bool same                                    = false;
  EXPECT_FALSE(empty->FindTriangle(0, 0, 0, triangle, same));
  EXPECT_FALSE(empty->LinkNodes(0, n1, n2));
}
