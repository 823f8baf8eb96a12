#include <MeshBuilders.hxx>

#include <algoMesh_MSH.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <ActAPI_Variables.hxx>

#include <gtest/gtest.h>

#include <fstream>

using namespace quorin;

namespace
{

typedef NCollection_Vector<Handle(algoMesh_FieldFrame)> Frames;

const Standard_GUID THE_OWNER("2a6f3b1e-4c7d-4e2f-9a1b-3c5d7e9f1a2b");

std::string spit(const std::string& name, const std::string& text)
{
  const std::string path = testmesh::TempPath(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

//! Result of one read.
struct MshRead
{
  bool IsOk = false;
  Handle(MorvDS_Mesh) Mesh;
  Frames Frames_;
  Handle(ActAPI_RecordingNotifier) Notifier = new ActAPI_RecordingNotifier();
};

MshRead read(const std::string& path)
{
  MshRead result;
  result.IsOk =
      algoMesh_MSH::Read(path.c_str(), result.Mesh, result.Frames_, THE_OWNER, result.Notifier);
  return result;
}

MshRead readText(const std::string& text)
{
  return read(spit("t.msh", text));
}

std::vector<int> elementNodes(const Handle(MorvDS_Mesh) & mesh, const int id)
{
  std::vector<int> ids;
  const Handle(MorvDS_MeshElement) element = mesh->FindElement(id);
  for (int i = 0; !element.IsNull() && i < element->NbNodes(); ++i)
  {
    ids.push_back(element->NodeID(i));
  }
  return ids;
}

const std::string THE_HEAD  = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
const std::string THE_NODES = "$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n$EndNodes\n";

} // namespace

TEST(algoMesh_MSH, SharedFilesReadWithTheirCounts)
{
  const std::string hex    = testmesh::DataFile("msh/hex_transfinite.msh");
  MshRead           result = read(hex);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(375, result.Mesh->NbNodes());
  testmesh::ElementCounts counts = testmesh::CountElements(result.Mesh);
  EXPECT_EQ(144, counts.edges);
  EXPECT_EQ(288, counts.quadrangles);
  EXPECT_EQ(192, counts.hexahedra);
  EXPECT_EQ(24, counts.zeroD);
  // The announcement is the only message.
  ASSERT_EQ(1u, result.Notifier->Messages().size());
  EXPECT_EQ("Reading file '%1'.", std::string(result.Notifier->Messages()[0].Text.ToCString()));
  EXPECT_EQ(LogSeverity_Info, result.Notifier->Messages()[0].Severity);

  const std::string t1  = testmesh::SharedDataFile("msh/t1_tri2d_physical.msh");
  const std::string t20 = testmesh::SharedDataFile("msh/t20_step_tets_views.msh");
  if (t1.empty() || t20.empty())
  {
    GTEST_SKIP() << "shared data folder /work/shared/data/msh is absent";
  }
  result = read(t1);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(403, result.Mesh->NbNodes());
  counts = testmesh::CountElements(result.Mesh);
  EXPECT_EQ(70, counts.edges);
  EXPECT_EQ(724, counts.triangles);

  result = read(t20);
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(306, result.Mesh->NbNodes());
  counts = testmesh::CountElements(result.Mesh);
  EXPECT_EQ(612, counts.triangles);
  EXPECT_EQ(860, counts.tetrahedra);
  ASSERT_EQ(3, result.Frames_.Length());
  const struct
  {
    const char* Name;
    int         Association, NbComponents, NbTuples;
  } frames[] = {
      {"temperature", 0, 1, 306}, {"displacement", 0, 3, 306}, {"element id half", 1, 1, 860}};
  for (int f = 0; f < 3; ++f)
  {
    const Handle(algoMesh_FieldFrame)& frame = result.Frames_.Value(f);
    EXPECT_STREQ(frames[f].Name, frame->Name().ToCString());
    EXPECT_EQ(frames[f].Association, frame->Association());
    EXPECT_EQ(frames[f].NbComponents, frame->NbComponents());
    EXPECT_EQ(frames[f].NbTuples, frame->NbTuples());
    EXPECT_EQ(0, frame->FrameIndex());
    EXPECT_EQ(0.0, frame->Time());
    EXPECT_TRUE(frame->OwnerID() == THE_OWNER);
  }
  EXPECT_DOUBLE_EQ(428.9999998310052, result.Frames_.Value(0)->Value(1)[0]);
  EXPECT_DOUBLE_EQ(-3.76999999999996, result.Frames_.Value(1)->Value(1)[1]);
}

TEST(algoMesh_MSH, ElementLinesAndDuplicates)
{
  // Two tags before the nodes; blank lines anywhere; unknown and skipped sections.
  MshRead result = readText(THE_HEAD + "\n$PhysicalNames\n1\n2 1 \"a\"\n$EndPhysicalNames\n" +
                            THE_NODES + "\n$Elements\n3\n1 2 2 7 8 1 2 3\n\n2 4 0 1 2 3 4\n" +
                            "3 15 1 5 4\n$EndElements\n$ElementNodeData\n1\n\"x\"\n$End\n");
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), elementNodes(result.Mesh, 1));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), elementNodes(result.Mesh, 2));
  EXPECT_EQ(1, testmesh::CountElements(result.Mesh).zeroD);
  EXPECT_EQ(0, result.Frames_.Length());

  // Numbers with leading zeros are decimals, not octals.
  result = readText("$Nodes\n3\n08 0 0 0\n09 1 0 0\n010 0 1 0\n$EndNodes\n$Elements\n1\n"
                    "1 2 0 8 9 10\n$EndElements\n");
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ((std::vector<int>{8, 9, 10}), elementNodes(result.Mesh, 1));

  // The same number twice: neither element stays, one warning.
  result = readText(THE_NODES + "$Elements\n2\n5 2 0 1 2 3\n5 2 0 2 3 4\n$EndElements\n");
  ASSERT_TRUE(result.IsOk);
  EXPECT_EQ(0, result.Mesh->NbElements());
  ASSERT_EQ(2u, result.Notifier->Messages().size());
  const ActAPI_LogMessage warning = result.Notifier->Messages()[1];
  EXPECT_EQ(LogSeverity_Warning, warning.Severity);
  EXPECT_STREQ("Skipped element with index %1 due to duplication.", warning.Text.ToCString());
  EXPECT_EQ("Skipped element with index 5 due to duplication.", result.Notifier->Texts()[1]);
}

