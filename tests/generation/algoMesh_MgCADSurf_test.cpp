#include <MeshBuilders.hxx>

#include <algoMesh_HexaOptions.hxx>
#include <algoMesh_MgCADSurf.hxx>
#include <algoMesh_MgHexa.hxx>
#include <algoMesh_MgTetra.hxx>
#include <algoMesh_SurfOptions.hxx>
#include <algoMesh_TetraOptions.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepPrimAPI_MakeBox.hxx>
#include <MorvDS_MeshElement.hxx>

#include <gtest/gtest.h>

using namespace quorin;

TEST(algoMesh_MgCADSurf, OptionDefaults)
{
  const Handle(algoMesh_SurfOptions) surf = algoMesh_SurfOptions::Default();
  EXPECT_TRUE(surf->Flag1);
  EXPECT_FALSE(surf->Flag2);
  for (const double value : {surf->Real1, surf->Real2, surf->Real3, surf->Real4, surf->Real5})
  {
    EXPECT_EQ(value, 0.0);
  }
  EXPECT_EQ(algoMesh_HexaOptions::Default()->Real1, -1.0);
  EXPECT_EQ(algoMesh_HexaOptions::Default()->Real2, -1.0);
  EXPECT_EQ(algoMesh_TetraOptions::Default()->Real1, -1.0);
  EXPECT_EQ(algoMesh_TetraOptions::Default()->Real2, -1.0);
  EXPECT_STREQ(surf->DynamicType()->Name(), "algoMesh_SurfOptions");
}

TEST(algoMesh_MgCADSurf, AllThreeMeshersReportTheMissingModule)
{
  Handle(ActAPI_RecordingNotifier) notifier    = new ActAPI_RecordingNotifier();
  const Handle(algoMesh_MgSurfAdaptor) surface = new algoMesh_MgSurfAdaptor(testmesh::Tetra());

  Handle(algoMesh_MgSurfOutput) surfOutput       = new algoMesh_MgSurfOutput(1, 1, 0);
  const Handle(algoMesh_MgSurfOutput) surfBefore = surfOutput;
  Handle(algoMesh_MgCADSurf) cadSurf =
      new algoMesh_MgCADSurf(BRepPrimAPI_MakeBox(1, 1, 1).Shape(), notifier, ActAPI_PlotterEntry());
  EXPECT_FALSE(cadSurf->Perform(algoMesh_SurfOptions::Default(), surfOutput, nullptr));
  EXPECT_EQ(surfOutput, surfBefore);

  Handle(algoMesh_MgHexaOutput) hexaOutput;
  Handle(algoMesh_MgHexa) hexa = new algoMesh_MgHexa(surface, notifier, ActAPI_PlotterEntry());
  EXPECT_FALSE(hexa->Perform(algoMesh_HexaOptions::Default(), hexaOutput));
  EXPECT_TRUE(hexaOutput.IsNull());

  Handle(algoMesh_MgTetraOutput) tetraOutput;
  Handle(algoMesh_MgTetra) tetra = new algoMesh_MgTetra(surface, notifier, ActAPI_PlotterEntry());
  EXPECT_FALSE(tetra->Perform(algoMesh_TetraOptions::Default(), tetraOutput));
  EXPECT_TRUE(tetraOutput.IsNull());

  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(messages.size(), 3u);
  for (const ActAPI_LogMessage& message : messages)
  {
    EXPECT_STREQ(message.Text.ToCString(), "The MeshGems integrated module is not available. "
                                           "Please contact support for details.");
    EXPECT_EQ(message.Priority, LogPriority_High);
    EXPECT_EQ(message.Severity, LogSeverity_Error);
    EXPECT_EQ(message.Arguments.Size(), 0);
  }
  EXPECT_STREQ(hexa->DynamicType()->Name(), "algoMesh_MgHexa");
  EXPECT_STREQ(hexa->DynamicType()->Parent()->Name(), "ActAPI_IAlgorithm");
}

