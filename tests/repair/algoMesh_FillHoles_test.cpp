#include <algoMesh_FillHoles.hxx>

#include <algoMesh_Conglomerate.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

using quorin::algoMesh_FillHoles;

namespace
{
TopoDS_Shape meshed(const TopoDS_Shape& shape, const double deflection)
{
  BRepMesh_IncrementalMesh(shape, deflection);
  return shape;
}

// The map holding face `index` (1-based, in map order) of the shape.
algoMesh_FillHoles::ShapeMap skipFace(const TopoDS_Shape& shape, const int index)
{
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(shape, TopAbs_FACE, faces);
  algoMesh_FillHoles::ShapeMap skip;
  skip.Add(faces(index));
  return skip;
}

void expectSingleError(const Handle(ActAPI_RecordingNotifier) & notifier, const char* text)
{
  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_STREQ(text, messages[0].Text.ToCString());
  EXPECT_EQ(LogSeverity_Error, messages[0].Severity);
  EXPECT_EQ(LogPriority_Normal, messages[0].Priority);
}
} // namespace

TEST(algoMesh_FillHoles, BoxWithOneFaceLeftOutIsClosedWhenTheHoleFits)
{
  const TopoDS_Shape box = meshed(BRepPrimAPI_MakeBox(2.0, 2.0, 2.0).Shape(), 0.1);
  // The opening is a 2 x 2 square: its bounding sphere has radius sqrt(2).
  algoMesh_FillHoles tooSmall(box, skipFace(box, 1), 1.0, {}, {});
  EXPECT_TRUE(tooSmall.GetResult().IsNull());
  ASSERT_TRUE(tooSmall.Perform());
  EXPECT_EQ(4, testmesh::CountEdges(tooSmall.GetResult()).boundary);

  algoMesh_FillHoles large(box, skipFace(box, 1), 3.0, {}, {});
  ASSERT_TRUE(large.Perform());
  const Handle(Poly_Triangulation) closed = large.GetResult();
  EXPECT_EQ(0, testmesh::CountEdges(closed).boundary);
  EXPECT_EQ(0, testmesh::CountEdges(closed).nonManifold);
  EXPECT_NEAR(8.0, std::abs(testmesh::SignedVolume(closed)), 1e-9);

  // Perform again: the same answer, a new result.
  ASSERT_TRUE(large.Perform());
  EXPECT_NE(closed, large.GetResult());
  EXPECT_EQ(closed->NbTriangles(), large.GetResult()->NbTriangles());
}

TEST(algoMesh_FillHoles, CylinderWithoutItsTopGetsItsCircularOpeningClosed)
{
  const TopoDS_Shape         cylinder = meshed(BRepPrimAPI_MakeCylinder(1.0, 3.0).Shape(), 0.01);
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(cylinder, TopAbs_FACE, faces);
  ASSERT_EQ(3, faces.Extent()); // lateral, top, bottom
  algoMesh_FillHoles filler(cylinder, skipFace(cylinder, 2), 1.5, {}, {});
  ASSERT_TRUE(filler.Perform());
  EXPECT_EQ(0, testmesh::CountEdges(filler.GetResult()).boundary);
  // The fan over the opening encloses what the planar top face's mesh did.
  const Handle(Poly_Triangulation) whole = quorin::algoMesh_Conglomerate(cylinder).GetPlain();
  EXPECT_NEAR(testmesh::SignedVolume(whole), std::abs(testmesh::SignedVolume(filler.GetResult())),
              1e-9);
}

TEST(algoMesh_FillHoles, ZeroHoleSizeFillsNothing)
{
  const TopoDS_Shape box = meshed(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape(), 1.0);
  algoMesh_FillHoles filler(box, skipFace(box, 6), 0.0, {}, {});
  ASSERT_TRUE(filler.Perform());
  EXPECT_EQ(10, filler.GetResult()->NbTriangles());
  EXPECT_EQ(8, filler.GetResult()->NbNodes());
  EXPECT_EQ(4, testmesh::CountEdges(filler.GetResult()).boundary);
}

