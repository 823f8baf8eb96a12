#include <MeshBuilders.hxx>

#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_OptimizeOBB.hxx>
#include <algoMesh_UtilsOBB.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Reader.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace quorin;

namespace
{
// The unit cube's nodes scaled to dx by dy by dz and moved by T.
Handle(Poly_Triangulation)
    BoxMesh(const double dx, const double dy, const double dz, const gp_Trsf& T = gp_Trsf())
{
  const Handle(Poly_Triangulation) mesh = testmesh::Cube();
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    const gp_Pnt p = mesh->Node(i);
    mesh->SetNode(i, gp_Pnt(p.X() * dx, p.Y() * dy, p.Z() * dz).Transformed(T));
  }
  return mesh;
}

// The box of the mesh nodes in a placement.
Handle(algoMesh_OBB) BoxIn(const gp_Ax3& placement, const Handle(Poly_Triangulation) & mesh)
{
  gp_Pnt minCorner, maxCorner;
  algoMesh_UtilsOBB::BuildCorners(placement, mesh, minCorner, maxCorner);
  return new algoMesh_OBB(placement, minCorner, maxCorner);
}

gp_XYZ Extents(const algoMesh_OBB& box)
{
  return box.MaxCorner().XYZ() - box.MinCorner().XYZ();
}

double Volume(const algoMesh_OBB& box)
{
  const gp_XYZ e = Extents(box);
  return e.X() * e.Y() * e.Z();
}

void ExpectDir(const gp_Dir& expected, const gp_Dir& actual, const double tolerance)
{
  EXPECT_NEAR(expected.X(), actual.X(), tolerance);
  EXPECT_NEAR(expected.Y(), actual.Y(), tolerance);
  EXPECT_NEAR(expected.Z(), actual.Z(), tolerance);
}

// A straight prism over a right triangle with legs 8 and 3, 1.5 deep, turned about a skew
// axis: its principal axes follow the hypotenuse, its smallest box the legs.
TopoDS_Shape TurnedWedge()
{
  const TopoDS_Wire wire =
      BRepBuilderAPI_MakePolygon(gp_Pnt(0, 0, 0), gp_Pnt(8, 0, 0), gp_Pnt(0, 3, 0), true).Wire();
  const TopoDS_Shape prism =
      BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(wire).Face(), gp_Vec(0, 0, 1.5)).Shape();
  gp_Trsf T;
  T.SetRotation(gp_Ax1(gp_Pnt(-2, 1, 4), gp_Dir(2, -1, 3)), 1.1);
  const TopoDS_Shape turned = BRepBuilderAPI_Transform(prism, T, true).Shape();
  BRepMesh_IncrementalMesh(turned, 0.01, false, 0.5);
  return turned;
}

TopoDS_Shape ReadShared(const std::string& path)
{
  TopoDS_Shape shape;
  if (path.size() > 5 && path.substr(path.size() - 5) == ".step")
  {
    STEPControl_Reader reader;
    if (reader.ReadFile(path.c_str()) == IFSelect_RetDone)
    {
      reader.TransferRoots();
      shape = reader.OneShape();
    }
    return shape;
  }
  BRep_Builder builder;
  BRepTools::Read(shape, path.c_str(), builder);
  return shape;
}
} // namespace

TEST(algoMesh_OptimizeOBB, AlignedBoxKeepsItsExtentsAndGetsCanonicalAxes)
{
  // The initial frame lists the axes as Y, Z, X; the result orders them X, Y, Z.
  const Handle(Poly_Triangulation) mesh = BoxMesh(10, 4, 1);
  const gp_Ax3 initial(gp_Pnt(1, 1, 1), gp_Dir(1, 0, 0), gp_Dir(0, 1, 0));
  const Handle(algoMesh_OBB) box = BoxIn(initial, mesh);
  algoMesh_OptimizeOBB optimizer(TopoDS_Shape(), mesh, box);
  ASSERT_TRUE(optimizer.Perform());
  const Handle(algoMesh_OBB)& result = optimizer.GetResult();
  ExpectDir(gp::DX(), result->Placement().XDirection(), 1e-6);
  ExpectDir(gp::DY(), result->Placement().YDirection(), 1e-6);
  ExpectDir(gp::DZ(), result->Placement().Direction(), 1e-6);
  const gp_XYZ ext = Extents(*result);
  EXPECT_NEAR(10.0, ext.X(), 1e-5);
  EXPECT_NEAR(4.0, ext.Y(), 1e-5);
  EXPECT_NEAR(1.0, ext.Z(), 1e-5);
  EXPECT_TRUE(result->Placement().Location().IsEqual(gp_Pnt(1, 1, 1), 0.0));
}

TEST(algoMesh_OptimizeOBB, BoxTurnedAboutZIsFoundFromTheGlobalFrame)
{
  gp_Trsf T;
  T.SetRotation(gp::OZ(), M_PI / 6);
  const Handle(Poly_Triangulation) mesh = BoxMesh(10, 4, 1, T);
  const Handle(algoMesh_OBB) box        = BoxIn(gp_Ax3(), mesh);
  ASSERT_GT(Volume(*box), 90.0); // (10 cos 30 + 4 sin 30)(10 sin 30 + 4 cos 30)

  algoMesh_OptimizeOBB optimizer(TopoDS_Shape(), mesh, box);
  ASSERT_TRUE(optimizer.Perform());
  const Handle(algoMesh_OBB)& result = optimizer.GetResult();
  // Z stays along Z; X is the edge direction with the larger x component, the long edge.
  ExpectDir(gp::DZ(), result->Placement().Direction(), 1e-6);
  ExpectDir(gp_Dir(std::cos(M_PI / 6), std::sin(M_PI / 6), 0), result->Placement().XDirection(),
            1e-6);
  const gp_XYZ ext = Extents(*result);
  EXPECT_NEAR(10.0, ext.X(), 1e-5);
  EXPECT_NEAR(4.0, ext.Y(), 1e-5);
  EXPECT_NEAR(1.0, ext.Z(), 1e-5);
  EXPECT_TRUE(result->Placement().Location().IsEqual(gp::Origin(), 0.0));
}

