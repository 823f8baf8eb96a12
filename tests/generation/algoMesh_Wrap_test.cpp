// Shrink wrapping driver: messages, resources, result and cancellation.
#include <algoMesh_Wrap.hxx>

#include <algoMesh_CheckSelfIntersections.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <MeshBuilders.hxx>

#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using quorin::algoMesh_Wrap;

namespace
{

// Sets or unsets the resource variable for one test.
class MessageDir
{
public:
  explicit MessageDir(const char* value)
  {
    if (value)
    {
      setenv("QUORIN_MESSAGE_DIR", value, 1);
    }
    else
    {
      unsetenv("QUORIN_MESSAGE_DIR");
    }
  }
  ~MessageDir() { unsetenv("QUORIN_MESSAGE_DIR"); }
};

} // namespace

TEST(algoMesh_Wrap, SoupBecomesACleanClosedEnvelope)
{
  MessageDir unset(nullptr);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_Wrap) wrap                = new algoMesh_Wrap(notifier);
  ASSERT_TRUE(wrap->Perform(testmesh::Unwelded(testmesh::Sphere(1.0, 48, 24)), 0.1));
  const Handle(Poly_Triangulation)& result = wrap->Result();
  EXPECT_TRUE(testmesh::IsClosedAndOriented(result));
  quorin::algoMesh_CheckSelfIntersections check;
  check.SaveSelfIntersections(true);
  EXPECT_FALSE(check.Perform(result)); // nothing crosses

  // Unset variable: an empty path, no loading error; progress in percent of 100.
  const std::vector<std::string> texts = notifier->Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "Loading resource file: .");
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Info);
  EXPECT_EQ(texts.size(), 1u);
  const std::vector<std::string> calls = notifier->Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "SetRange 100"), calls.end());
  EXPECT_EQ(calls.back(), "SetProgressValue 100");
}

TEST(algoMesh_Wrap, ResourcePathComesFromTheEnvironment)
{
  const std::string dir = testmesh::TempPath("wrapmessages");
  std::system(("mkdir -p " + dir).c_str());
  {
    std::ofstream file(dir + "/SurfaceWrappingMessages");
    file << "SurfWrap.API.NoMesh = nothing\n";
  }
  for (const bool isPresent : {true, false})
  {
    const std::string used = isPresent ? dir : dir + "/missing";
    MessageDir        set(used.c_str());
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    Handle(algoMesh_Wrap) wrap                = new algoMesh_Wrap(notifier);
    EXPECT_TRUE(wrap->Perform(testmesh::Cube(), 0.1));
    const std::vector<std::string> texts = notifier->Texts();
    const std::string              path  = used + "/SurfaceWrappingMessages";
    ASSERT_GE(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Loading resource file: " + path + ".");
    if (isPresent)
    {
      EXPECT_EQ(texts.size(), 1u);
    }
    else
    {
      ASSERT_EQ(texts.size(), 2u);
      EXPECT_EQ(texts[1], "Cannot load resources from file " + path + ".");
      EXPECT_EQ(notifier->Messages()[1].Severity, LogSeverity_Warning);
    }
  }
}

TEST(algoMesh_Wrap, ShapeFormWeldsTheFacesOrReportsAnEmptyMesh)
{
  MessageDir      unset(nullptr);
  BRep_Builder    builder;
  TopoDS_Compound faces;
  builder.MakeCompound(faces);
  builder.Add(faces, testmesh::FaceOf(testmesh::Cube()));
  Handle(algoMesh_Wrap) wrap = new algoMesh_Wrap();
  EXPECT_TRUE(wrap->Perform(faces, 0.1));
  EXPECT_TRUE(testmesh::IsClosedAndOriented(wrap->Result()));

  TopoDS_Compound empty;
  builder.MakeCompound(empty);
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_Wrap) failing             = new algoMesh_Wrap(notifier);
  EXPECT_FALSE(failing->Perform(empty, 0.1));
  ASSERT_EQ(notifier->Texts().size(), 1u);
  EXPECT_EQ(notifier->Texts()[0], "Cannot wrap an empty mesh.");
  EXPECT_EQ(notifier->Messages()[0].Severity, LogSeverity_Warning);
}

TEST(algoMesh_Wrap, FailuresAndCancellationAnswerFalse)
{
  MessageDir unset(nullptr);
  Handle(algoMesh_Wrap) wrap = new algoMesh_Wrap();
  EXPECT_FALSE(wrap->Perform(Handle(Poly_Triangulation)(), 0.1));
  EXPECT_FALSE(wrap->Perform(testmesh::Cube(), -1.0));
  EXPECT_TRUE(wrap->Result().IsNull());

  for (const long polls : {0L, 5L})
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    notifier->CancelAfterPolls(polls);
    Handle(algoMesh_Wrap) cancelled = new algoMesh_Wrap(notifier);
    EXPECT_FALSE(cancelled->Perform(testmesh::Sphere(1.0, 32, 16), 0.05));
    EXPECT_TRUE(cancelled->Result().IsNull());
  }
}
