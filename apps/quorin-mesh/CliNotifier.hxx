// The tool's progress notifier: the terminal's progress bar and Ctrl-C handling, with the
// library's error messages kept instead of printed, so that a failing command reports its
// failure, reason included, in one line. A command that reads, runs and writes splits the
// bar into phases, so that one bar fills once across the whole command. Work that reports
// the fraction of its whole (the VTK XML writers, through their encoding) moves the bar by
// that fraction.
#ifndef quorinMesh_CliNotifier_HeaderFile
#define quorinMesh_CliNotifier_HeaderFile

#include <algoMesh_WorkFraction.hxx>

#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_TerminalNotifier.hxx>

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cli
{

class CliNotifier : public ActAPI_TerminalNotifier, public quorin::algoMesh_WorkFraction
{
public:
  //! Units of the whole bar when it is split into phases: a tenth of a percent each.
  static constexpr int BarUnits = 1000;

  //! A new notifier for one command, with Ctrl-C turned into a cancellation request.
  static Handle(CliNotifier) Start();

  //! Keeps error messages (the last one is LastError()); prints the others.
  void Notify(const ActAPI_LogMessage& message) override;

  //! Holds the warnings that arrive from now on instead of printing them: a reader's
  //! warnings about a file it then refuses would precede the one line of the refusal.
  void HoldWarnings();

  //! Ends holding: prints the held warnings when `isPrinted`, otherwise drops them.
  void ReleaseWarnings(const bool isPrinted);

  //! Text of the last error message received, empty when none.
  std::string LastError() const;

  //! The last error message received through `progress`, when its notifier is a
  //! CliNotifier; empty otherwise.
  static std::string LastErrorOf(const ActAPI_ProgressEntry& progress);

  //! Gives the work that follows the next `share` (0 .. 1) of the bar: whatever range the
  //! library sets from now on maps onto that share, and resetting the progress starts the
  //! share again without moving the bar back. Before the first phase the notifier passes
  //! everything through, as a plain terminal notifier.
  void BeginPhase(const double share);

  //! Prints the command's own output on standard output (vprintf's format), with the bar
  //! lifted while it is written.
  void PrintV(const char* format, va_list arguments);

  //! Clears the bar and ends the phases: the notifier passes everything through again.
  void EndPhases();

  void ResetProgress() override;
  void SetRange(const int units) override;
  //! In a phase, the range the work set (the bar's own range belongs to the whole
  //! command): a bridge that scales a position by the range then stays inside the phase.
  int  Range() const override;
  void SetProgressMessage(const TCollection_AsciiString& text) override;
  void Advance(const int units) override;
  void SetProgressValue(const int units) override;

  //! Shows `fraction` of the current work; the work's own value and range no longer move
  //! the bar until the next ResetProgress.
  void SetWorkFraction(const double fraction) override;

private:
  //! Shows the phase's position on the bar; the bar never moves back.
  void publish();

private:
  mutable std::mutex             m_errorMutex;
  std::string                    m_lastError;
  bool                           m_isHolding = false;
  std::vector<ActAPI_LogMessage> m_held;

  bool                    m_isPhased  = false;
  double                  m_phaseFrom = 0.0; //!< share of the bar before this phase
  double                  m_phaseTo   = 0.0; //!< share of the bar at its end
  std::atomic<int>        m_localRange{0};
  std::atomic<int>        m_localValue{0};
  std::atomic<int>        m_shown{0};               //!< units of the whole bar shown
  std::atomic<bool>       m_followsFraction{false}; //!< the work reports its fraction
  std::mutex              m_textMutex;
  TCollection_AsciiString m_text;
};

//! While alive, ends the process with Exit_Interrupted and "interrupted" within a few
//! milliseconds of a Ctrl-C, for work that cannot be cancelled from inside (a third-party
//! filter without a cancellation hook). Use it only while no output file is open: nothing
//! is cleaned up.
//! With a deadline, it also ends the process with Exit_Failure and `timeoutMessage` on
//! standard error once `seconds` have passed: the kernel's translation and meshing can
//! loop without end on damaged geometry that no check before them recognises.
class ExitOnInterrupt
{
public:
  explicit ExitOnInterrupt(const Handle(ActAPI_IProgressNotifier) & notifier,
                           const double       seconds        = 0.0,
                           const std::string& timeoutMessage = "");
  ~ExitOnInterrupt();
  ExitOnInterrupt(const ExitOnInterrupt&)            = delete;
  ExitOnInterrupt& operator=(const ExitOnInterrupt&) = delete;

private:
  std::atomic<bool> m_isDone{false};
  std::thread       m_watch;
};

} // namespace cli

#endif
