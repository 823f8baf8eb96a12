#include <algoMesh_KernelProgress.hxx>
#include <algoMesh_ParallelLoop.pxx>
#include <algoMesh_ProgressScope.hxx>

#include <CancelProbe.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <algoBase_ProgressIndicator.hxx>

#include <Message_ProgressScope.hxx>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <time.h>

using quorin::algoMesh_ProgressScope;

namespace
{

//! Processor seconds of the calling thread: the cost of a loop on this thread, which other
//! processes cannot stretch the way they stretch its wall-clock time.
double threadSeconds()
{
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

//! Fails the test when progress reaches the host from another thread than the test's.
class SingleThreadNotifier : public ActAPI_RecordingNotifier
{
public:
  void SetProgressValue(const int units) override
  {
    if (std::this_thread::get_id() != m_owner)
    {
      m_isFromOtherThread.store(true);
    }
    ActAPI_RecordingNotifier::SetProgressValue(units);
  }

  bool IsFromOtherThread() const { return m_isFromOtherThread.load(); }

private:
  std::thread::id   m_owner = std::this_thread::get_id();
  std::atomic<bool> m_isFromOtherThread{false};
};

} // namespace

TEST(algoMesh_ProgressScope, StepsFillTheirSharesOfTheHostRange)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope progress(notifier, "Working", 200);
  EXPECT_EQ(200, notifier->Range());
  EXPECT_EQ("Working", std::string(notifier->ProgressMessage().ToCString()));

  algoMesh_ProgressScope first = progress.Next(0.25);
  first.SetTotal(10);
  first.Advance(4);
  EXPECT_EQ(20, notifier->Value()); // 4 of 10 items of a quarter of 200
  first.Advance(6);
  EXPECT_EQ(50, notifier->Value());

  algoMesh_ProgressScope second = progress.Next(0.5);
  second.SetFraction(0.5);
  EXPECT_EQ(100, notifier->Value());

  // Going back inside a step does not move the host's progress back.
  second.SetFraction(0.1);
  first.SetDone(0);
  EXPECT_EQ(100, notifier->Value());

  // Shares past the end are clamped to what is left.
  algoMesh_ProgressScope rest = progress.Next(3.0);
  rest.Complete();
  EXPECT_EQ(200, notifier->Value());
}

TEST(algoMesh_ProgressScope, NestedAlgorithmsReportInsideTheirStep)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope progress(notifier, "Outer");
  progress.Next(0.5).Complete();

  // A nested algorithm opens its own progress of 200 units on the entry of the second half.
  const ActAPI_ProgressEntry inner = progress.Next(0.5).Entry();
  inner.Init("Inner", 200);
  inner.StepProgress(100);
  EXPECT_EQ(75, notifier->Value());
  EXPECT_EQ("Outer", std::string(notifier->ProgressMessage().ToCString()));
  EXPECT_EQ(0, notifier->NbLateResets());

  // Its messages reach the host unless they are muted.
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
  message << "inner note";
  inner.SendLogMessage(message);
  progress.Entry(false).SendLogMessage(message);
  EXPECT_EQ(std::vector<std::string>{"inner note"}, notifier->Texts());

  // A cancellation of the host reaches the nested algorithm's polls.
  EXPECT_FALSE(inner.IsCancelling());
  notifier->RequestCancel();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(inner.IsCancelling());
  EXPECT_TRUE(progress.IsCancelled());
}

TEST(algoMesh_ProgressScope, EmptyEntryCostsNothingAndNeverCancels)
{
  algoMesh_ProgressScope progress(ActAPI_ProgressEntry(), "Silent");
  progress.Next(0.5).Complete();
  EXPECT_FALSE(progress.IsCancelled());
  EXPECT_TRUE(progress.Entry().Access().IsNull());

  // Cancel() from inside still stops the run.
  progress.Cancel();
  EXPECT_TRUE(progress.IsCancelled());
}

