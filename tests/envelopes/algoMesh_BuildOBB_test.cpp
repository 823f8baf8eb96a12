#include <MeshBuilders.hxx>

#include <algoMesh_BuildOBB.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <cmath>

using namespace quorin;

namespace
{
TopoDS_Shape Meshed(const TopoDS_Shape& shape, const double deflection = 0.01)
{
  BRepMesh_IncrementalMesh(shape, deflection, false, 0.5);
  return shape;
}

TopoDS_Shape Moved(const TopoDS_Shape& shape, const gp_Trsf& T)
{
  return BRepBuilderAPI_Transform(shape, T, true).Shape();
}

// A rotation about a skew axis through (1, 2, 3), so no box axis stays global.
gp_Trsf SkewRotation()
{
  gp_Trsf T;
  T.SetRotation(gp_Ax1(gp_Pnt(1, 2, 3), gp_Dir(1, 2, 2)), 0.7);
  return T;
}

gp_XYZ Extents(const algoMesh_OBB& box)
{
  return box.MaxCorner().XYZ() - box.MinCorner().XYZ();
}

// |cos| of the angle between two directions: 1 when parallel either way.
double Alignment(const gp_Dir& a, const gp_Dir& b)
{
  return std::abs(a.Dot(b));
}

// Every node lies inside the box, up to the tolerance.
void ExpectContainsNodes(const algoMesh_OBB& box, const Handle(Poly_Triangulation) & mesh)
{
  const gp_Ax3& A = box.Placement();
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_XYZ d = mesh->Node(i).XYZ() - A.Location().XYZ();
    const gp_XYZ local(d.Dot(A.XDirection().XYZ()), d.Dot(A.YDirection().XYZ()),
                       d.Dot(A.Direction().XYZ()));
    for (int k = 1; k <= 3; ++k)
    {
      ASSERT_GE(local.Coord(k), box.MinCorner().Coord(k) - 1e-7) << "node " << i;
      ASSERT_LE(local.Coord(k), box.MaxCorner().Coord(k) + 1e-7) << "node " << i;
    }
  }
}

void ExpectRightHanded(const gp_Ax3& A)
{
  EXPECT_TRUE(A.Direct());
  EXPECT_NEAR(0.0, A.XDirection().Dot(A.Direction()), 1e-12);
}

} // namespace

TEST(algoMesh_BuildOBB, BoxGivesItsOwnBoxWithZAlongTheShortSide)
{
  const TopoDS_Shape box = Meshed(BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 10, 4, 1).Shape());
  for (const auto mode : {algoMesh_BuildOBB::Mode_FromMesh, algoMesh_BuildOBB::Mode_FromShape})
  {
    algoMesh_BuildOBB builder(box, mode, false);
    ASSERT_TRUE(builder.Perform());
    const Handle(algoMesh_OBB)& obb = builder.GetResult();
    const gp_XYZ ext                = Extents(*obb);
    EXPECT_NEAR(10.0, ext.X(), 1e-9);
    EXPECT_NEAR(4.0, ext.Y(), 1e-9);
    EXPECT_NEAR(1.0, ext.Z(), 1e-9);
    EXPECT_NEAR(1.0, Alignment(obb->Placement().XDirection(), gp::DX()), 1e-12);
    EXPECT_NEAR(1.0, Alignment(obb->Placement().Direction(), gp::DZ()), 1e-12);
    ExpectRightHanded(obb->Placement());
    // Both centres of a box are its middle: the corners are symmetric here.
    EXPECT_NEAR(0.0, (obb->Placement().Location().XYZ() - gp_XYZ(6, 4, 3.5)).Modulus(), 1e-9);
    EXPECT_NEAR(-5.0, obb->MinCorner().X(), 1e-9);
  }
}

