// Mesh data model: numbering, element kinds, iteration, removal, bad input.
#include <MorvDS_Mesh.hxx>
#include <MorvDS_Mesh0DElement.hxx>
#include <MorvDS_MeshEdgesIterator.hxx>
#include <MorvDS_MeshFacesIterator.hxx>
#include <MorvDS_MeshHexahedron.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <MorvDS_MeshPrism.hxx>
#include <MorvDS_MeshPyramid.hxx>
#include <MorvDS_MeshQuadrangle.hxx>
#include <MorvDS_MeshTetrahedron.hxx>
#include <MorvDS_MeshTriangle.hxx>
#include <MorvDS_MeshVolumesIterator.hxx>

#include <gtest/gtest.h>

#include <vector>

namespace
{

//! Numbers of the elements an iterator walks, in order.
std::vector<int> walk(MorvDS_MeshElementsIterator&& it)
{
  std::vector<int> ids;
  for (; it.More(); it.Next())
  {
    ids.push_back(it.Value()->GetID());
  }
  return ids;
}

std::vector<int> nodeIds(const Handle(MorvDS_Mesh) & mesh)
{
  std::vector<int> ids;
  for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next())
  {
    ids.push_back(it.Value()->GetID());
  }
  return ids;
}

std::vector<int> elementNodes(const Handle(MorvDS_MeshElement) & element)
{
  std::vector<int> ids;
  for (int i = 0; i < element->NbNodes(); ++i)
  {
    ids.push_back(element->NodeID(i));
  }
  return ids;
}

//! A mesh with nodes 1..8 at the corners of the unit cube.
Handle(MorvDS_Mesh) cubeNodes()
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  for (int i = 0; i < 8; ++i)
  {
    mesh->AddNode(i & 1, (i >> 1) & 1, (i >> 2) & 1);
  }
  return mesh;
}

} // namespace

TEST(MorvDS_Mesh, AutomaticNumbersFollowCreationOrder)
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  EXPECT_TRUE(mesh->IsEmpty());
  EXPECT_EQ(1, mesh->AddNode(0.0, 0.0, 0.0));
  EXPECT_EQ(2, mesh->AddNode(1.5, 0.0, 0.0));
  EXPECT_EQ(3, mesh->AddNode(0.0, 2.5, -1.0));
  EXPECT_FALSE(mesh->IsEmpty());
  EXPECT_EQ(1, mesh->AddFace(1, 2, 3));
  EXPECT_EQ(2, mesh->AddEdge(1, 2));

  const Handle(MorvDS_MeshNode) node = mesh->FindNode(3);
  ASSERT_FALSE(node.IsNull());
  EXPECT_EQ(3, node->GetID());
  EXPECT_DOUBLE_EQ(2.5, node->Y());
  EXPECT_DOUBLE_EQ(-1.0, node->Z());
  EXPECT_TRUE(mesh->FindNode(0).IsNull());
  EXPECT_TRUE(mesh->FindNode(4).IsNull());
  EXPECT_TRUE(mesh->FindElement(-1).IsNull());

  const Handle(MorvDS_MeshElement) tri = mesh->FindElement(1);
  ASSERT_FALSE(tri.IsNull());
  EXPECT_TRUE(tri->IsKind(STANDARD_TYPE(MorvDS_MeshTriangle)));
  EXPECT_TRUE(tri->IsKind(STANDARD_TYPE(MorvDS_MeshFace)));
  EXPECT_EQ((std::vector<int>{1, 2, 3}), elementNodes(tri));
  EXPECT_EQ(0, tri->NodeID(3)); // out of range
  EXPECT_TRUE(tri->Node(-1).IsNull());
  EXPECT_DOUBLE_EQ(1.5, tri->Node(1)->X());
}

