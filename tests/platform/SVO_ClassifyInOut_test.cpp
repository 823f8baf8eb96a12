// Octree voxelization and inside/outside classification against known volumes.
#include <Algo_VoxelizationMinSize.hxx>
#include <SVO_ClassifyInOut.hxx>
#include <SVO_Depth_Iterator.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <cmath>

namespace
{

struct Volumes
{
  double inside = 0.0, surface = 0.0;
  int    nbNodes = 0;
};

Volumes
classify(const Handle(Poly_Triangulation) & mesh, const double minSize, const int nbThreads = 2)
{
  Algo_VoxelizationMinSize voxelization(mesh, nullptr);
  voxelization.SetNbThreads(nbThreads);
  voxelization.SetMinVoxelSize(minSize);
  EXPECT_TRUE(voxelization.Perform());
  const Handle(SVO_Tree)& tree = voxelization.Tree();
  EXPECT_TRUE(SVO_ClassifyInOut(tree).Perform());
  Volumes volumes;
  for (SVO_Depth_Iterator it(tree); it.More(); it.Next())
  {
    ++volumes.nbNodes;
    const int node = it.Current();
    if (!tree->IsLeaf(node))
    {
      continue;
    }
    EXPECT_NE(tree->Class(node), SVO_Unclassified);
    if (tree->Class(node) == SVO_Inside)
    {
      volumes.inside += tree->Volume(node);
    }
    else if (tree->Class(node) == SVO_OnSurface)
    {
      EXPECT_GE(tree->Size(node), minSize);
      EXPECT_LT(tree->Size(node), 2.0 * minSize);
      volumes.surface += tree->Volume(node);
    }
  }
  EXPECT_EQ(volumes.nbNodes, tree->NbNodes()); // the walk visits every node once
  return volumes;
}

} // namespace

TEST(SVO_ClassifyInOut, VoxelVolumesBracketTheTrueVolumeAndConverge)
{
  const double PI = M_PI;
  struct Case
  {
    Handle(Poly_Triangulation) mesh;
    double volume;
  };
  // Polyhedral volumes: the inscribed meshes are a little smaller than the smooth solids.
  const Handle(Poly_Triangulation) sphere = testmesh::Sphere(1.0, 96, 48);
  const Handle(Poly_Triangulation) torus  = testmesh::Torus(2.0, 0.5, 128, 48);
  for (const Case& c :
       {Case{sphere, testmesh::SignedVolume(sphere)}, Case{torus, testmesh::SignedVolume(torus)}})
  {
    ASSERT_GT(c.volume, 0.0);
    double previousGap = 1e300;
    for (const double size : {0.2, 0.1, 0.05, 0.025})
    {
      const Volumes v = classify(c.mesh, size);
      // Inside voxels lie in the solid; the solid lies in the inside and surface voxels.
      EXPECT_LE(v.inside, c.volume);
      EXPECT_GE(v.inside + v.surface, c.volume);
      const double gap = v.surface / c.volume;
      EXPECT_LT(gap, previousGap);
      previousGap = gap;
    }
    EXPECT_LT(previousGap, 0.2);
  }
  EXPECT_NEAR(testmesh::SignedVolume(sphere), 4.0 / 3.0 * PI, 0.02 * 4.0 / 3.0 * PI);
}

TEST(SVO_ClassifyInOut, OpenSurfaceHasNoInsideButAClosedOneDoes)
{
  EXPECT_EQ(classify(testmesh::OpenBox(), 0.05).inside, 0.0);
  EXPECT_GT(classify(testmesh::Cube(), 0.05).inside, 0.7);
}

TEST(SVO_ClassifyInOut, OneAndManyThreadsGiveTheSameTree)
{
  const Handle(Poly_Triangulation) torus = testmesh::Torus(2.0, 0.5, 64, 24);
  const Volumes one = classify(torus, 0.05, 1), many = classify(torus, 0.05, 4);
  EXPECT_EQ(one.nbNodes, many.nbNodes);
  EXPECT_DOUBLE_EQ(one.inside, many.inside);
  EXPECT_DOUBLE_EQ(one.surface, many.surface);
}

TEST(SVO_ClassifyInOut, BadInputIsRefused)
{
  Algo_VoxelizationMinSize empty(new Poly_Triangulation(), nullptr);
  empty.SetMinVoxelSize(0.1);
  EXPECT_FALSE(empty.Perform()); // no triangle
  Algo_VoxelizationMinSize zero(testmesh::Cube(), nullptr);
  zero.SetMinVoxelSize(0.0);
  EXPECT_FALSE(zero.Perform());
  zero.SetMinVoxelSize(std::nan(""));
  EXPECT_FALSE(zero.Perform());
  EXPECT_TRUE(zero.Tree().IsNull());
  EXPECT_FALSE(SVO_ClassifyInOut(nullptr).Perform());
}