TEST(algoMesh_MSH, DataSectionsBecomeFrames)
{
  const std::string data = "$NodeData\n1\n\"temp erature\"  \n1\n2.5\n3\n7\n1\n2\n"
                           "1 10.5\n3\t-1e3\n$EndNodeData\n"
                           "$ElementData\n1\nflux\n1\n0\n3\n0\n3\n1\n1 1 2 3\n$EndElementData\n";
  MshRead result = readText(THE_NODES + "$Elements\n1\n1 4 0 1 2 3 4\n$EndElements\n" + data);
  ASSERT_TRUE(result.IsOk);
  ASSERT_EQ(2, result.Frames_.Length());
  const Handle(algoMesh_FieldFrame)& nodal = result.Frames_.Value(0);
  EXPECT_STREQ("temp erature", nodal->Name().ToCString());
  EXPECT_EQ(algoMesh_Field::Association_Node, nodal->Association());
  EXPECT_EQ(7, nodal->FrameIndex());
  EXPECT_EQ(2.5, nodal->Time());
  EXPECT_EQ(2, nodal->NbTuples());
  EXPECT_EQ(-1000.0, nodal->Value(3)[0]);
  const Handle(algoMesh_FieldFrame)& cell = result.Frames_.Value(1);
  EXPECT_EQ(algoMesh_Field::Association_Element, cell->Association());
  EXPECT_EQ((std::vector<double>{1, 2, 3}),
            std::vector<double>(cell->Value(1), cell->Value(1) + 3));
}

