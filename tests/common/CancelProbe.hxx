// Runs a long algorithm under a notifier that asks it to stop when its progress first
// reaches 30 %, and checks what a host relies on: progress that never goes back and stays
// in its range, the cancelled answer, a return soon after the request, and an object that
// can be run again.
#ifndef CancelProbe_HeaderFile
#define CancelProbe_HeaderFile

#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_RecordingNotifier.hxx>

#include <functional>
#include <string>
#include <vector>

namespace testmesh
{

//! What one cancelled run showed.
struct CancelledRun
{
  bool                     answer       = true;  //!< what the algorithm answered
  bool                     hasFired     = false; //!< whether progress reached the threshold
  double                   latency      = -1.0;  //!< seconds from the request to the return
  int                      nbLateResets = 0;     //!< progress resets after progress was shown
  std::vector<double>      fractions;            //!< progress shown, as fractions
  std::vector<std::string> texts;                //!< messages received
  //! The notifier of the run; `notifier->CancelAfterPolls(-1)` withdraws the request, so
  //! that an object that keeps its entry can be run again.
  Handle(ActAPI_RecordingNotifier) notifier;
};

//! Runs `run` with an entry whose notifier requests cancellation at `threshold` of the
//! range (or of the whole work, for an algorithm that reports its fraction). A run that
//! returns later than `bound` seconds (CancelBound() when negative) is run again, up to
//! three times in all, and the last run is kept: a wall-clock latency also measures the
//! processes around the test, while a loop that does not poll is late every time.
CancelledRun RunCancelled(const std::function<bool(const ActAPI_ProgressEntry&)>& run,
                          const double                                            threshold = 0.3,
                          const double                                            bound     = -1.0);

//! Seconds a cancelled run may take to return: 0.1 s on an idle machine, stretched by the
//! load average per core when the machine is busier than its cores; QUORIN_CANCEL_BOUND
//! overrides it.
double CancelBound();

//! Expects the progress of `run` to be monotonic and within 0 .. 1, the request to have
//! fired, and the run to have returned within `bound` seconds (CancelBound() when
//! negative).
void ExpectStoppedPromptly(const CancelledRun& run, const double bound = -1.0);

} // namespace testmesh

#endif
