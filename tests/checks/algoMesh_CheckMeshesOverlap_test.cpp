// Volume overlap of two closed meshes.
#include <algoMesh_CheckMeshesOverlap.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

using quorin::algoMesh_CheckMeshesOverlap;

namespace
{

Handle(Poly_Triangulation) scaled(const Handle(Poly_Triangulation) & mesh, const double factor)
{
  Handle(Poly_Triangulation) copy = testmesh::Combine(mesh, new Poly_Triangulation());
  for (int n = 1; n <= copy->NbNodes(); ++n)
  {
    copy->SetNode(n, gp_Pnt(copy->Node(n).XYZ() * factor));
  }
  return copy;
}

double overlap(const Handle(Poly_Triangulation) & a,
               const Handle(Poly_Triangulation) & b,
               const double ratio = 0.01)
{
  Handle(algoMesh_CheckMeshesOverlap) check = new algoMesh_CheckMeshesOverlap(ratio);
  check->ChangeParallelOptions().SetNbThreads(2);
  EXPECT_TRUE(check->Perform(a, b));
  return check->OverlapRatio();
}

} // namespace

TEST(algoMesh_CheckMeshesOverlap, RatioFollowsTheSharedVolume)
{
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 48, 24);
  EXPECT_NEAR(overlap(sphere, sphere), 1.0, 1e-12); // the same voxels
  EXPECT_EQ(overlap(sphere, testmesh::Combine(new Poly_Triangulation(), sphere, gp_Vec(5, 0, 0))),
            0.0);

  // Cube in a cube of twice the edge: 1/8 within the voxel resolution, closer when finer.
  const Handle(Poly_Triangulation) big = scaled(testmesh::Cube(), 2.0);
  const double coarse                  = overlap(testmesh::Cube(), big, 0.02);
  const double fine                    = overlap(testmesh::Cube(), big, 0.005);
  EXPECT_NEAR(coarse, 0.125, 0.03);
  EXPECT_NEAR(fine, 0.125, 0.01);
  EXPECT_LT(std::abs(fine - 0.125), std::abs(coarse - 0.125));

  // Two half-overlapping unit cubes: the shared slab is half of either.
  EXPECT_NEAR(
      overlap(testmesh::Cube(),
              testmesh::Combine(new Poly_Triangulation(), testmesh::Cube(), gp_Vec(0.5, 0, 0)),
              0.005),
      0.5, 0.03);
}

TEST(algoMesh_CheckMeshesOverlap, OpenOrEmptyMeshFails)
{
  for (const Handle(Poly_Triangulation) & bad :
       {testmesh::OpenBox(), Handle(Poly_Triangulation)(),
        Handle(Poly_Triangulation)(new Poly_Triangulation())})
  {
    for (const bool isFirst : {true, false})
    {
      Handle(algoMesh_CheckMeshesOverlap) check = new algoMesh_CheckMeshesOverlap(0.02);
      EXPECT_FALSE(isFirst ? check->Perform(bad, testmesh::Cube())
                           : check->Perform(testmesh::Cube(), bad));
      EXPECT_EQ(check->OverlapRatio(), -1.0);
    }
  }
  Handle(algoMesh_CheckMeshesOverlap) zero = new algoMesh_CheckMeshesOverlap(0.0);
  EXPECT_FALSE(zero->Perform(testmesh::Cube(), testmesh::Cube()));
  EXPECT_EQ(zero->OverlapRatio(), -1.0);
}

TEST(algoMesh_CheckMeshesOverlap, LaterPerformReusesTheTrees)
{
  const Handle(Poly_Triangulation) sphere   = testmesh::Sphere(1.0, 32, 16);
  Handle(algoMesh_CheckMeshesOverlap) check = new algoMesh_CheckMeshesOverlap(0.02);

  // The second side fails first; the first side's tree is kept and not rebuilt.
  EXPECT_FALSE(check->Perform(sphere, Handle(Poly_Triangulation)()));
  const Handle(SVO_Tree) first = check->FirstTree();
  ASSERT_FALSE(first.IsNull());
  EXPECT_TRUE(check->SecondTree().IsNull());
  ASSERT_TRUE(check->Perform(Handle(Poly_Triangulation)(), sphere));
  EXPECT_EQ(check->FirstTree(), first);
  EXPECT_NEAR(check->OverlapRatio(), 1.0, 1e-12);

  // Other meshes now: the ratio of the first pair.
  ASSERT_TRUE(check->Perform(testmesh::Cube(), testmesh::Tetra()));
  EXPECT_NEAR(check->OverlapRatio(), 1.0, 1e-12);
}
