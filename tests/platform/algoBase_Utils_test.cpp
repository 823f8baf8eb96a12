#include <MeshBuilders.hxx>

#include <algoBase_Utils.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>

#include <gtest/gtest.h>

namespace
{
void expectBox(const Bnd_Box& box, const gp_Pnt& min, const gp_Pnt& max, const double tol)
{
  ASSERT_FALSE(box.IsVoid());
  const gp_Pnt lo = box.CornerMin();
  const gp_Pnt hi = box.CornerMax();
  EXPECT_NEAR(min.X(), lo.X(), tol);
  EXPECT_NEAR(min.Y(), lo.Y(), tol);
  EXPECT_NEAR(min.Z(), lo.Z(), tol);
  EXPECT_NEAR(max.X(), hi.X(), tol);
  EXPECT_NEAR(max.Y(), hi.Y(), tol);
  EXPECT_NEAR(max.Z(), hi.Z(), tol);
}
} // namespace

TEST(algoBase_Utils, TriangulationBoundsFollowLocation)
{
  gp_Trsf move;
  move.SetTranslation(gp_Vec(10.0, -1.0, 2.0));
  Bnd_Box box;
  ASSERT_TRUE(algoBase_Utils::Bounds(testmesh::Cube(), TopLoc_Location(move), box));
  // Points are added exactly; the box keeps no gap of its own.
  expectBox(box, gp_Pnt(10.0, -1.0, 2.0), gp_Pnt(11.0, 0.0, 3.0), 1e-12);
}

TEST(algoBase_Utils, EmptyTriangulationLeavesBoxUnchanged)
{
  Bnd_Box box;
  box.Add(gp_Pnt(1.0, 1.0, 1.0));
  EXPECT_FALSE(algoBase_Utils::Bounds(Handle(Poly_Triangulation)(), TopLoc_Location(), box));
  EXPECT_FALSE(algoBase_Utils::Bounds(new Poly_Triangulation(), TopLoc_Location(), box));
  expectBox(box, gp_Pnt(1.0, 1.0, 1.0), gp_Pnt(1.0, 1.0, 1.0), 1e-12);
}

TEST(algoBase_Utils, ShapeBoundsFromGeometryAndFromMesh)
{
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(-1.0, 0.0, 2.0), 2.0, 3.0, 4.0).Shape();
  Bnd_Box            optimal;
  ASSERT_TRUE(algoBase_Utils::Bounds(box, false, true, optimal));
  expectBox(optimal, gp_Pnt(-1.0, 0.0, 2.0), gp_Pnt(1.0, 3.0, 6.0), 1e-6);

  // A sphere's control-point box is loose, the optimal one is tight.
  const TopoDS_Shape sphere = BRepPrimAPI_MakeSphere(1.0).Shape();
  Bnd_Box            tight;
  ASSERT_TRUE(algoBase_Utils::Bounds(sphere, false, true, tight));
  expectBox(tight, gp_Pnt(-1.0, -1.0, -1.0), gp_Pnt(1.0, 1.0, 1.0), 1e-6);

  BRepMesh_IncrementalMesh mesher(sphere, 0.01);
  Bnd_Box                  fromMesh;
  ASSERT_TRUE(algoBase_Utils::Bounds(sphere, true, false, fromMesh));
  expectBox(fromMesh, gp_Pnt(-1.0, -1.0, -1.0), gp_Pnt(1.0, 1.0, 1.0), 0.05);
}

TEST(algoBase_Utils, NullShapeGivesFalse)
{
  Bnd_Box box;
  EXPECT_FALSE(algoBase_Utils::Bounds(TopoDS_Shape(), true, true, box));
  EXPECT_TRUE(box.IsVoid());
}
