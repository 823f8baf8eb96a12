// The tool's progress notifier: the terminal's progress bar and Ctrl-C handling, with the
// library's error messages kept instead of printed, so that a failing command reports its
// failure, reason included, in one line.
#ifndef quorinMesh_CliNotifier_HeaderFile
#define quorinMesh_CliNotifier_HeaderFile

#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_TerminalNotifier.hxx>

#include <string>

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

} // namespace cli

#endif
