#include "GenerationChecks.hxx"

#include <algoMesh_ExtGen.hxx>
#include <algoMesh_MgCADSurf.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

using namespace quorin;

namespace
{

// A cube whose bounding-box diagonal is 10.
TopoDS_Shape cubeOfDiagonal10()
{
  const double side = 10.0 / std::sqrt(3.0);
  return BRepPrimAPI_MakeBox(side, side, side).Shape();
}

int nbTriangles(const TopoDS_Shape& shape)
{
  int count = 0;
  for (TopExp_Explorer faces(shape, TopAbs_FACE); faces.More(); faces.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(faces.Current()), location);
    count += mesh.IsNull() ? 0 : mesh->NbTriangles();
  }
  return count;
}

} // namespace

TEST(algoMesh_ExtGen, NativeDeflectionIsFivePercentOfTheDiagonalWhenNotGiven)
{
  // A sphere whose bounding box has diagonal 10: the automatic deflection is 0.5, which
  // the kernel's mesher at 0.5 reproduces node for node (and 0.3 does not).
  const TopoDS_Shape sphere      = BRepPrimAPI_MakeSphere(5.0 / std::sqrt(3.0)).Shape();
  const auto         kernelCount = [&](const double deflection)
  {
    BRepTools::Clean(sphere);
    BRepMesh_IncrementalMesh(sphere, deflection, false, 1.0, true);
    return nbTriangles(sphere);
  };
  const int atHalf = kernelCount(0.5);
  ASSERT_NE(atHalf, kernelCount(0.3));

  ASSERT_TRUE(algoMesh_ExtGen::DoNative(sphere, 0.0, 1.0, ActAPI_ProgressEntry()));
  EXPECT_EQ(nbTriangles(sphere), atHalf);
  // 1e-6 still counts as "not given"; a given value is used as it stands.
  ASSERT_TRUE(algoMesh_ExtGen::DoNative(sphere, 1e-6, 1.0, ActAPI_ProgressEntry()));
  EXPECT_EQ(nbTriangles(sphere), atHalf);
  ASSERT_TRUE(algoMesh_ExtGen::DoNative(sphere, 0.3, 1.0, ActAPI_ProgressEntry()));
  EXPECT_EQ(nbTriangles(sphere), kernelCount(0.3));
}

TEST(algoMesh_ExtGen, NativeAngleBelowATenthOfARadianBecomesOne)
{
  const TopoDS_Shape cylinder    = BRepPrimAPI_MakeCylinder(5.0, 2.0).Shape();
  const auto         kernelCount = [&](const double angle)
  {
    BRepTools::Clean(cylinder);
    BRepMesh_IncrementalMesh(cylinder, 1.0, false, angle, true);
    return nbTriangles(cylinder);
  };
  const int atOne    = kernelCount(1.0);
  const int atPoint3 = kernelCount(0.3);
  ASSERT_NE(atOne, atPoint3);

  ASSERT_TRUE(algoMesh_ExtGen::DoNative(cylinder, 1.0, 0.05, ActAPI_ProgressEntry()));
  EXPECT_EQ(nbTriangles(cylinder), atOne);
  ASSERT_TRUE(algoMesh_ExtGen::DoNative(cylinder, 1.0, 0.3, ActAPI_ProgressEntry()));
  EXPECT_EQ(nbTriangles(cylinder), atPoint3);
}

TEST(algoMesh_ExtGen, NativeLeavesExcludedFacesBare)
{
  const TopoDS_Shape       box = BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape();
  algoMesh_ExtGen::FaceMap excluded;
  TopExp_Explorer          faces(box, TopAbs_FACE);
  excluded.Add(faces.Current());
  faces.Next();
  excluded.Add(faces.Current());
  ASSERT_TRUE(algoMesh_ExtGen::DoNative(box, 0.1, 0.5, excluded, ActAPI_ProgressEntry()));
  int meshed = 0;
  for (TopExp_Explorer it(box, TopAbs_FACE); it.More(); it.Next())
  {
    TopLoc_Location location;
    const bool hasMesh = !BRep_Tool::Triangulation(TopoDS::Face(it.Current()), location).IsNull();
    EXPECT_EQ(hasMesh, !excluded.Contains(it.Current()));
    meshed += hasMesh ? 1 : 0;
  }
  EXPECT_EQ(meshed, 4);

  // A face of the same underlying face with the other orientation is a different face.
  algoMesh_ExtGen::FaceMap reversed;
  reversed.Add(TopExp_Explorer(box, TopAbs_FACE).Current().Reversed());
  EXPECT_EQ(algoMesh_FaceSelection::KeptFaces(box, reversed).NbChildren(), 6);

  // Nothing left to mesh.
  for (TopExp_Explorer it(box, TopAbs_FACE); it.More(); it.Next())
  {
    excluded.Add(it.Current());
  }
  EXPECT_FALSE(algoMesh_ExtGen::DoNative(box, 0.1, 0.5, excluded, ActAPI_ProgressEntry()));
}

