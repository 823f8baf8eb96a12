#include <CancelProbe.hxx>
#include <WorkFractionRecorder.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace testmesh
{

namespace
{

CancelledRun runOnce(const std::function<bool(const ActAPI_ProgressEntry&)>& run,
                     const double                                            threshold)
{
  // The notifier takes the fraction of the whole work where an algorithm reports one, so
  // that a threshold can fall beyond the fixed progress steps (the VTK XML writers').
  Handle(ActAPI_RecordingNotifier) notifier = new WorkFractionRecorder();
  notifier->CancelAtFraction(threshold);
  CancelledRun result;
  result.answer                                   = run(ActAPI_ProgressEntry(notifier));
  const std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now();
  result.hasFired                                 = notifier->HasFiredCancel();
  if (result.hasFired)
  {
    result.latency = std::chrono::duration<double>(end - notifier->FiredCancelTime()).count();
  }
  result.nbLateResets = notifier->NbLateResets();
  result.fractions    = notifier->Fractions();
  result.texts        = notifier->Texts();
  result.notifier     = notifier;
  return result;
}

double resolvedBound(const double bound)
{
  // A bound set in the environment (instrumented builds) widens a test's own bound too.
  return bound < 0.0                          ? CancelBound()
         : std::getenv("QUORIN_CANCEL_BOUND") ? std::max(bound, CancelBound())
                                              : bound;
}

} // namespace

CancelledRun RunCancelled(const std::function<bool(const ActAPI_ProgressEntry&)>& run,
                          const double                                            threshold,
                          const double                                            bound)
{
  // The last run is the one whose notifier an object that keeps its entry holds.
  CancelledRun result = runOnce(run, threshold);
  for (int attempt = 1; attempt < 3 && result.latency >= resolvedBound(bound); ++attempt)
  {
    result = runOnce(run, threshold);
  }
  return result;
}

double CancelBound()
{
  if (const char* bound = std::getenv("QUORIN_CANCEL_BOUND"))
  {
    return std::atof(bound);
  }
  // 0.1 s holds on an idle machine; on a machine busier than its cores every wall-clock
  // interval stretches with the queue of runnable threads.
  double    load    = 0.0;
  const int nbCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (getloadavg(&load, 1) != 1)
  {
    load = 0.0;
  }
  return 0.1 * std::max(1.0, load / nbCores);
}

void ExpectStoppedPromptly(const CancelledRun& run, const double bound)
{
  ASSERT_TRUE(run.hasFired) << "the progress never reached the threshold";
  EXPECT_EQ(0, run.nbLateResets) << "the progress was reset while running";
  for (size_t i = 0; i < run.fractions.size(); ++i)
  {
    EXPECT_GE(run.fractions[i], 0.0);
    EXPECT_LE(run.fractions[i], 1.0);
    if (i > 0)
    {
      EXPECT_GE(run.fractions[i], run.fractions[i - 1]) << "progress went back at " << i;
    }
  }
  EXPECT_LT(run.latency, resolvedBound(bound));
}

} // namespace testmesh
