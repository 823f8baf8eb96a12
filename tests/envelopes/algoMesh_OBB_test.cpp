#include <MeshBuilders.hxx>

#include <algoMesh_OBB.hxx>

#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace quorin;

namespace
{
Handle(algoMesh_OBB)
    Box(const gp_Pnt& minCorner, const gp_Pnt& maxCorner, const gp_Ax3& placement = gp_Ax3())
{
  return new algoMesh_OBB(placement, minCorner, maxCorner);
}

double VolumeOf(const TopoDS_Shape& shape)
{
  GProp_GProps props;
  BRepGProp::VolumeProperties(shape, props);
  return props.Mass();
}

// A frame at (10, 20, 30) whose X axis is the global Y, Y the global -X and Z the global Z.
gp_Ax3 TurnedFrame()
{
  return gp_Ax3(gp_Pnt(10, 20, 30), gp_Dir(0, 0, 1), gp_Dir(0, 1, 0));
}

void ExpectPoint(const gp_Pnt& expected, const gp_Pnt& actual)
{
  EXPECT_NEAR(expected.X(), actual.X(), 1e-12);
  EXPECT_NEAR(expected.Y(), actual.Y(), 1e-12);
  EXPECT_NEAR(expected.Z(), actual.Z(), 1e-12);
}

std::string Axis(const algoMesh_OBB& box)
{
  gp_Pnt P1, P2;
  box.BuildMedialAxis(P1, P2);
  const gp_XYZ d = P2.XYZ() - P1.XYZ();
  return d.X() > 0 ? "SX" : d.Y() > 0 ? "SY" : "SZ";
}
} // namespace

TEST(algoMesh_OBB, TransformationPlacesLocalCoordinatesInTheFrame)
{
  const Handle(algoMesh_OBB) box = Box(gp_Pnt(0, 0, 0), gp_Pnt(1, 2, 3), TurnedFrame());
  const gp_Trsf T                = box->BuildTrsf();
  ExpectPoint(gp_Pnt(10, 20, 30), gp_Pnt(0, 0, 0).Transformed(T));
  ExpectPoint(gp_Pnt(10 - 2, 20 + 1, 30 + 3), gp_Pnt(1, 2, 3).Transformed(T));
}

TEST(algoMesh_OBB, SolidAndSphereSitInTheBoxInGlobalCoordinates)
{
  const Handle(algoMesh_OBB) box = Box(gp_Pnt(1, 2, 3), gp_Pnt(5, 4, 9), TurnedFrame());
  gp_Trsf            T;
  const TopoDS_Shape solid = box->BuildSolid(T);
  ASSERT_FALSE(solid.IsNull());
  EXPECT_NEAR(4.0 * 2.0 * 6.0, VolumeOf(solid), 1e-9);
  Bnd_Box bounds;
  BRepBndLib::AddOptimal(solid, bounds, false, false);
  double xmin, ymin, zmin, xmax, ymax, zmax;
  bounds.Get(xmin, ymin, zmin, xmax, ymax, zmax);
  EXPECT_NEAR(10 - 4, xmin, 1e-7); // local y in [2, 4] runs along global -X
  EXPECT_NEAR(10 - 2, xmax, 1e-7);
  EXPECT_NEAR(20 + 1, ymin, 1e-7); // local x in [1, 5] runs along global Y
  EXPECT_NEAR(20 + 5, ymax, 1e-7);
  EXPECT_NEAR(30 + 3, zmin, 1e-7);
  EXPECT_NEAR(30 + 9, zmax, 1e-7);

  gp_Trsf            TS;
  const TopoDS_Shape sphere = box->BuildSphere(TS);
  ASSERT_FALSE(sphere.IsNull());
  EXPECT_NEAR(4.0 / 3.0 * M_PI, VolumeOf(sphere), 1e-6); // radius 1: half the 2-unit side
  EXPECT_TRUE(TS.TranslationPart().IsEqual(T.TranslationPart(), 0.0));
}

TEST(algoMesh_OBB, MedialAxisFollowsTheShapeOfTheBox)
{
  EXPECT_EQ("SZ", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 10, 1))));  // flat in Z
  EXPECT_EQ("SY", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 1, 10))));  // flat in Y
  EXPECT_EQ("SX", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(1, 10, 9.6)))); // within 5 %: flat in X
  EXPECT_EQ("SX", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 1, 1))));   // elongated
  EXPECT_EQ("SY", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(1, 10, 2))));
  EXPECT_EQ("SZ", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(3, 3, 3))));     // cube
  EXPECT_EQ("SZ", Axis(*Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 10, 9.8)))); // tie of the longest
  gp_Pnt P1, P2;
  Box(gp_Pnt(1, 2, 3), gp_Pnt(5, 4, 9))->BuildMedialAxis(P1, P2);
  ExpectPoint(gp_Pnt(3, 3, 3), P1); // through the box centre, not the local origin
  ExpectPoint(gp_Pnt(3, 3, 9), P2);
}