TEST(MorvDS_Mesh, EveryKindHasItsClassAndIsWalkedWithItsDimension)
{
  Handle(MorvDS_Mesh) mesh = cubeNodes();
  const int edge           = mesh->AddEdge(1, 2);
  const int tri            = mesh->AddFace(1, 2, 4);
  const int quad           = mesh->AddFace(1, 2, 4, 3);
  const int tet            = mesh->AddVolume(1, 2, 3, 5);
  const int pyr            = mesh->AddVolume(1, 2, 4, 3, 8);
  const int pri            = mesh->AddVolume(1, 2, 3, 5, 6, 7);
  const int hex            = mesh->AddVolume(1, 2, 4, 3, 5, 6, 8, 7);
  EXPECT_TRUE(mesh->Add0DElement(8));
  EXPECT_EQ(8, mesh->NbElements());

  EXPECT_EQ((std::vector<int>{edge}), walk(MorvDS_MeshEdgesIterator(mesh)));
  EXPECT_EQ((std::vector<int>{tri, quad}), walk(MorvDS_MeshFacesIterator(mesh)));
  EXPECT_EQ((std::vector<int>{tet, pyr, pri, hex}), walk(MorvDS_MeshVolumesIterator(mesh)));
  EXPECT_EQ((std::vector<int>{8}), walk(MorvDS_MeshElementsIterator(mesh, MorvAbs_0DElement)));
  EXPECT_EQ(8u, walk(MorvDS_MeshElementsIterator(mesh, MorvAbs_All)).size());
  EXPECT_TRUE(walk(MorvDS_MeshElementsIterator(mesh, MorvAbs_Node)).empty());
  EXPECT_TRUE(
      walk(MorvDS_MeshElementsIterator(mesh, static_cast<MorvAbs_ElementType>(42))).empty());

  const struct
  {
    int id;
    Handle(Standard_Type) type;
    MorvAbs_ElementType dim;
    int                 nbNodes;
  } expected[] = {{tri, STANDARD_TYPE(MorvDS_MeshTriangle), MorvAbs_Face, 3},
                  {quad, STANDARD_TYPE(MorvDS_MeshQuadrangle), MorvAbs_Face, 4},
                  {tet, STANDARD_TYPE(MorvDS_MeshTetrahedron), MorvAbs_Volume, 4},
                  {pyr, STANDARD_TYPE(MorvDS_MeshPyramid), MorvAbs_Volume, 5},
                  {pri, STANDARD_TYPE(MorvDS_MeshPrism), MorvAbs_Volume, 6},
                  {hex, STANDARD_TYPE(MorvDS_MeshHexahedron), MorvAbs_Volume, 8},
                  {8, STANDARD_TYPE(MorvDS_Mesh0DElement), MorvAbs_0DElement, 1}};
  for (const auto& e : expected)
  {
    const Handle(MorvDS_MeshElement) element = mesh->FindElement(e.id);
    ASSERT_FALSE(element.IsNull()) << e.id;
    EXPECT_EQ(e.type, element->DynamicType());
    EXPECT_EQ(e.dim, element->GetType());
    EXPECT_EQ(e.nbNodes, element->NbNodes());
  }
  EXPECT_FALSE(mesh->FindElement(tri)->IsKind(STANDARD_TYPE(MorvDS_MeshQuadrangle)));
  EXPECT_EQ((std::vector<int>{1, 2, 4, 3, 5, 6, 8, 7}), elementNodes(mesh->FindElement(hex)));
}

TEST(MorvDS_Mesh, RefusesElementsOverMissingOrRepeatedNodes)
{
  Handle(MorvDS_Mesh) mesh = cubeNodes();
  EXPECT_EQ(0, mesh->AddFace(1, 2, 9)); // no node 9
  EXPECT_EQ(0, mesh->AddFace(3, 3, 7)); // repeated node
  EXPECT_EQ(0, mesh->AddEdge(0, 1));    // no node 0
  EXPECT_EQ(0, mesh->AddVolume(1, 2, 3, 4, 5, 6, 7, 1));
  EXPECT_FALSE(mesh->Add0DElement(-5));
  EXPECT_FALSE(mesh->AddFaceWithID(1, 2, 2, 5));
  EXPECT_EQ(0, mesh->NbElements());
  // Refusals use no number: the next element is still number 1.
  EXPECT_EQ(1, mesh->AddFace(1, 2, 3));
}

TEST(MorvDS_Mesh, ExplicitNumbersMixWithAutomaticOnes)
{
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  EXPECT_TRUE(mesh->AddNodeWithID(0.0, 0.0, 0.0, 10));
  EXPECT_TRUE(mesh->AddNodeWithID(1.0, 0.0, 0.0, 2000000000)); // far beyond the count
  EXPECT_TRUE(mesh->AddNodeWithID(0.0, 1.0, 0.0, 3));
  EXPECT_FALSE(mesh->AddNodeWithID(5.0, 5.0, 5.0, 3)); // taken
  EXPECT_FALSE(mesh->AddNodeWithID(5.0, 5.0, 5.0, 0)); // not positive
  EXPECT_DOUBLE_EQ(1.0, mesh->FindNode(2000000000)->X());
  EXPECT_DOUBLE_EQ(0.0, mesh->FindNode(3)->X());
  EXPECT_EQ((std::vector<int>{10, 2000000000, 3}), nodeIds(mesh)); // creation order

  EXPECT_TRUE(mesh->AddFaceWithID(10, 2000000000, 3, 7));
  EXPECT_FALSE(mesh->AddEdgeWithID(10, 3, 7)); // element number taken
  EXPECT_TRUE(mesh->AddEdgeWithID(10, 3, 1));
  EXPECT_EQ(8, mesh->AddEdge(3, 10)); // one above the highest element number
  EXPECT_EQ(3, mesh->NbElements());
}

