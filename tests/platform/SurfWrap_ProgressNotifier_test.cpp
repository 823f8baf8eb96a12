// Scoped progress, keyed messages and resources of the wrapping notifier.
#include <SurfWrap_DummyProgressNotifier.hxx>

#include <MeshBuilders.hxx>

#include <Standard_Failure.hxx>

#include <gtest/gtest.h>

#include <fstream>

namespace
{

class Notifier : public SurfWrap_ProgressNotifier
{
public:
  Notifier() : SurfWrap_ProgressNotifier("test") {}
  void ProcessEvents() override {}
  bool IsInterrupted() override { return false; }
};

} // namespace

TEST(SurfWrap_ProgressNotifier, NestedScopesReportFractionsOfTheWhole)
{
  Handle(Notifier) n = new Notifier();
  n->NewScope(4, "outer");
  n->Increment();
  EXPECT_DOUBLE_EQ(n->GetPosition(), 0.25);
  n->NewScope(2, "inner"); // covers [0.25, 0.5]
  n->Increment();
  EXPECT_DOUBLE_EQ(n->GetPosition(), 0.375);
  EXPECT_EQ(n->GetValue(), 1);
  n->NextScope(); // next step of the outer scope: [0.5, 0.75]
  EXPECT_DOUBLE_EQ(n->GetPosition(), 0.5);
  n->Increment();
  n->Increment();
  n->Increment(); // past the end: ignored
  EXPECT_DOUBLE_EQ(n->GetPosition(), 0.75);
  n->EndScope();
  n->EndScope();
  n->EndScope(); // the outermost scope stays
  EXPECT_DOUBLE_EQ(n->GetPosition(), 1.0);
}

TEST(SurfWrap_ProgressNotifier, MessagesTakeResourceTextsAndTheirArgument)
{
  const std::string path = testmesh::TempPath("SurfaceWrappingMessages");
  {
    std::ofstream file(path);
    file << "! comment\n\nSurfWrap.API.NoMesh = Rien a envelopper.\nCustom.Key=Size %1 used\n";
  }
  Handle(Notifier) n = new Notifier();
  n->NewMessage("SurfWrap.API.NoMesh", SurfWrap_Fail);
  n->loadResource(path.c_str());
  n->NewMessage("SurfWrap.API.NoMesh", SurfWrap_Fail);
  n->NewMessage("Custom.Key", SurfWrap_Info, "0.5");
  n->NewMessage("Unknown.Key", SurfWrap_Warning);
  n->TreatErrorAsWarning(true);
  n->NewMessage("Unknown.Key", SurfWrap_Fail);
  const std::vector<SurfWrap_Message> messages = n->Messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_STREQ(messages[0].Text.ToCString(), "There is no mesh to wrap.");
  EXPECT_STREQ(messages[1].Text.ToCString(), "Rien a envelopper.");
  EXPECT_STREQ(messages[2].Text.ToCString(), "Size 0.5 used");
  EXPECT_STREQ(messages[3].Text.ToCString(), "Unknown.Key");
  EXPECT_EQ(messages[4].Gravity, SurfWrap_Warning);
  EXPECT_THROW(n->loadResource("/nonexistent/SurfaceWrappingMessages"), Standard_Failure);
  n->Clear();
  EXPECT_TRUE(n->Messages().empty());
}

TEST(SurfWrap_ProgressNotifier, DummyIsSharedAndSilent)
{
  const Handle(SurfWrap_DummyProgressNotifier)& dummy = SurfWrap_DummyProgressNotifier::Instance();
  EXPECT_EQ(dummy.get(), SurfWrap_DummyProgressNotifier::Instance().get());
  dummy->NewScope(2, "x");
  dummy->Increment();
  dummy->NewMessage("SurfWrap.API.NoMesh", SurfWrap_Fail, "");
  EXPECT_EQ(dummy->GetPosition(), 0.0);
  EXPECT_FALSE(dummy->IsInterrupted());
  EXPECT_TRUE(dummy->Messages().empty());
}
