#include <algoBase_ProgressIndicator.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <Message_ProgressScope.hxx>

#include <gtest/gtest.h>

namespace
{
//! Runs a kernel-style loop of `steps` steps; answers the number of steps done.
int runKernelLoop(const Handle(algoBase_ProgressIndicator) & indicator, const int steps)
{
  Message_ProgressScope scope(indicator->Start(), "kernel work", steps);
  int                   done = 0;
  for (int i = 0; i < steps && scope.More(); ++i, scope.Next())
  {
    ++done;
  }
  return done;
}
} // namespace

TEST(algoBase_ProgressIndicator, KernelProgressReachesNotifierRange)
{
  Handle(ActAPI_RecordingNotifier) notifier    = new ActAPI_RecordingNotifier();
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(notifier);
  notifier->SetRange(200);

  EXPECT_EQ(10, runKernelLoop(indicator, 10));
  EXPECT_EQ(200, notifier->Range());
  EXPECT_EQ(200, notifier->Value());

  // Positions map linearly: the start shows 0, each tenth of the kernel work adds 20
  // units, and only changes are forwarded.
  std::vector<std::string> values;
  for (const std::string& call : notifier->Calls())
  {
    if (call.rfind("SetProgressValue", 0) == 0)
    {
      values.push_back(call);
    }
  }
  ASSERT_EQ(11u, values.size());
  EXPECT_EQ("SetProgressValue 0", values[0]);
  EXPECT_EQ("SetProgressValue 20", values[1]);
  EXPECT_EQ("SetProgressValue 100", values[5]);
}

TEST(algoBase_ProgressIndicator, NotifierWithoutRangeGetsOneHundredUnits)
{
  Handle(ActAPI_RecordingNotifier) notifier    = new ActAPI_RecordingNotifier();
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(notifier);
  runKernelLoop(indicator, 4);
  EXPECT_EQ(100, notifier->Range());
  EXPECT_EQ(100, notifier->Value());
}

TEST(algoBase_ProgressIndicator, CancellationBecomesUserBreak)
{
  Handle(ActAPI_RecordingNotifier) notifier    = new ActAPI_RecordingNotifier();
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(notifier);
  notifier->CancelAfterPolls(3);

  const int done = runKernelLoop(indicator, 1000);
  EXPECT_EQ(3, done);
  EXPECT_TRUE(indicator->UserBreak());
}

TEST(algoBase_ProgressIndicator, WithoutNotifierRunsToTheEnd)
{
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  EXPECT_EQ(50, runKernelLoop(indicator, 50));
  EXPECT_FALSE(indicator->UserBreak());
  EXPECT_TRUE(indicator->GetNotifier().IsNull());
}