TEST(algoMesh_MgSurfAdaptor, OneBasedViewOfASingleTriangle)
{
  const Handle(Poly_Triangulation) mesh =
      testmesh::Triangle(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(0, 1, 0));
  algoMesh_MgSurfAdaptor adaptor(mesh);
  EXPECT_EQ(adaptor.GetNumVertices(), 3);
  EXPECT_EQ(adaptor.GetNumTriangles(), 1);
  EXPECT_EQ(adaptor.GetNumEdges(), 3);

  int a = 0, b = 0, c = 0;
  EXPECT_FALSE(adaptor.GetTriangle(0, a, b, c));
  ASSERT_TRUE(adaptor.GetTriangle(1, a, b, c));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);

  gp_Pnt point;
  ASSERT_TRUE(adaptor.GetVertex(2, point));
  EXPECT_EQ(point.X(), 1.0);

  for (int edge = 1; edge <= 3; ++edge)
  {
    ASSERT_TRUE(adaptor.GetEdge(edge, a, b));
    EXPECT_NE(a, b);
    EXPECT_TRUE(a >= 1 && a <= 3 && b >= 1 && b <= 3);
  }
  EXPECT_FALSE(adaptor.GetEdge(4, a, b));

  int  index = 0;
  bool same  = false;
  ASSERT_TRUE(adaptor.FindTriangle(2, 3, 1, index, same));
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(same);
  ASSERT_TRUE(adaptor.FindTriangle(1, 3, 2, index, same));
  EXPECT_FALSE(same);
  EXPECT_FALSE(adaptor.FindTriangle(1, 2, 2, index, same));
}

TEST(algoMesh_MgVolumeOutputs, ElementsAreTaggedOnlyWhenCreatedWithAPositiveTag)
{
  algoMesh_MgHexaOutput hexa;
  for (int i = 0; i < 8; ++i)
  {
    ASSERT_TRUE(hexa.AddNodeWithID(i & 1, (i >> 1) & 1, (i >> 2) & 1, i + 1));
  }
  EXPECT_FALSE(hexa.AddNodeWithID(0, 0, 0, 3)); // number in use
  const int untagged = hexa.AddHexahedron(1, 2, 4, 3, 5, 6, 8, 7, 0);
  EXPECT_NE(untagged, 0);
  EXPECT_FALSE(hexa.GetTags().IsBound(untagged));
  const int quad = hexa.AddQuadrangle(1, 2, 4, 3, 7);
  ASSERT_NE(quad, 0);
  EXPECT_EQ(hexa.GetTags().Find(quad), 7);
  EXPECT_EQ(hexa.AddTriangle(1, 1, 2, 5), 0); // refused: repeated node, not tagged
  EXPECT_EQ(hexa.GetTags().Extent(), 1);
  EXPECT_TRUE(hexa.GetPairs().IsEmpty());
  EXPECT_EQ(hexa.GetMesh()->NbElements(), 2);

  algoMesh_MgTetraOutput tetra;
  for (int i = 1; i <= 4; ++i)
  {
    ASSERT_TRUE(tetra.AddNodeWithID(i == 2, i == 3, i == 4, i));
  }
  const int volume = tetra.AddTetrahedron(1, 2, 3, 4, 2);
  ASSERT_NE(volume, 0);
  EXPECT_EQ(tetra.GetTags().Find(volume), 2);
  EXPECT_EQ(tetra.AddTetrahedron(1, 2, 3, 9, 2), 0); // unknown node
  EXPECT_TRUE(tetra.GetMesh()->FindElement(volume)->IsKind(STANDARD_TYPE(MorvDS_MeshElement)));
}

TEST(algoMesh_MgSurfOutput, QuadranglesTakeTwoTriangleSlots)
{
  algoMesh_MgSurfOutput output(4, 1, 2);
  EXPECT_EQ(output.GetResult()->NbNodes(), 4);
  EXPECT_EQ(output.GetResult()->NbTriangles(), 5);
  EXPECT_FALSE(output.GetResult()->HasUVNodes());
  EXPECT_TRUE(output.SetQuadrangle(2, 1, 2, 3, 4, 9));
  EXPECT_EQ(output.GetTags().Find(3), 9);
  EXPECT_FALSE(output.SetQuadrangle(5, 1, 2, 3, 4, 9)); // second slot beyond the end
  EXPECT_FALSE(output.SetNode(5, 0, 0, 0));
  // No element at all: an empty mesh rather than a failure.
  EXPECT_EQ(algoMesh_MgSurfOutput(0, 0, 0).GetResult()->NbTriangles(), 0);
}