TEST(algoMesh_ProgressScope, PollsAreCheapAndSeeARequestWithinAMillisecond)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope progress(notifier, "Polling");
  const int              nbPolls = 1000000;
  const double           start   = threadSeconds();
  int                    nbTrue  = 0;
  for (int i = 0; i < nbPolls; ++i)
  {
    nbTrue += progress.IsCancelled() ? 1 : 0;
  }
  const double seconds = threadSeconds() - start;
  EXPECT_EQ(0, nbTrue);
  // Well under a microsecond each, even on a busy machine (the bound grows with the
  // latency bound of instrumented builds); the host is asked rarely.
  const double stretch = std::max(1.0, testmesh::CancelBound() / 0.1);
  EXPECT_LT(seconds / nbPolls, 1e-6 * stretch);
  EXPECT_LT(notifier->NbCancelPolls(), nbPolls / 10);

  // The host is asked again after an interval of wall-clock time, so a thread held back by
  // other processes asks at its first poll after it runs again: the request costs the loop
  // at most one interval of its own time.
  notifier->RequestCancel();
  const double asked = threadSeconds();
  while (!progress.IsCancelled())
  {
  }
  EXPECT_LT(threadSeconds() - asked, 0.05 * stretch);
}

TEST(algoMesh_ProgressScope, ParallelLoopCountsEveryItemAndPublishesFromTheCallerOnly)
{
  Handle(SingleThreadNotifier) notifier = new SingleThreadNotifier();
  algoMesh_ProgressScope progress(notifier, "Parallel");
  std::vector<int>       visits(100000, 0);
  const bool isDone = quorin::algoMesh_ParallelLoop(4, static_cast<int>(visits.size()), 64,
                                                    progress, [&](const int i) { ++visits[i]; });
  EXPECT_TRUE(isDone);
  EXPECT_EQ(std::vector<int>(visits.size(), 1), visits);
  progress.Complete();
  EXPECT_EQ(100, notifier->Value());
  EXPECT_FALSE(notifier->IsFromOtherThread());
  const std::vector<double> fractions = notifier->Fractions();
  for (size_t i = 1; i < fractions.size(); ++i)
  {
    EXPECT_GE(fractions[i], fractions[i - 1]);
  }
}

TEST(algoMesh_ProgressScope, CancelledParallelLoopStopsStartingChunks)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->CancelAtFraction(0.3);
  algoMesh_ProgressScope progress(notifier, "Parallel");
  std::atomic<int>       nbVisited{0};
  const bool             isDone =
      quorin::algoMesh_ParallelLoop(2, 4000, 1, progress,
                                    [&](const int)
                                    {
                                      std::this_thread::sleep_for(std::chrono::microseconds(200));
                                      ++nbVisited;
                                    });
  EXPECT_FALSE(isDone);
  EXPECT_TRUE(notifier->HasFiredCancel());
  EXPECT_LT(nbVisited.load(), 4000 / 2);
}

TEST(algoMesh_ProgressScope, KernelProgressMapsPositionAndUserBreak)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope progress(notifier, "Kernel");
  progress.Next(0.5).Complete();
  Handle(quorin::algoMesh_KernelProgress) indicator =
      new quorin::algoMesh_KernelProgress(progress.Next(0.5));
  {
    Message_ProgressScope scope(indicator->Start(), "kernel loop", 10);
    for (int i = 0; i < 5 && scope.More(); ++i)
    {
      scope.Next();
    }
    EXPECT_EQ(75, notifier->Value());
    EXPECT_FALSE(scope.UserBreak());
    notifier->RequestCancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(scope.UserBreak());
  }
}

TEST(algoMesh_ProgressScope, NestedEntryHasNoRangeUntilOneIsSet)
{
  // Like a host's notifier: a bridge that scales a position by the range sets its own when
  // there is none, and its steps then move the step's share instead of only its end.
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  algoMesh_ProgressScope progress(notifier, "Bridge");
  progress.Next(0.5).Complete();
  const ActAPI_ProgressEntry inner = progress.Next(0.5).Entry();
  EXPECT_EQ(0, inner.Access()->Range());

  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(inner.Access());
  {
    Message_ProgressScope scope(indicator->Start(), "kernel loop", 10);
    for (int i = 0; i < 5; ++i)
    {
      scope.Next();
    }
    EXPECT_EQ(100, inner.Access()->Range());
    EXPECT_EQ(75, notifier->Value());
  }

  // A range set by a nested algorithm is answered as set, and completing it fills the share.
  const ActAPI_ProgressEntry other = algoMesh_ProgressScope(notifier, "Again").Next(0.4).Entry();
  other.Init("Inner", 7);
  EXPECT_EQ(7, other.Access()->Range());
  other.Complete();
  EXPECT_EQ(40, notifier->Value());
}
