#include <algoMesh_MergedTriangulation.hxx>

#include <MeshBuilders.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <map>

using quorin::algoMesh_MergedTriangulation;

TEST(algoMesh_MergedTriangulation, MeshedBoxGivesSixSeparatePatches)
{
  TopoDS_Shape box = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  BRepMesh_IncrementalMesh(box, 1.0);
  algoMesh_MergedTriangulation merged(box);
  const Handle(Poly_Triangulation)& mesh = merged.GetTriangulation();
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(24, mesh->NbNodes());
  EXPECT_EQ(12, mesh->NbTriangles());
  EXPECT_TRUE(mesh->HasNormals());
  EXPECT_TRUE(mesh->HasUVNodes());

  // Each corner three times; outward orientation and outward normals despite reversed faces.
  std::map<std::tuple<double, double, double>, int> corners;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    ++corners[{p.X(), p.Y(), p.Z()}];
    const gp_Dir n = mesh->Normal(i);
    EXPECT_GT(gp_Vec(gp_Pnt(0.5, 0.5, 0.5), p).Dot(gp_Vec(n)), 0.0);
  }
  EXPECT_EQ(8u, corners.size());
  for (const auto& corner : corners)
    EXPECT_EQ(3, corner.second);
  EXPECT_NEAR(1.0, testmesh::SignedVolume(mesh), 1e-12);
  EXPECT_EQ(6, merged.GetFaceTriangles()->Extent());

  // The face triangulations now carry normals.
  for (TopExp_Explorer exp(box, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location loc;
    EXPECT_TRUE(BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), loc)->HasNormals());
  }
}

TEST(algoMesh_MergedTriangulation, ReversedAndTranslatedFaces)
{
  // Face 1: plain; face 2: reversed; face 3: translated by (0, 0, 5). No surfaces, no UV.
  gp_Trsf shift;
  shift.SetTranslation(gp_Vec(0, 0, 5));
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  const TopoDS_Face face = testmesh::FaceOf(testmesh::Equilateral());
  builder.Add(compound, face);
  builder.Add(compound, face.Reversed());
  builder.Add(compound, testmesh::FaceOf(testmesh::Equilateral()).Moved(TopLoc_Location(shift)));
  builder.Add(compound, testmesh::FaceOf(Handle(Poly_Triangulation)())); // contributes nothing

  algoMesh_MergedTriangulation merged(compound);
  const Handle(Poly_Triangulation)& mesh = merged.GetTriangulation();
  ASSERT_FALSE(mesh.IsNull());
  EXPECT_EQ(9, mesh->NbNodes());
  EXPECT_EQ(3, mesh->NbTriangles());
  EXPECT_FALSE(mesh->HasUVNodes());

  int a, b, c;
  mesh->Triangle(2).Get(a, b, c);
  EXPECT_EQ(std::make_tuple(4, 6, 5), std::make_tuple(a, b, c));
  EXPECT_NEAR(1.0, mesh->Normal(1).Z(), 1e-6);
  EXPECT_NEAR(-1.0, mesh->Normal(4).Z(), 1e-6);
  EXPECT_NEAR(1.0, mesh->Normal(7).Z(), 1e-6);
  EXPECT_NEAR(5.0, mesh->Node(7).Z(), 1e-12);
  mesh->Triangle(3).Get(a, b, c);
  EXPECT_EQ(std::make_tuple(7, 8, 9), std::make_tuple(a, b, c));

  // Faces 1 and 2 share the underlying face and location: one entry of two triangles;
  // face 3 its own; the face without triangulation none.
  ASSERT_EQ(2, merged.GetFaceTriangles()->Extent());
  EXPECT_EQ(2, merged.GetFaceTriangles()->Find(face).Length());
}

TEST(algoMesh_MergedTriangulation, OneFaceWithoutUVDropsUVAndEmptyShapeGivesNull)
{
  TopoDS_Shape box = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  BRepMesh_IncrementalMesh(box, 1.0);
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  builder.Add(compound, box);
  builder.Add(compound, testmesh::FaceOf(testmesh::Equilateral()));
  algoMesh_MergedTriangulation merged(compound);
  ASSERT_FALSE(merged.GetTriangulation().IsNull());
  EXPECT_FALSE(merged.GetTriangulation()->HasUVNodes());
  EXPECT_EQ(27, merged.GetTriangulation()->NbNodes());

  merged.Build(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape()); // not meshed
  EXPECT_TRUE(merged.GetTriangulation().IsNull());
  EXPECT_EQ(0, merged.GetFaceTriangles()->Extent());
  algoMesh_MergedTriangulation none;
  EXPECT_TRUE(none.GetTriangulation().IsNull());
  EXPECT_TRUE(none.GetFaceTriangles().IsNull());
}
