// The tool's progress notifier: the terminal's progress bar and Ctrl-C handling, with the
// library's error messages kept instead of printed, so that a failing command reports its
// failure, reason included, in one line.
#ifndef quorinMesh_CliNotifier_HeaderFile
#define quorinMesh_CliNotifier_HeaderFile

#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_TerminalNotifier.hxx>

#include <atomic>
#include <string>
#include <thread>

namespace cli
{

class CliNotifier : public ActAPI_TerminalNotifier
{
public:
  //! A new notifier for one command, with Ctrl-C turned into a cancellation request.
  static Handle(CliNotifier) Start();

  //! Keeps error messages (the last one is LastError()); prints the others.
  void Notify(const ActAPI_LogMessage& message) override;

  //! Text of the last error message received, empty when none.
  std::string LastError() const;

  //! The last error message received through `progress`, when its notifier is a
  //! CliNotifier; empty otherwise.
  static std::string LastErrorOf(const ActAPI_ProgressEntry& progress);

private:
  mutable std::mutex m_errorMutex;
  std::string        m_lastError;
};

//! While alive, ends the process with Exit_Interrupted and "interrupted" within a few
//! milliseconds of a Ctrl-C, for work that cannot be cancelled from inside (a third-party
//! filter without a cancellation hook). Use it only while no output file is open: nothing
//! is cleaned up.
class ExitOnInterrupt
{
public:
  explicit ExitOnInterrupt(const Handle(ActAPI_IProgressNotifier) & notifier);
  ~ExitOnInterrupt();
  ExitOnInterrupt(const ExitOnInterrupt&)            = delete;
  ExitOnInterrupt& operator=(const ExitOnInterrupt&) = delete;

private:
  std::atomic<bool> m_isDone{false};
  std::thread       m_watch;
};

} // namespace cli

#endif