TEST(algoMesh_MSH, MalformedFilesFailWithOneErrorNamingTheLine)
{
  const char* const cases[] = {
      "$Nodes\nfour\n$EndNodes\n",                // count that does not scan
      "$Nodes\n1\n1 0 0\n$EndNodes\n",            // node line cut short
      "$Nodes\n1\n1 0 x 0\n$EndNodes\n",          // non-numeric coordinate
      "$Nodes\n1\n1 nan 0 0\n$EndNodes\n",        // NaN coordinate
      "$Nodes\n2\n1 0 0 0\n1 1 1 1\n$EndNodes\n", // repeated node number
      "$Nodes\n1\n4294967301 0 0 0\n$EndNodes\n", // number beyond an int (would wrap onto 5)
      "$Nodes\n4294967297\n1 0 0 0\n$EndNodes\n", // count beyond an int (would wrap onto 1)
      "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n1\n1\n4294967297 1\n$EndNodeData\n",
      "$Elements\n1\n1 8 0 1 2 3\n$EndElements\n",                       // second-order line
      "$Elements\n1\n1 2 0 1 2\n$EndElements\n",                         // triangle with two nodes
      "$Elements\n1\n1 2 0 1 2 3 4\n$EndElements\n",                     // triangle with four nodes
      "$Elements\n1\n1 2 0 1 2 9\n$EndElements\n",                       // missing node
      "$Elements\n1\n1 x 0 1 2 3\n$EndElements\n",                       // non-numeric type
      "$Elements\n1\n1 2\n$EndElements\n",                               // no tag count
      "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n1\n4\n1 1\n2 2\n$EndNodeData\n", // two values of four
      "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n1\n4\n1 1\n",                    // end of file
      "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n10\n1\n1 1 2 3 4 5 6 7 8 9 10\n$EndNodeData\n",
      "$NodeData\n1\n\"a\"\n1\n0\n2\n0\n1\n$EndNodeData\n", // two integer tags
      "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n1\n1\n1 x\n$EndNodeData\n",
      "$NodeData\n1000000000\n"}; // tags declared beyond the end of the file
  for (const char* text : cases)
  {
    MshRead result = readText(THE_NODES + text);
    EXPECT_FALSE(result.IsOk) << text;
    // The announcement, then the line at fault (or the end of the file).
    ASSERT_EQ(2u, result.Notifier->Messages().size()) << text;
    EXPECT_EQ(LogSeverity_Error, result.Notifier->Messages()[1].Severity);
    const std::string error = result.Notifier->Texts()[1];
    EXPECT_TRUE(error.find("Line ") == 0 || error == "The MSH file ends inside a data section.")
        << error;
    EXPECT_FALSE(result.Mesh.IsNull());
  }
  // A version 4 file fails the version 2 scans; the error then names its version.
  const MshRead version4 =
      readText("$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n");
  EXPECT_FALSE(version4.IsOk);
  EXPECT_EQ("Line 7 of the MSH file: the file declares MSH version 4.1; only version 2 is read.",
            version4.Notifier->Texts().back());
  // A failure keeps the frames completed before it and the mesh read so far.
  MshRead result = readText(THE_NODES + "$NodeData\n1\n\"a\"\n1\n0\n3\n0\n1\n1\n1 5\n"
                                        "$EndNodeData\n$Elements\n1\n1 99 0 1\n$EndElements\n");
  EXPECT_FALSE(result.IsOk);
  EXPECT_EQ(1, result.Frames_.Length());
  EXPECT_EQ(4, result.Mesh->NbNodes());
}

TEST(algoMesh_MSH, MissingFileAndCancellation)
{
  MshRead result = read(testmesh::TempPath("missing.msh"));
  EXPECT_FALSE(result.IsOk);
  ASSERT_EQ(2u, result.Notifier->Messages().size());
  EXPECT_EQ(LogSeverity_Error, result.Notifier->Messages()[1].Severity);
  EXPECT_EQ("Could not open the file for reading.", result.Notifier->Texts()[1]);
  EXPECT_EQ("Reading file '" + testmesh::TempPath("missing.msh") + "'.",
            result.Notifier->Texts()[0]);

  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->CancelAfterPolls(3);
  Handle(MorvDS_Mesh) mesh;
  Frames frames;
  EXPECT_FALSE(
      algoMesh_MSH::Read(spit("c.msh", THE_NODES).c_str(), mesh, frames, THE_OWNER, notifier));
  EXPECT_EQ(1, mesh->NbNodes()); // polls on "$Nodes", the count and node 1; stop at node 2
}
