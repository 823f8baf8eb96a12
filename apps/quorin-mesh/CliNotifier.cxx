#include "CliNotifier.hxx"

#include "Commands.hxx"

#include <ActAPI_LogMessage.hxx>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace cli
{

Handle(CliNotifier) CliNotifier::Start()
{
  Handle(CliNotifier) notifier = new CliNotifier();
  InstallInterruptHandler();
  return notifier;
}

void CliNotifier::Notify(const ActAPI_LogMessage& message)
{
  // Readers announce their work as information ("Reading file ..."); the commands print
  // their own account, so only warnings reach the terminal.
  if (message.Severity == LogSeverity_Info)
  {
    return;
  }
  if (message.Severity != LogSeverity_Error)
  {
    ActAPI_TerminalNotifier::Notify(message);
    return;
  }
  std::lock_guard<std::mutex> lock(m_errorMutex);
  m_lastError = message.Formatted().ToCString();
}

std::string CliNotifier::LastError() const
{
  std::lock_guard<std::mutex> lock(m_errorMutex);
  return m_lastError;
}

std::string CliNotifier::LastErrorOf(const ActAPI_ProgressEntry& progress)
{
  const CliNotifier* notifier = dynamic_cast<const CliNotifier*>(progress.Access().get());
  return notifier != nullptr ? notifier->LastError() : std::string();
}

ExitOnInterrupt::ExitOnInterrupt(const Handle(ActAPI_IProgressNotifier) & notifier)
    : m_watch(
          [this, notifier]()
          {
            while (!m_isDone.load())
            {
              if (!notifier.IsNull() && notifier->IsCancelRequested())
              {
                std::fflush(stdout);
                std::fprintf(stderr, "quorin-mesh: error: interrupted\n");
                std::_Exit(Exit_Interrupted);
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
          })
{
}

ExitOnInterrupt::~ExitOnInterrupt()
{
  m_isDone.store(true);
  m_watch.join();
}

} // namespace cli
