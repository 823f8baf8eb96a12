#include <algoMesh_Convert.hxx>
#include <algoMesh_ProgressScope.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_WorkFraction.hxx>

#include <MeshBuilders.hxx>
#include <WorkFractionRecorder.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace quorin;

namespace
{

std::string contentOf(const std::string& path)
{
  std::ifstream      file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

} // namespace

TEST(algoMesh_WorkFraction, VtkXmlWriterReportsItsEncodingBesideTheFixedCalls)
{
  Handle(MorvDS_Mesh) model;
  ASSERT_TRUE(algoMesh_Convert::ToMorv(testmesh::Sphere(1.0, 60, 30), TopLoc_Location(), model));
  const NCollection_Vector<Handle(algoMesh_Field)> noFields;
  const std::string                                plainPath = testmesh::TempPath("plain.vtp");
  const std::string                                fullPath  = testmesh::TempPath("full.vtp");

  Handle(ActAPI_RecordingNotifier) plain      = new ActAPI_RecordingNotifier();
  Handle(testmesh::WorkFractionRecorder) full = new testmesh::WorkFractionRecorder();
  ASSERT_EQ(ExportStatus_Ok, algoMesh_VTK_XML::WriteVTP(model, noFields, TopLoc_Location(),
                                                        plainPath.c_str(), plain, true));
  ASSERT_EQ(ExportStatus_Ok, algoMesh_VTK_XML::WriteVTP(model, noFields, TopLoc_Location(),
                                                        fullPath.c_str(), full, true));

  // A notifier with the extension sees the same fixed calls and gets the same file.
  EXPECT_EQ(plain->Calls(), full->Calls());
  EXPECT_EQ(contentOf(plainPath), contentOf(fullPath));

  // Its fractions run from 0 to 1 without going back, and keep moving after the fixed
  // range is full (VTK's encoding): more of them than of the fixed steps.
  const std::vector<double> fractions = full->Fractions();
  ASSERT_GE(fractions.size(), 2u);
  EXPECT_EQ(0.0, fractions.front());
  EXPECT_EQ(1.0, fractions.back());
  for (size_t i = 1; i < fractions.size(); ++i)
  {
    EXPECT_GE(fractions[i], fractions[i - 1]) << "at " << i;
  }
  EXPECT_GT(fractions.size(), plain->Fractions().size());
}

TEST(algoMesh_WorkFraction, ScopeFollowsTheFractionOfANestedWork)
{
  Handle(ActAPI_RecordingNotifier) host = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope     root(host, "Working", 100);
  algoMesh_ProgressScope     step   = root.Next(0.5);
  const ActAPI_ProgressEntry entry  = step.Entry();
  algoMesh_WorkFraction*     nested = algoMesh_WorkFraction::Of(entry);
  ASSERT_NE(nullptr, nested);
  EXPECT_EQ(nullptr, algoMesh_WorkFraction::Of(ActAPI_ProgressEntry(host)));

  // The nested work's fixed steps fill its range at once; its fraction alone moves the step.
  entry.Init("Nested", 100);
  nested->SetWorkFraction(0.0);
  entry.StepProgress(100);
  EXPECT_EQ(0, host->Value());
  nested->SetWorkFraction(0.5);
  EXPECT_EQ(25, host->Value());
  entry.Complete();
  nested->SetWorkFraction(1.0);
  EXPECT_EQ(50, host->Value());

  // A new nested work without a fraction is followed by its steps again.
  algoMesh_ProgressScope     second = root.Next(0.5);
  const ActAPI_ProgressEntry again  = second.Entry();
  again.Init("Plain", 10);
  again.StepProgress(5);
  EXPECT_EQ(75, host->Value());
}