TEST(algoMesh_OBB, EquiCylinderHasTheBoxVolume)
{
  const Handle(algoMesh_OBB) box = Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 10, 1), TurnedFrame());
  gp_Trsf            T;
  gp_Ax2             axis;
  const TopoDS_Shape cylinder = box->BuildEquiCylinder(T, axis);
  ASSERT_FALSE(cylinder.IsNull());
  EXPECT_NEAR(100.0, VolumeOf(cylinder), 1e-6);
  ExpectPoint(gp_Pnt(5, 5, 0), axis.Location());
  EXPECT_TRUE(axis.Direction().IsEqual(gp_Dir(0, 0, 1), 1e-12));
  // Height 1, so radius sqrt(100 / pi): the global box is that circle's square, 1 high.
  Bnd_Box bounds;
  BRepBndLib::AddOptimal(cylinder, bounds, false, false);
  double xmin, ymin, zmin, xmax, ymax, zmax;
  bounds.Get(xmin, ymin, zmin, xmax, ymax, zmax);
  EXPECT_NEAR(2.0 * std::sqrt(100.0 / M_PI), xmax - xmin, 1e-6);
  EXPECT_NEAR(1.0, zmax - zmin, 1e-7);
  EXPECT_NEAR(30.0, zmin, 1e-7);
}

TEST(algoMesh_OBB, TightCylinderFitsTheMeshRadius)
{
  // Nodes on a cylinder of radius 4 and height 1 around the global Z axis; its box is
  // 8 x 8 x 1, whose equal-volume cylinder has radius sqrt(64 / pi) = 4.51.
  std::vector<gp_Pnt> nodes;
  for (int i = 0; i < 36; ++i)
  {
    const double a = 2.0 * M_PI * i / 36;
    nodes.emplace_back(4 * std::cos(a), 4 * std::sin(a), 0.0);
    nodes.emplace_back(4 * std::cos(a), 4 * std::sin(a), 1.0);
  }
  const Handle(Poly_Triangulation) mesh = testmesh::Make(nodes, {{1, 2, 3}});
  const Handle(algoMesh_OBB) box        = Box(gp_Pnt(-4, -4, 0), gp_Pnt(4, 4, 1));
  gp_Trsf T;
  testing::internal::CaptureStdout();
  const TopoDS_Shape cylinder = box->BuildTightCylinder(mesh, T);
  const std::string  printed  = testing::internal::GetCapturedStdout();
  ASSERT_FALSE(cylinder.IsNull());
  EXPECT_NEAR(M_PI * 16.0, VolumeOf(cylinder), 0.05 * M_PI * 16.0);
  EXPECT_EQ(0u, printed.find("Optimization result: "));
  EXPECT_NE(std::string::npos, printed.find("\nBest fitness: "));
  EXPECT_TRUE(box->BuildTightCylinder(nullptr, T).IsNull());
}

TEST(algoMesh_OBB, DegenerateBoxGivesNullShapes)
{
  const Handle(algoMesh_OBB) box = Box(gp_Pnt(0, 0, 0), gp_Pnt(10, 10, 1e-8), TurnedFrame());
  gp_Trsf T;
  EXPECT_TRUE(box->BuildSolid(T).IsNull());
  EXPECT_TRUE(T.TranslationPart().IsEqual(gp_XYZ(10, 20, 30), 1e-12)); // still written
  EXPECT_TRUE(box->BuildEquiCylinder(T).IsNull());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(box->BuildTightCylinder(testmesh::Tetra(), T).IsNull());
  EXPECT_EQ("Cylindrical surface not found\n", testing::internal::GetCapturedStdout());
}

TEST(algoMesh_OBB, SameBoxesMayDifferInTheirYDirection)
{
  const Handle(algoMesh_OBB) box = Box(gp_Pnt(0, 0, 0), gp_Pnt(1, 2, 3), TurnedFrame());
  gp_Ax3 leftHanded              = TurnedFrame();
  leftHanded.YReverse();
  EXPECT_TRUE(box->IsSame(Box(gp_Pnt(0, 0, 0), gp_Pnt(1, 2, 3), leftHanded)));
  EXPECT_TRUE(box->IsSame(Box(gp_Pnt(0, 0, 5e-8), gp_Pnt(1, 2, 3))) == false);
  EXPECT_TRUE(box->IsSame(Box(gp_Pnt(0, 0, 5e-8), gp_Pnt(1, 2, 3), TurnedFrame())));
  EXPECT_FALSE(box->IsSame(Box(gp_Pnt(0, 0, 2e-7), gp_Pnt(1, 2, 3), TurnedFrame())));
  EXPECT_FALSE(box->IsSame(nullptr));
}

TEST(algoMesh_OBB, DumpPrintsDirectionsAndCorners)
{
  std::ostringstream out;
  Box(gp_Pnt(-1.5, 0, 2), gp_Pnt(1, 2, 3), TurnedFrame())->Dump(out);
  EXPECT_EQ("\t OBB:\n"
            "\t\t Placement (OX) = <0 1 0>\n"
            "\t\t Placement (OY) = <-1 0 0>\n"
            "\t\t Placement (OZ) = <0 0 1>\n"
            "\t\t Min corner = <-1.5, 0, 2>\n"
            "\t\t Max corner = <1, 2, 3>\n",
            out.str());
}