TEST(algoMesh_BuildOBB, RotatedBoxGivesTheRotatedBox)
{
  const gp_Trsf      T   = SkewRotation();
  const TopoDS_Shape box = Meshed(Moved(BRepPrimAPI_MakeBox(10, 4, 1).Shape(), T));
  for (const auto mode : {algoMesh_BuildOBB::Mode_FromMesh, algoMesh_BuildOBB::Mode_FromShape})
  {
    algoMesh_BuildOBB builder(box, mode, false);
    ASSERT_TRUE(builder.Perform());
    const Handle(algoMesh_OBB)& obb = builder.GetResult();
    const gp_XYZ ext                = Extents(*obb);
    EXPECT_NEAR(40.0, ext.X() * ext.Y() * ext.Z(), 1e-8);
    EXPECT_NEAR(1.0, Alignment(obb->Placement().XDirection(), gp::DX().Transformed(T)), 1e-9);
    EXPECT_NEAR(1.0, Alignment(obb->Placement().YDirection(), gp::DY().Transformed(T)), 1e-9);
    EXPECT_NEAR(1.0, Alignment(obb->Placement().Direction(), gp::DZ().Transformed(T)), 1e-9);
    ExpectContainsNodes(*obb, builder.GetMesh());
  }
}

TEST(algoMesh_BuildOBB, OriginIsTheCentreOfTheNodesNotOfTheBox)
{
  // A tetrahedron's node centre is off its box centre: the corners are not symmetric.
  BRep_Builder    builder;
  TopoDS_Compound compound;
  builder.MakeCompound(compound);
  builder.Add(compound, testmesh::FaceOf(testmesh::Tetra()));
  algoMesh_BuildOBB obb(compound, algoMesh_BuildOBB::Mode_FromMesh, false);
  ASSERT_TRUE(obb.Perform());
  const Handle(Poly_Triangulation) tetra = testmesh::Tetra();
  gp_XYZ mean(0, 0, 0);
  for (int i = 1; i <= tetra->NbNodes(); ++i)
  {
    mean += tetra->Node(i).XYZ() / tetra->NbNodes();
  }
  EXPECT_NEAR(0.0, (obb.GetResult()->Placement().Location().XYZ() - mean).Modulus(), 1e-12);
  ExpectContainsNodes(*obb.GetResult(), tetra);
  ExpectRightHanded(obb.GetResult()->Placement());
}

TEST(algoMesh_BuildOBB, SphereBoxIsTheCircumscribedCube)
{
  const double       r      = 2.0;
  const TopoDS_Shape sphere = Meshed(BRepPrimAPI_MakeSphere(gp_Pnt(5, -1, 2), r).Shape(), 0.001);
  algoMesh_BuildOBB  builder(sphere, algoMesh_BuildOBB::Mode_FromMesh, false);
  ASSERT_TRUE(builder.Perform());
  const Handle(algoMesh_OBB)& obb = builder.GetResult();
  ExpectContainsNodes(*obb, builder.GetMesh());
  // Nodes lie on the sphere; the box cannot be wider than the diameter and, at this
  // deflection, is not much narrower.
  const gp_XYZ ext = Extents(*obb);
  for (int k = 1; k <= 3; ++k)
  {
    EXPECT_LE(ext.Coord(k), 2 * r + 1e-9);
    EXPECT_GE(ext.Coord(k), 2 * r * 0.99);
  }
  ExpectRightHanded(obb->Placement());
}

TEST(algoMesh_BuildOBB, ShapeWithoutTriangulationIsRefused)
{
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  // An unmeshed box; then a null shape.
  for (const TopoDS_Shape& shape : {BRepPrimAPI_MakeBox(1, 2, 3).Shape(), TopoDS_Shape()})
  {
    notifier->Clear();
    algoMesh_BuildOBB builder(shape, algoMesh_BuildOBB::Mode_FromShape, true, notifier);
    EXPECT_FALSE(builder.Perform());
    EXPECT_TRUE(builder.GetResult().IsNull());
    ASSERT_EQ(1u, notifier->Messages().size());
    EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
    EXPECT_EQ("Cannot build an OBB without triangulation.", notifier->Texts()[0]);
  }
}

TEST(algoMesh_BuildOBB, NonFiniteNodeIsRefusedWithAMessage)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  mesh->SetNode(3, gp_Pnt(0, std::nan(""), 0));
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  algoMesh_BuildOBB builder(testmesh::FaceOf(mesh), algoMesh_BuildOBB::Mode_FromMesh, false,
                            notifier);
  EXPECT_FALSE(builder.Perform());
  ASSERT_EQ(1u, notifier->Texts().size());
  EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
}

