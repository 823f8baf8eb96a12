#include <algoBase_TopoKill.hxx>

#include <BRepCheck_Analyzer.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Iterator.hxx>

#include <gtest/gtest.h>

namespace
{
int count(const TopoDS_Shape& shape, const TopAbs_ShapeEnum type)
{
  TopTools_IndexedMapOfShape map;
  TopExp::MapShapes(shape, type, map);
  return map.Extent();
}

TopoDS_Shape subShape(const TopoDS_Shape& shape, const TopAbs_ShapeEnum type, const int index)
{
  TopTools_IndexedMapOfShape map;
  TopExp::MapShapes(shape, type, map);
  return map(index);
}

// The same face on a new face entity: same surface and wires, a different identity.
TopoDS_Shape twinOf(const TopoDS_Shape& face)
{
  TopoDS_Shape twin = face.EmptyCopied();
  BRep_Builder builder;
  for (TopoDS_Iterator it(face); it.More(); it.Next())
    builder.Add(twin, it.Value());
  return twin;
}

double volumeOf(const TopoDS_Shape& shape)
{
  GProp_GProps props;
  BRepGProp::VolumeProperties(shape, props);
  return props.Mass();
}
} // namespace

TEST(algoBase_TopoKill, ReplacedFaceTakesItsPlaceInAValidSolid)
{
  const TopoDS_Shape box  = BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape();
  const TopoDS_Shape old  = subShape(box, TopAbs_FACE, 1);
  const TopoDS_Shape twin = twinOf(old);

  Handle(algoBase_TopoKill) killer = new algoBase_TopoKill(box);
  ASSERT_TRUE(killer->AskReplace(old, twin));
  ASSERT_TRUE(killer->Apply());
  const TopoDS_Shape& result = killer->GetResult();

  EXPECT_TRUE(BRepCheck_Analyzer(result).IsValid());
  EXPECT_NEAR(6.0, volumeOf(result), 1e-9);
  EXPECT_EQ(6, count(result, TopAbs_FACE));
  EXPECT_EQ(12, count(result, TopAbs_EDGE)); // faces still share their edges
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(result, TopAbs_FACE, faces);
  EXPECT_TRUE(faces.Contains(twin));
  EXPECT_FALSE(faces.Contains(old));
  for (int i = 2; i <= 6; ++i) // the other faces are kept as they stand
    EXPECT_TRUE(faces.Contains(subShape(box, TopAbs_FACE, i)));
  // The input still holds its own face.
  EXPECT_TRUE(subShape(box, TopAbs_FACE, 1).IsEqual(old));
}

TEST(algoBase_TopoKill, SharedSubShapesAreRebuiltOnce)
{
  // A vertex of three edges and three faces: every rebuilt face must use the same
  // rebuilt edges, or the solid falls apart into loose faces.
  const TopoDS_Shape box    = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  const TopoDS_Shape vertex = subShape(box, TopAbs_VERTEX, 1);
  TopoDS_Vertex      moved;
  BRep_Builder().MakeVertex(moved, BRep_Tool::Pnt(TopoDS::Vertex(vertex)), 1e-7);

  algoBase_TopoKill killer(box);
  ASSERT_TRUE(killer.AskReplace(vertex, moved.Oriented(vertex.Orientation())));
  ASSERT_TRUE(killer.Apply());
  EXPECT_EQ(8, count(killer.GetResult(), TopAbs_VERTEX));
  EXPECT_EQ(12, count(killer.GetResult(), TopAbs_EDGE));
  EXPECT_EQ(6, count(killer.GetResult(), TopAbs_FACE));
  EXPECT_TRUE(BRepCheck_Analyzer(killer.GetResult()).IsValid());
}

TEST(algoBase_TopoKill, ReversedRequestReplacesWithReversedFace)
{
  const TopoDS_Shape box  = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  const TopoDS_Shape old  = subShape(box, TopAbs_FACE, 2);
  const TopoDS_Shape twin = twinOf(old.Oriented(TopAbs_FORWARD));

  algoBase_TopoKill killer(box);
  // Asked on the opposite orientation: the occurrence in the box gets the twin reversed.
  ASSERT_TRUE(killer.AskReplace(old.Reversed(), twin));
  ASSERT_TRUE(killer.Apply());
  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(killer.GetResult(), TopAbs_FACE, faces);
  const int index = faces.FindIndex(twin);
  ASSERT_GT(index, 0);
  EXPECT_EQ(TopAbs::Reverse(old.Orientation()), faces(index).Orientation());
}

TEST(algoBase_TopoKill, RefusesWhatItCannotReplace)
{
  const TopoDS_Shape box   = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  const TopoDS_Shape other = BRepPrimAPI_MakeBox(2.0, 2.0, 2.0).Shape();
  const TopoDS_Shape face  = subShape(box, TopAbs_FACE, 1);
  const TopoDS_Shape twin  = twinOf(face);

  algoBase_TopoKill killer(box);
  EXPECT_FALSE(killer.AskReplace(TopoDS_Shape(), twin));                  // null old
  EXPECT_FALSE(killer.AskReplace(face, TopoDS_Shape()));                  // null new
  EXPECT_FALSE(killer.AskReplace(subShape(other, TopAbs_FACE, 1), twin)); // not inside
  EXPECT_FALSE(killer.AskReplace(face, subShape(box, TopAbs_EDGE, 1)));   // another kind
  EXPECT_TRUE(killer.AskReplace(face, twin));
  EXPECT_TRUE(killer.AskReplace(face, twin));          // the same again
  EXPECT_FALSE(killer.AskReplace(face, twinOf(face))); // a second one
  EXPECT_EQ(1, killer.NbReplacements());

  algoBase_TopoKill whole(box); // the whole shape replaced: the replacement is the result
  ASSERT_TRUE(whole.AskReplace(box.Reversed(), other));
  ASSERT_TRUE(whole.Apply());
  EXPECT_TRUE(whole.GetResult().IsEqual(other.Reversed()));

  algoBase_TopoKill nothing(box); // no request: the shape itself
  ASSERT_TRUE(nothing.Apply());
  EXPECT_TRUE(nothing.GetResult().IsEqual(box));

  algoBase_TopoKill empty{TopoDS_Shape()};
  EXPECT_FALSE(empty.Apply());
  EXPECT_FALSE(empty.IsDone());
}
