#include <algoMesh_Obfuscate.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>

#include <gtest/gtest.h>

#include <ctime>

using quorin::algoMesh_Obfuscate;

namespace
{
TopoDS_Shape meshed(const TopoDS_Shape& shape, const double deflection)
{
  BRepMesh_IncrementalMesh(shape, deflection);
  return shape;
}

// Exact equality of two coordinate triples.
bool same(const gp_XYZ& a, const gp_XYZ& b)
{
  return a.X() == b.X() && a.Y() == b.Y() && a.Z() == b.Z();
}

TopTools_IndexedMapOfShape facesOf(const TopoDS_Shape& shape)
{
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(shape, TopAbs_FACE, faces);
  return faces;
}

Handle(Poly_Triangulation) meshOf(const TopoDS_Shape& face)
{
  TopLoc_Location location;
  return BRep_Tool::Triangulation(TopoDS::Face(face), location);
}

// Checks that every meshed input face was replaced, as the history tells, by a face
// without surface carrying its nodes moved by Distort, and answers the number replaced.
int expectFacesReplaced(const algoMesh_Obfuscate& obfuscate, const TopoDS_Shape& input)
{
  const TopTools_IndexedMapOfShape inputFaces  = facesOf(input);
  const TopTools_IndexedMapOfShape resultFaces = facesOf(obfuscate.GetResult());
  EXPECT_EQ(inputFaces.Extent(), resultFaces.Extent());
  int replaced = 0;
  for (int i = 1; i <= inputFaces.Extent(); ++i)
  {
    const Handle(Poly_Triangulation) before = meshOf(inputFaces(i));
    const TopTools_ListOfShape& modified    = obfuscate.GetHistory()->Modified(inputFaces(i));
    if (before.IsNull())
    {
      EXPECT_TRUE(modified.IsEmpty());
      continue;
    }
    EXPECT_EQ(1, modified.Extent());
    const TopoDS_Shape& newFace = modified.First();
    EXPECT_TRUE(resultFaces.Contains(newFace)) << "face " << i;
    EXPECT_TRUE(BRep_Tool::Surface(TopoDS::Face(newFace)).IsNull());
    EXPECT_TRUE(newFace.Location().IsIdentity());
    EXPECT_EQ(inputFaces(i).Orientation(), newFace.Orientation());
    const Handle(Poly_Triangulation) after = meshOf(newFace);
    EXPECT_NE(before, after);
    EXPECT_EQ(before->NbTriangles(), after->NbTriangles());
    EXPECT_EQ(before->NbNodes(), after->NbNodes());
    for (int n = 1; n <= before->NbNodes(); ++n)
      EXPECT_TRUE(after->Node(n).XYZ().IsEqual(obfuscate.Distort(before->Node(n).XYZ()), 1e-12));
    ++replaced;
  }
  return replaced;
}
} // namespace

TEST(algoMesh_Obfuscate, ZeroCoefficientsKeepEveryNodeButDropTheSurfaces)
{
  const TopoDS_Shape box      = meshed(BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shape(), 1.0);
  const double       bounds[] = {0, 0, 0, 10, 20, 30};
  const double       ranges[] = {0, 0, 0, 0, 0, 0};
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  EXPECT_TRUE(obfuscate.GetResult().IsNull());
  EXPECT_TRUE(obfuscate.GetHistory().IsNull());
  ASSERT_TRUE(obfuscate.Perform(box));
  EXPECT_TRUE(same(gp_XYZ(1, 2, 3), obfuscate.Distort(gp_XYZ(1, 2, 3))));
  EXPECT_EQ(6, expectFacesReplaced(obfuscate, box));
  // The input keeps its surfaces.
  const TopTools_IndexedMapOfShape faces = facesOf(box);
  for (int i = 1; i <= faces.Extent(); ++i)
    EXPECT_FALSE(BRep_Tool::Surface(TopoDS::Face(faces(i))).IsNull());
}

TEST(algoMesh_Obfuscate, UnitCoefficientDoublesTheBoundaryDistanceFromTheCentre)
{
  const TopoDS_Shape box      = meshed(BRepPrimAPI_MakeBox(10.0, 10.0, 10.0).Shape(), 1.0);
  const double       bounds[] = {0, 0, 0, 10, 10, 10};
  const double       ranges[] = {1, 0, 0, 1, 0, 0}; // kx = 1, ky = kz = 0
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  ASSERT_TRUE(obfuscate.Perform(box));
  EXPECT_TRUE(same(gp_XYZ(1, 0, 0), obfuscate.GetCoefficients()));
  const double cx = obfuscate.GetCentre().X();
  EXPECT_GE(cx, 0.0);
  EXPECT_LE(cx, 9.9 + 1e-12);
  EXPECT_NEAR(cx + 2.0 * (10.0 - cx), obfuscate.Distort(gp_XYZ(10, 3, 4)).X(), 1e-12);
  EXPECT_NEAR(cx, obfuscate.Distort(gp_XYZ(cx, 3, 4)).X(), 1e-12);
  EXPECT_EQ(3.0, obfuscate.Distort(gp_XYZ(10, 3, 4)).Y());
  // Halfway to the upper bound: t = 1/2, so the distance grows by half.
  const double half = cx + 0.5 * (10.0 - cx);
  EXPECT_NEAR(cx + 0.75 * (10.0 - cx), obfuscate.Distort(gp_XYZ(half, 0, 0)).X(), 1e-12);
  EXPECT_EQ(6, expectFacesReplaced(obfuscate, box));
}