TEST(algoMesh_BuildOBB, ShapeAxesOfAFlatFaceMeshComeFromItsSurface)
{
  // A meshed face of a box: no volume, so the surface properties give the axes; the box is
  // flat across the face.
  const TopoDS_Shape box = Meshed(BRepPrimAPI_MakeBox(6, 2, 3).Shape());
  TopoDS_Shape       face;
  for (TopExp_Explorer exp(box, TopAbs_FACE); exp.More() && face.IsNull(); exp.Next())
  {
    face = exp.Current();
  }
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  algoMesh_BuildOBB builder(face, algoMesh_BuildOBB::Mode_FromShape, false, notifier);
  ASSERT_TRUE(builder.Perform());
  EXPECT_TRUE(notifier->Messages().empty());
  const gp_XYZ ext = Extents(*builder.GetResult());
  EXPECT_NEAR(0.0, ext.Z(), 1e-12);
  EXPECT_NEAR(3.0, ext.X(), 1e-9); // the first face of the box is x = 0, 2 by 3
  EXPECT_NEAR(2.0, ext.Y(), 1e-9);
}

TEST(algoMesh_BuildOBB, MassLessShapeFallsBackToTheMeshAxes)
{
  // A face carrying only a triangulation is integrated over its triangles; a collinear
  // triangle has no area, so the shape has no mass and its axes are refused.
  const TopoDS_Shape face =
      testmesh::FaceOf(testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 1, 0), gp_Pnt(3, 3, 0)));
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  algoMesh_BuildOBB fromShape(face, algoMesh_BuildOBB::Mode_FromShape, false, notifier);
  ASSERT_TRUE(fromShape.Perform());
  ASSERT_EQ(2u, notifier->Messages().size());
  EXPECT_EQ("Cannot calculate properties.", notifier->Texts()[0]);
  EXPECT_EQ(LogSeverity_Warning, notifier->Messages()[0].Severity);
  EXPECT_EQ("The OBB will be computed from mesh.", notifier->Texts()[1]);
  EXPECT_EQ(LogSeverity_Info, notifier->Messages()[1].Severity);

  algoMesh_BuildOBB fromMesh(face, algoMesh_BuildOBB::Mode_FromMesh, false);
  ASSERT_TRUE(fromMesh.Perform());
  EXPECT_TRUE(fromShape.GetResult()->IsSame(fromMesh.GetResult()));
  EXPECT_NEAR(3.0 * std::sqrt(2.0), Extents(*fromMesh.GetResult()).X(), 1e-12);
}

TEST(algoMesh_BuildOBB, EdgesGiveTheAxesWhenTheFacesHaveNoArea)
{
  // Collinear nodes along X beside a straight edge along (1, 1, 1): only the edge has
  // mass, so one box axis follows it although the nodes spread along X.
  const Handle(Poly_Triangulation) flat =
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(4, 0, 0), gp_Pnt(10, 0, 0));
  BRep_Builder    builder;
  TopoDS_Compound compound;
  builder.MakeCompound(compound);
  builder.Add(compound, testmesh::FaceOf(flat));
  builder.Add(compound, BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(3, 3, 3)).Edge());
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  algoMesh_BuildOBB obb(compound, algoMesh_BuildOBB::Mode_FromShape, false, notifier);
  ASSERT_TRUE(obb.Perform());
  EXPECT_TRUE(notifier->Messages().empty());
  const gp_Ax3& A = obb.GetResult()->Placement();
  const gp_Dir  edge(1, 1, 1);
  EXPECT_NEAR(1.0,
              std::max({Alignment(A.XDirection(), edge), Alignment(A.YDirection(), edge),
                        Alignment(A.Direction(), edge)}),
              1e-9);
  EXPECT_NEAR(0.0, A.Location().Distance(gp_Pnt(1.5, 1.5, 1.5)), 1e-9);
  ExpectContainsNodes(*obb.GetResult(), flat);
}