TEST(MorvDS_Mesh, NumberFarAheadIsStillFoundOnceTheOthersCatchUp)
{
  // 5000 is far beyond the node count when created; 6000 automatic nodes later it is
  // inside the range numbered densely.
  Handle(MorvDS_Mesh) mesh = new MorvDS_Mesh(10, 10, 10, 10);
  ASSERT_TRUE(mesh->AddNodeWithID(7.0, 0.0, 0.0, 5000));
  for (int i = 0; i < 6000; ++i)
  {
    mesh->AddNode(0.0, 0.0, 0.0);
  }
  ASSERT_FALSE(mesh->FindNode(5000).IsNull());
  EXPECT_DOUBLE_EQ(7.0, mesh->FindNode(5000)->X());
  EXPECT_FALSE(mesh->AddNodeWithID(0.0, 0.0, 0.0, 5000));
  EXPECT_EQ(5001, mesh->FindNode(5001)->GetID());
  EXPECT_EQ(6001, mesh->NbNodes());
}

TEST(MorvDS_Mesh, RemovalFreesTheNumberAndOptionallyTheUnusedNodes)
{
  Handle(MorvDS_Mesh) mesh = cubeNodes();
  const int t1             = mesh->AddFace(1, 2, 4);
  const int t2             = mesh->AddFace(1, 4, 3);
  const int t3             = mesh->AddFace(5, 6, 8);
  mesh->RebuildAllInverseConnections();

  EXPECT_TRUE(mesh->RemoveElement(mesh->FindElement(t3), false));
  EXPECT_TRUE(mesh->FindElement(t3).IsNull());
  EXPECT_EQ(8, mesh->NbNodes()); // nodes kept
  EXPECT_EQ((std::vector<int>{t1, t2}), walk(MorvDS_MeshFacesIterator(mesh)));
  EXPECT_TRUE(mesh->AddFaceWithID(5, 6, 8, t3)); // the number is free again

  // Removing t1 with its free nodes drops node 2 only: 1 and 4 still carry t2.
  const Handle(MorvDS_MeshElement) first = mesh->FindElement(t1);
  EXPECT_TRUE(mesh->RemoveElement(first, true));
  EXPECT_TRUE(first->IsRemoved());
  EXPECT_EQ(4, first->NodeID(2));                 // a removed element's view still reads
  EXPECT_FALSE(mesh->RemoveElement(first, true)); // already removed
  EXPECT_EQ(7, mesh->NbNodes());
  EXPECT_TRUE(mesh->FindNode(2).IsNull());
  EXPECT_FALSE(mesh->FindNode(1).IsNull());
  EXPECT_EQ((std::vector<int>{1, 3, 4, 5, 6, 7, 8}), nodeIds(mesh));
  EXPECT_EQ(9, mesh->AddNode(0.0, 0.0, 0.0)); // node numbers are not reused

  // Null and foreign elements are ignored.
  Handle(MorvDS_Mesh) other = cubeNodes();
  other->AddFace(1, 2, 3);
  EXPECT_FALSE(mesh->RemoveElement(Handle(MorvDS_MeshElement)(), true));
  EXPECT_FALSE(mesh->RemoveElement(other->FindElement(1), true));
  EXPECT_EQ(2, mesh->NbElements());
}

TEST(MorvDS_Mesh, ViewsOutliveTheMeshAndNullMeshesWalkNothing)
{
  Handle(MorvDS_MeshElement) tri;
  {
    Handle(MorvDS_Mesh) mesh = cubeNodes();
    tri                      = mesh->FindElement(mesh->AddFace(2, 3, 4));
  }
  EXPECT_EQ(3, tri->NodeID(1));
  EXPECT_DOUBLE_EQ(1.0, tri->Node(2)->Y());

  EXPECT_FALSE(MorvDS_MeshNodesIterator(Handle(MorvDS_Mesh)()).More());
  EXPECT_TRUE(MorvDS_MeshNodesIterator(Handle(MorvDS_Mesh)()).Value().IsNull());
  EXPECT_TRUE(walk(MorvDS_MeshFacesIterator(Handle(MorvDS_Mesh)())).empty());
}
