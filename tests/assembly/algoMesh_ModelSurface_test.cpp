// Surface of data model meshes: surface elements win over volumes, faces shared by two
// volumes disappear, every volume kind gives a closed outward surface, and nodes are
// renumbered in order of first use.
#include <algoMesh_ModelSurface.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

using namespace quorin;

namespace
{
// A unit cube's corners as nodes 1..8: bottom 1..4 counter-clockwise seen from above,
// top 5..8 above them, then 9 at (0.5, 0.5, 2) above the top and 10..11 beside the cube.
Handle(MorvDS_Mesh) cubeNodes()
{
  Handle(MorvDS_Mesh) model   = new MorvDS_Mesh();
  const double corners[11][3] = {{0, 0, 0},     {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                 {0, 0, 1},     {1, 0, 1}, {1, 1, 1}, {0, 1, 1},
                                 {0.5, 0.5, 2}, {2, 0, 0}, {2, 1, 0}};
  for (const auto& c : corners)
  {
    model->AddNode(c[0], c[1], c[2]);
  }
  return model;
}

void expectClosedSolid(const Handle(Poly_Triangulation) & surface,
                       const int    nbTriangles,
                       const double volume)
{
  ASSERT_FALSE(surface.IsNull());
  EXPECT_EQ(surface->NbTriangles(), nbTriangles);
  EXPECT_TRUE(testmesh::IsClosedAndOriented(surface));
  EXPECT_NEAR(testmesh::SignedVolume(surface), volume, 1e-12); // positive: outward
}
//! The result's three triangles are `expected`, node for node.
void expectTriangles(const Handle(Poly_Triangulation) & surface, const int (&expected)[3][3])
{
  for (int t = 0; t < 3; ++t)
  {
    int n[3];
    surface->Triangle(t + 1).Get(n[0], n[1], n[2]);
    EXPECT_EQ(n[0], expected[t][0]) << "triangle " << t + 1;
    EXPECT_EQ(n[1], expected[t][1]) << "triangle " << t + 1;
    EXPECT_EQ(n[2], expected[t][2]) << "triangle " << t + 1;
  }
}

} // namespace

TEST(algoMesh_ModelSurface, EveryVolumeKindGivesItsClosedOutwardSurface)
{
  {
    Handle(MorvDS_Mesh) model = cubeNodes();
    ASSERT_GT(model->AddVolume(1, 2, 4, 5), 0);
    expectClosedSolid(algoMesh_ModelSurface::Perform(model), 4, 1.0 / 6.0);
  }
  {
    Handle(MorvDS_Mesh) model = cubeNodes();
    ASSERT_GT(model->AddVolume(5, 6, 7, 8, 9), 0); // pyramid on the cube's top
    expectClosedSolid(algoMesh_ModelSurface::Perform(model), 6, 1.0 / 3.0);
  }
  {
    Handle(MorvDS_Mesh) model = cubeNodes();
    ASSERT_GT(model->AddVolume(1, 2, 4, 5, 6, 8), 0);
    expectClosedSolid(algoMesh_ModelSurface::Perform(model), 8, 0.5);
  }
  {
    Handle(MorvDS_Mesh) model = cubeNodes();
    ASSERT_GT(model->AddVolume(1, 2, 3, 4, 5, 6, 7, 8), 0);
    expectClosedSolid(algoMesh_ModelSurface::Perform(model), 12, 1.0);
  }
}

TEST(algoMesh_ModelSurface, FacesSharedByTwoVolumesAreInside)
{
  // A hexahedron with a pyramid on top: the cube's top quadrangle lies between them.
  Handle(MorvDS_Mesh) model = cubeNodes();
  ASSERT_GT(model->AddVolume(1, 2, 3, 4, 5, 6, 7, 8), 0);
  ASSERT_GT(model->AddVolume(5, 6, 7, 8, 9), 0);
  EXPECT_EQ(algoMesh_ModelSurface::Polygons(model).size(), 5u + 4u);
  expectClosedSolid(algoMesh_ModelSurface::Perform(model), 10 + 4, 1.0 + 1.0 / 3.0);

  // The cube cut into five tetrahedra: only the twelve halves of its sides remain.
  Handle(MorvDS_Mesh) cut = cubeNodes();
  for (const auto& t : {std::array<int, 4>{1, 2, 4, 5}, std::array<int, 4>{2, 3, 4, 7},
                        std::array<int, 4>{2, 7, 5, 6}, std::array<int, 4>{4, 5, 7, 8},
                        std::array<int, 4>{2, 4, 5, 7}})
  {
    ASSERT_GT(cut->AddVolume(t[0], t[1], t[2], t[3]), 0);
  }
  const Handle(Poly_Triangulation) surface = algoMesh_ModelSurface::Perform(cut);
  ASSERT_FALSE(surface.IsNull());
  EXPECT_EQ(surface->NbTriangles(), 12);
  EXPECT_EQ(surface->NbNodes(), 8);
  EXPECT_TRUE(testmesh::IsClosedAndOriented(surface));
  EXPECT_NEAR(std::abs(testmesh::SignedVolume(surface)), 1.0, 1e-12);
}

TEST(algoMesh_ModelSurface, SurfaceElementsWinAndNodesAreNumberedByFirstUse)
{
  Handle(MorvDS_Mesh) model = cubeNodes();
  ASSERT_GT(model->AddVolume(1, 2, 3, 4, 5, 6, 7, 8), 0);
  ASSERT_GT(model->AddFace(3, 10, 11, 2), 0); // quadrangle beside the cube
  ASSERT_GT(model->AddFace(11, 7, 3), 0);
  const Handle(Poly_Triangulation) surface = algoMesh_ModelSurface::Perform(model);
  ASSERT_FALSE(surface.IsNull());
  // The quadrangle fans from its first node; the volume is ignored.
  ASSERT_EQ(surface->NbTriangles(), 3);
  ASSERT_EQ(surface->NbNodes(), 5);
  const int expected[3][3] = {{1, 2, 3}, {1, 3, 4}, {3, 5, 1}};
  expectTriangles(surface, expected);
  // Result nodes 1..5 are model nodes 3, 10, 11, 2, 7.
  EXPECT_TRUE(surface->Node(2).IsEqual(gp_Pnt(2, 0, 0), 0.0));
  EXPECT_TRUE(surface->Node(5).IsEqual(gp_Pnt(1, 1, 1), 0.0));
}

TEST(algoMesh_ModelSurface, NothingToTakeGivesNull)
{
  EXPECT_TRUE(algoMesh_ModelSurface::Perform(Handle(MorvDS_Mesh)()).IsNull());
  Handle(MorvDS_Mesh) model = cubeNodes();
  EXPECT_TRUE(algoMesh_ModelSurface::Perform(model).IsNull()); // nodes only
  ASSERT_GT(model->AddEdge(1, 2), 0);
  EXPECT_TRUE(algoMesh_ModelSurface::Perform(model).IsNull()); // no faces nor volumes
}

TEST(algoMesh_ModelSurface, NodesNumberedFarApartKeepTheirFirstUseOrder)
{
  // Numbers within a few times the node count and far beyond it, used in mixed order and
  // more than once: the numbering is by first use whatever the number's size.
  Handle(MorvDS_Mesh) model = new MorvDS_Mesh();
  const int ids[5]          = {100000000, 3, 2000000000, 1030, 7};
  for (int i = 0; i < 5; ++i)
  {
    ASSERT_TRUE(model->AddNodeWithID(i, 0.0, 0.0, ids[i]));
  }
  ASSERT_TRUE(model->AddFaceWithID(1030, 100000000, 3, 1));
  ASSERT_TRUE(model->AddFaceWithID(3, 100000000, 2000000000, 7, 2));
  const Handle(Poly_Triangulation) surface = algoMesh_ModelSurface::Perform(model);
  ASSERT_FALSE(surface.IsNull());
  ASSERT_EQ(surface->NbNodes(), 5);
  ASSERT_EQ(surface->NbTriangles(), 3);
  // Result nodes 1..5 are model nodes 1030, 100000000, 3, 2000000000, 7 (x = their index).
  const double x[5] = {3, 0, 1, 2, 4};
  for (int n = 0; n < 5; ++n)
  {
    EXPECT_EQ(surface->Node(n + 1).X(), x[n]);
  }
  const int expected[3][3] = {{1, 2, 3}, {3, 2, 4}, {3, 4, 5}};
  expectTriangles(surface, expected);
}