TEST(algoMesh_Obfuscate, SameSecondSameArgumentsDistortAlike)
{
  const double bounds[] = {-1, -2, -3, 4, 5, 6};
  const double ranges[] = {0.1, 0.2, 0.3, 0.5, 0.6, 0.7};
  // Built in one second (retried when a second boundary falls between them).
  for (int attempt = 0; attempt < 5; ++attempt)
  {
    const std::time_t  start = std::time(nullptr);
    algoMesh_Obfuscate first(bounds, ranges, {}, {});
    algoMesh_Obfuscate second(bounds, ranges, {}, {});
    if (std::time(nullptr) != start)
      continue;
    EXPECT_TRUE(same(first.GetCoefficients(), second.GetCoefficients()));
    EXPECT_TRUE(same(first.GetCentre(), second.GetCentre()));
    for (int axis = 1; axis <= 3; ++axis) // drawn inside the ranges and the box
    {
      EXPECT_GE(first.GetCoefficients().Coord(axis), ranges[axis - 1]);
      EXPECT_LT(first.GetCoefficients().Coord(axis), ranges[axis + 2]);
      EXPECT_GE(first.GetCentre().Coord(axis), bounds[axis - 1]);
      EXPECT_LT(first.GetCentre().Coord(axis), bounds[axis + 2]);
    }
    return;
  }
  GTEST_SKIP() << "no two constructions fell within one second";
}

TEST(algoMesh_Obfuscate, CylinderRepeatedPerformDistortsAlike)
{
  const TopoDS_Shape cylinder = meshed(BRepPrimAPI_MakeCylinder(2.0, 5.0).Shape(), 0.05);
  const double       bounds[] = {-2, -2, 0, 2, 2, 5};
  const double       ranges[] = {0.2, 0.2, 0.2, 0.4, 0.4, 0.4};
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  ASSERT_TRUE(obfuscate.Perform(cylinder));
  EXPECT_EQ(3, expectFacesReplaced(obfuscate, cylinder));
  const TopoDS_Shape first = obfuscate.GetResult();
  ASSERT_TRUE(obfuscate.Perform(cylinder));
  EXPECT_FALSE(first.IsSame(obfuscate.GetResult()));
  EXPECT_EQ(3, expectFacesReplaced(obfuscate, cylinder));
  // The solid and shell structure is kept.
  TopTools_IndexedMapOfShape solids;
  TopExp::MapShapes(obfuscate.GetResult(), TopAbs_SOLID, solids);
  EXPECT_EQ(1, solids.Extent());
}

TEST(algoMesh_Obfuscate, LoneFaceIsReplacedAsAWhole)
{
  const TopoDS_Shape box      = meshed(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape(), 1.0);
  const TopoDS_Shape face     = facesOf(box)(1);
  const double       bounds[] = {0, 0, 0, 1, 1, 1};
  const double       ranges[] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  ASSERT_TRUE(obfuscate.Perform(face));
  EXPECT_EQ(1, expectFacesReplaced(obfuscate, face));
  EXPECT_EQ(TopAbs_FACE, obfuscate.GetResult().ShapeType());
}

TEST(algoMesh_Obfuscate, BottleFacesAreAllReplaced)
{
  const std::string path = testmesh::SharedDataFile("cad/occt_bottle.brep");
  if (path.empty())
    GTEST_SKIP() << "shared data absent: cad/occt_bottle.brep";
  TopoDS_Shape bottle;
  ASSERT_TRUE(BRepTools::Read(bottle, path.c_str(), BRep_Builder()));
  meshed(bottle, 0.5);
  const double       bounds[] = {-35.29, -15.29, -0.289969, 35.29, 15.29, 55.29};
  const double       ranges[] = {0.1, 0.1, 0.1, 0.3, 0.3, 0.3};
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  ASSERT_TRUE(obfuscate.Perform(bottle));
  EXPECT_EQ(71, expectFacesReplaced(obfuscate, bottle));
}

TEST(algoMesh_Obfuscate, ShapesWithoutMeshOrWithoutContentAreHandled)
{
  const double bounds[] = {0, 0, 0, 1, 1, 1};
  const double ranges[] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5};

  // Faces without triangulation are kept: nothing to replace.
  const TopoDS_Shape bare = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  algoMesh_Obfuscate obfuscate(bounds, ranges, {}, {});
  ASSERT_TRUE(obfuscate.Perform(bare));
  EXPECT_EQ(0, expectFacesReplaced(obfuscate, bare));

  // A null shape cannot be copied; the earlier result and history stay.
  const TopoDS_Shape kept                   = obfuscate.GetResult();
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_Obfuscate failing(bounds, ranges, notifier, {});
  EXPECT_FALSE(failing.Perform(TopoDS_Shape()));
  ASSERT_EQ(1u, notifier->Messages().size());
  EXPECT_STREQ("Failed to copy shape.", notifier->Messages()[0].Text.ToCString());
  EXPECT_EQ(LogSeverity_Error, notifier->Messages()[0].Severity);
  EXPECT_TRUE(failing.GetResult().IsNull());
  EXPECT_TRUE(failing.GetHistory().IsNull());

  // Null arguments count as zeros: nothing moves.
  algoMesh_Obfuscate unset(nullptr, nullptr, {}, {});
  EXPECT_TRUE(same(gp_XYZ(3, -4, 5), unset.Distort(gp_XYZ(3, -4, 5))));
}