TEST(algoMesh_FillHoles, NoMeshToWorkOnIsReported)
{
  // Every face left out; a shape never meshed.
  const TopoDS_Shape           box = meshed(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape(), 1.0);
  algoMesh_FillHoles::ShapeMap all;
  TopTools_IndexedMapOfShape   faces;
  TopExp::MapShapes(box, TopAbs_FACE, faces);
  for (int i = 1; i <= faces.Extent(); ++i)
    all.Add(faces(i));
  for (const auto& [shape, skip] :
       {std::make_pair(box, all),
        std::make_pair(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape(), algoMesh_FillHoles::ShapeMap())})
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    algoMesh_FillHoles filler(shape, skip, 10.0, notifier, {});
    EXPECT_FALSE(filler.Perform());
    expectSingleError(notifier, "No mesh was detected.");
    EXPECT_TRUE(filler.GetResult().IsNull());
  }

  // A face compared with a different orientation is not the face left out.
  algoMesh_FillHoles::ShapeMap reversed;
  reversed.Add(faces(1).Reversed());
  algoMesh_FillHoles filler(box, reversed, 0.0, {}, {});
  ASSERT_TRUE(filler.Perform());
  EXPECT_EQ(12, filler.GetResult()->NbTriangles());
}

TEST(algoMesh_FillHoles, NegativeHoleSizeFillsNothingAndNaNIsRefused)
{
  // VTK clamps a negative size to 0: the open box keeps its opening, as with 0.
  const TopoDS_Shape           box   = meshed(BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape(), 1.0);
  const TopoDS_Shape           first = TopExp_Explorer(box, TopAbs_FACE).Current();
  algoMesh_FillHoles::ShapeMap skip;
  skip.Add(first);
  algoMesh_FillHoles negative(box, skip, -1.0, {}, {});
  algoMesh_FillHoles zero(box, skip, 0.0, {}, {});
  ASSERT_TRUE(negative.Perform());
  ASSERT_TRUE(zero.Perform());
  EXPECT_EQ(zero.GetResult()->NbTriangles(), negative.GetResult()->NbTriangles());
  EXPECT_EQ(10, negative.GetResult()->NbTriangles());

  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_FillHoles nan(box, algoMesh_FillHoles::ShapeMap(), std::nan(""), notifier, {});
  EXPECT_FALSE(nan.Perform());
  expectSingleError(notifier, "The hole size must be a number.");
}

TEST(algoMesh_FillHoles, ProgressRisesInStepsThroughTheHealingFilters)
{
  // A closed torus of 60000 triangles: every filter runs its whole course, and the cleaner
  // merges 180000 corners, enough for its locator to report several times.
  const TopoDS_Face face                    = testmesh::FaceOf(testmesh::Torus(3.0, 1.0, 300, 100));
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_FillHoles filler(face, algoMesh_FillHoles::ShapeMap(), 0.0, notifier, {});
  ASSERT_TRUE(filler.Perform());

  const std::vector<double> fractions = notifier->Fractions();
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_GE(fractions.front(), 0.0);
  EXPECT_DOUBLE_EQ(1.0, fractions.back());

  // The filters hold 0.28 .. 0.92 of the run (after the welding's fifth and the conversion
  // to VTK, before the conversion back); the cleaner's merging alone, between its own
  // reports at 0.84 and 0.88, shows up as the three values in between.
  const std::set<double> filters(std::lower_bound(fractions.begin(), fractions.end(), 0.28),
                                 std::upper_bound(fractions.begin(), fractions.end(), 0.92));
  EXPECT_GE(filters.size(), 20u);
  const std::set<double> merging(std::upper_bound(filters.begin(), filters.end(), 0.845),
                                 std::lower_bound(filters.begin(), filters.end(), 0.875));
  EXPECT_EQ(3u, merging.size());
}