TEST(algoMesh_ExtGen, AcceptanceAndAutomaticDeflection)
{
  EXPECT_FALSE(algoMesh_ExtGen::IsAccepted(TopoDS_Shape()));
  EXPECT_TRUE(algoMesh_ExtGen::IsAccepted(cubeOfDiagonal10()));

  TopoDS_Compound edges;
  BRep_Builder    builder;
  builder.MakeCompound(edges);
  builder.Add(edges, BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0)).Edge());
  EXPECT_FALSE(algoMesh_ExtGen::IsAccepted(edges));
  // A face without surface (a bare triangulation) is not accepted either.
  EXPECT_FALSE(algoMesh_ExtGen::IsAccepted(testmesh::FaceOf(testmesh::Tetra())));
  EXPECT_FALSE(algoMesh_ExtGen::DoNative(edges, 0.0, 0.0, ActAPI_ProgressEntry()));

  TopoDS_Compound empty;
  builder.MakeCompound(empty);
  double deflection = 42.0;
  EXPECT_FALSE(algoMesh_ExtGen::GetAdaptiveLinearDeflection(empty, deflection, 0.05));
  EXPECT_EQ(deflection, 42.0);
  EXPECT_TRUE(algoMesh_ExtGen::GetAdaptiveLinearDeflection(cubeOfDiagonal10(), deflection, 0.1));
  EXPECT_NEAR(deflection, 1.0, 1e-5);
}

TEST(algoMesh_ExtGen, MeshGemsReportsTheMissingModule)
{
  const TopoDS_Shape box                    = BRepPrimAPI_MakeBox(1.0, 1.0, 1.0).Shape();
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) result         = testmesh::Tetra();
  const Handle(Poly_Triangulation) before   = result;
  EXPECT_FALSE(algoMesh_ExtGen::DoMeshGems(box, algoMesh_SurfOptions::Default(), result, notifier));
  EXPECT_FALSE(algoMesh_ExtGen::DoMeshGems(box, algoMesh_SurfOptions::Default(), result,
                                           algoMesh_ExtGen::FaceMap(), notifier));
  EXPECT_EQ(result, before);
  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const ActAPI_LogMessage& message : messages)
  {
    EXPECT_STREQ(message.Text.ToCString(), "The MeshGems integrated module is not available. "
                                           "Please contact support for details.");
    EXPECT_EQ(message.Priority, LogPriority_High);
    EXPECT_EQ(message.Severity, LogSeverity_Error);
  }
}

TEST(algoMesh_ExtGen, ZeltMeshOfKeptFacesIsOpenWhereFacesWereLeftOut)
{
  const TopoDS_Shape       box = BRepPrimAPI_MakeBox(2.0, 2.0, 2.0).Shape();
  algoMesh_ExtGen::FaceMap excluded;
  excluded.Add(TopExp_Explorer(box, TopAbs_FACE).Current());
  Handle(algoMesh_SurfOptions) options = algoMesh_SurfOptions::Default();
  options->Real1                       = 0.5;
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(algoMesh_ExtGen::DoZeltMesh(box, options, result, excluded, ActAPI_ProgressEntry()));
  ASSERT_FALSE(result.IsNull());
  // The open side is a square of 4 x 4 edges of length 0.5.
  const testmesh::EdgeCounts edges = testmesh::CountEdges(result);
  EXPECT_EQ(edges.boundary, 16);
  EXPECT_EQ(edges.nonManifold, 0);
}
