#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_RecordingNotifier.hxx>

#include <tbb/parallel_for.h>

#include <gtest/gtest.h>

#include <atomic>

TEST(ActAPI_RecordingNotifier, RecordsProgressCallsInOrder)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  ActAPI_ProgressEntry progress(notifier);
  progress.Init("Writing to a PLY file", 200);
  progress.StepProgress(1);
  progress.StepProgress(2);
  progress.Complete();

  const std::vector<std::string> expected = {
      "ResetProgress", "SetProgressMessage Writing to a PLY file",
      "SetRange 200",  "Advance 1",
      "Advance 2",     "SetProgressValue 200"};
  EXPECT_EQ(expected, notifier->Calls());
  EXPECT_EQ(200, notifier->Value());
  EXPECT_STREQ("Writing to a PLY file", notifier->ProgressMessage().ToCString());
}

TEST(ActAPI_RecordingNotifier, ClearForgetsRecordsButKeepsCancellation)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  ActAPI_LogMessage message;
  message << "Skipped element with index %1 due to duplication." << 17;
  notifier->Notify(message);
  notifier->SetRange(5);
  notifier->RequestCancel();
  EXPECT_EQ(std::vector<std::string>{"Skipped element with index 17 due to duplication."},
            notifier->Texts());

  notifier->Clear();
  EXPECT_TRUE(notifier->Messages().empty());
  EXPECT_TRUE(notifier->Calls().empty());
  EXPECT_EQ(0, notifier->Range());
  EXPECT_TRUE(notifier->IsCancelRequested());
}

TEST(ActAPI_RecordingNotifier, CancelAfterPollsAnswersTrueFromPollNPlusOne)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  EXPECT_FALSE(notifier->IsCancelRequested()); // never cancels by default
  notifier->CancelAfterPolls(2);
  EXPECT_FALSE(notifier->IsCancelRequested());
  EXPECT_FALSE(notifier->IsCancelRequested());
  EXPECT_TRUE(notifier->IsCancelRequested());
  EXPECT_TRUE(notifier->IsCancelRequested()); // and stays cancelled
  EXPECT_EQ(5, notifier->NbCancelPolls());

  notifier->CancelAfterPolls(0);
  EXPECT_TRUE(notifier->IsCancelRequested());
}

TEST(ActAPI_RecordingNotifier, ConcurrentPollsSpendTheBudgetExactly)
{
  // Several TBB workers poll at once: exactly `budget` polls may answer false, all
  // others true, and no poll is lost.
  const long budget                         = 1000;
  const int  polls                          = 20000;
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->CancelAfterPolls(budget);

  std::atomic<long> nbFalse{0};
  std::atomic<long> nbTrue{0};
  tbb::parallel_for(0, polls,
                    [&](int)
                    {
                      if (notifier->IsCancelRequested())
                      {
                        nbTrue.fetch_add(1);
                      }
                      else
                      {
                        nbFalse.fetch_add(1);
                      }
                    });
  EXPECT_EQ(budget, nbFalse.load());
  EXPECT_EQ(polls - budget, nbTrue.load());
  EXPECT_EQ(polls, notifier->NbCancelPolls());
}

TEST(ActAPI_RecordingNotifier, ConcurrentReportsAreAllKept)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  tbb::parallel_for(0, 500,
                    [&](int i)
                    {
                      ActAPI_LogMessage message;
                      message << "element %1" << i;
                      notifier->Notify(message);
                      notifier->Advance(1);
                    });
  EXPECT_EQ(500u, notifier->Messages().size());
  EXPECT_EQ(500, notifier->Value());
}