TEST(algoMesh_OptimizeOBB, MissingInputsAndFlatMeshesAreRefused)
{
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  const Handle(Poly_Triangulation) cube           = testmesh::Cube();
  const Handle(algoMesh_OBB) box                  = BoxIn(gp_Ax3(), cube);
  // Coplanar nodes have no solid hull.
  const Handle(Poly_Triangulation) flat = testmesh::TwoEquilaterals();
  // A NaN node poisons every plane of a hull.
  const Handle(Poly_Triangulation) poisoned = testmesh::Cube();
  poisoned->SetNode(5, gp_Pnt(std::nan(""), 0, 0));
  const struct
  {
    Handle(Poly_Triangulation) mesh;
    Handle(algoMesh_OBB) box;
    const char* text;
  } cases[] = {
      {nullptr, box, "Cannot optimize the OBB without triangulation."},
      {new Poly_Triangulation(), box, "Cannot optimize the OBB without triangulation."},
      {cube, nullptr, "Cannot optimize the OBB without an initial box."},
      {flat, BoxIn(gp_Ax3(), flat), "Cannot build a convex hull for the input mesh."},
      {poisoned, box, "Cannot build a convex hull for the input mesh."},
  };
  for (const auto& c : cases)
  {
    notifier->Clear();
    algoMesh_OptimizeOBB optimizer(TopoDS_Shape(), c.mesh, c.box, notifier);
    EXPECT_FALSE(optimizer.Perform()) << c.text;
    EXPECT_TRUE(optimizer.GetResult().IsNull());
    ASSERT_EQ(1u, notifier->Messages().size()) << c.text;
    EXPECT_EQ(c.text, notifier->Texts()[0]);
    EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
  }
}

TEST(algoMesh_OptimizeOBB, OptimisedBoxOfATurnedWedgeIsSmallerThanThePrincipalOne)
{
  const TopoDS_Shape wedge = TurnedWedge();
  algoMesh_BuildOBB  principal(wedge, algoMesh_BuildOBB::Mode_FromMesh, false);
  algoMesh_BuildOBB  optimised(wedge, algoMesh_BuildOBB::Mode_FromMesh, true);
  ASSERT_TRUE(principal.Perform());
  ASSERT_TRUE(optimised.Perform());
  // The smallest box is the legs' box, 8 x 3 x 1.5 = 36.
  EXPECT_GT(Volume(*principal.GetResult()), 36.0 * 1.03);
  EXPECT_NEAR(36.0, Volume(*optimised.GetResult()), 36.0 * 1e-6);
  EXPECT_TRUE(optimised.GetResult()->Placement().Location().IsEqual(
      principal.GetResult()->Placement().Location(), 0.0));

  // Every node inside.
  const Handle(Poly_Triangulation)& mesh = optimised.GetMesh();
  const Handle(algoMesh_OBB) box         = BoxIn(optimised.GetResult()->Placement(), mesh);
  EXPECT_TRUE(box->IsSame(optimised.GetResult()));
}

TEST(algoMesh_OptimizeOBB, FailedOptimisationKeepsThePrincipalBox)
{
  const Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier;
  const TopoDS_Shape face                         = testmesh::FaceOf(testmesh::TwoEquilaterals());
  algoMesh_BuildOBB  optimised(face, algoMesh_BuildOBB::Mode_FromMesh, true, notifier);
  algoMesh_BuildOBB  principal(face, algoMesh_BuildOBB::Mode_FromMesh, false);
  ASSERT_TRUE(optimised.Perform());
  ASSERT_TRUE(principal.Perform());
  EXPECT_TRUE(optimised.GetResult()->IsSame(principal.GetResult()));
  ASSERT_EQ(1u, notifier->Texts().size());
  EXPECT_EQ("Cannot build a convex hull for the input mesh.", notifier->Texts()[0]);
}

TEST(algoMesh_OptimizeOBB, SharedModelsGiveTightBoxesTheOptimiserDoesNotEnlarge)
{
  for (const std::string name : {"cad/screw.step", "cad/occt_bottle.brep"})
  {
    const std::string path = testmesh::SharedDataFile(name);
    if (path.empty())
    {
      GTEST_SKIP() << "shared data file " << name << " is absent";
    }
    const TopoDS_Shape shape = ReadShared(path);
    ASSERT_FALSE(shape.IsNull()) << name;
    BRepMesh_IncrementalMesh(shape, 0.05, false, 0.5);
    algoMesh_BuildOBB principal(shape, algoMesh_BuildOBB::Mode_FromMesh, false);
    algoMesh_BuildOBB optimised(shape, algoMesh_BuildOBB::Mode_FromMesh, true);
    ASSERT_TRUE(principal.Perform()) << name;
    ASSERT_TRUE(optimised.Perform()) << name;
    EXPECT_LE(Volume(*optimised.GetResult()), Volume(*principal.GetResult()) * (1 + 1e-9)) << name;
    const Handle(algoMesh_OBB) box = BoxIn(optimised.GetResult()->Placement(), optimised.GetMesh());
    EXPECT_TRUE(box->IsSame(optimised.GetResult())) << name;
  }
}
