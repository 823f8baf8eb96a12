#include "CliNotifier.hxx"

#include <ActAPI_LogMessage.hxx>

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

} // namespace cli
