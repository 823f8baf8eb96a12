#include "CliNotifier.hxx"

#include "Commands.hxx"

#include <ActAPI_LogMessage.hxx>

#include <algorithm>
#include <chrono>
#include <cstdarg>
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
  // After a Ctrl-C the algorithms' "Operation cancelled." and what follows from it only echo
  // the user's own request: the command prints its one "interrupted" line instead.
  if (IsCancelRequested())
  {
    return;
  }
  if (message.Severity != LogSeverity_Error)
  {
    {
      std::lock_guard<std::mutex> lock(m_errorMutex);
      if (m_isHolding)
      {
        m_held.push_back(message);
        return;
      }
    }
    ActAPI_TerminalNotifier::Notify(message);
    return;
  }
  std::lock_guard<std::mutex> lock(m_errorMutex);
  m_lastError = message.Formatted().ToCString();
}

void CliNotifier::HoldWarnings()
{
  std::lock_guard<std::mutex> lock(m_errorMutex);
  m_isHolding = true;
}

void CliNotifier::ReleaseWarnings(const bool isPrinted)
{
  std::vector<ActAPI_LogMessage> held;
  {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_isHolding = false;
    held.swap(m_held);
  }
  for (const ActAPI_LogMessage& message : isPrinted ? held : std::vector<ActAPI_LogMessage>())
  {
    ActAPI_TerminalNotifier::Notify(message);
  }
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

namespace
{
constexpr int THE_BAR_UNITS = CliNotifier::BarUnits;
} // namespace

void CliNotifier::BeginPhase(const double share)
{
  if (!m_isPhased)
  {
    m_isPhased = true;
    ActAPI_TerminalNotifier::ResetProgress();
    ActAPI_TerminalNotifier::SetRange(THE_BAR_UNITS);
  }
  m_phaseFrom = m_phaseTo;
  m_phaseTo   = std::min(1.0, m_phaseFrom + std::max(0.0, share));
  m_followsFraction.store(false);
  m_localRange.store(0);
  m_localValue.store(0);
  publish();
}

void CliNotifier::EndPhases()
{
  m_isPhased = false;
  m_followsFraction.store(false);
  ActAPI_TerminalNotifier::ResetProgress();
}

void CliNotifier::PrintV(const char* format, va_list arguments)
{
  // The bar shares the terminal with standard output: lift it, print, and draw it again.
  const int range = ActAPI_TerminalNotifier::Range();
  ActAPI_TerminalNotifier::ResetProgress();
  std::vprintf(format, arguments);
  std::fflush(stdout);
  if (m_isPhased)
  {
    // Text and position first: the bar is drawn again once it has a range.
    {
      std::lock_guard<std::mutex> lock(m_textMutex);
      ActAPI_TerminalNotifier::SetProgressMessage(m_text);
    }
    ActAPI_TerminalNotifier::SetProgressValue(m_shown.load());
    ActAPI_TerminalNotifier::SetRange(range);
  }
}

void CliNotifier::ResetProgress()
{
  m_followsFraction.store(false);
  if (!m_isPhased)
  {
    ActAPI_TerminalNotifier::ResetProgress();
    return;
  }
  m_localRange.store(0);
  m_localValue.store(0);
}

void CliNotifier::SetRange(const int units)
{
  if (m_followsFraction.load())
  {
    return;
  }
  if (!m_isPhased)
  {
    ActAPI_TerminalNotifier::SetRange(units);
    return;
  }
  m_localRange.store(units);
  publish();
}

int CliNotifier::Range() const
{
  if (!m_isPhased)
  {
    return ActAPI_TerminalNotifier::Range();
  }
  return m_followsFraction.load() ? THE_BAR_UNITS : m_localRange.load();
}

void CliNotifier::SetProgressMessage(const TCollection_AsciiString& text)
{
  {
    std::lock_guard<std::mutex> lock(m_textMutex);
    m_text = text;
  }
  ActAPI_TerminalNotifier::SetProgressMessage(text);
}

void CliNotifier::Advance(const int units)
{
  if (m_followsFraction.load())
  {
    return;
  }
  if (!m_isPhased)
  {
    ActAPI_TerminalNotifier::Advance(units);
    return;
  }
  m_localValue.fetch_add(units);
  publish();
}

void CliNotifier::SetProgressValue(const int units)
{
  if (m_followsFraction.load())
  {
    return;
  }
  if (!m_isPhased)
  {
    ActAPI_TerminalNotifier::SetProgressValue(units);
    return;
  }
  m_localValue.store(units);
  publish();
}

void CliNotifier::SetWorkFraction(const double fraction)
{
  const int units = static_cast<int>(THE_BAR_UNITS * std::min(1.0, std::max(0.0, fraction)));
  if (!m_isPhased)
  {
    if (!m_followsFraction.exchange(true))
    {
      ActAPI_TerminalNotifier::SetRange(THE_BAR_UNITS);
    }
    ActAPI_TerminalNotifier::SetProgressValue(units);
    return;
  }
  m_followsFraction.store(true);
  m_localRange.store(THE_BAR_UNITS);
  m_localValue.store(units);
  publish();
}

void CliNotifier::publish()
{
  const int    range = m_localRange.load();
  const double fraction =
      range > 0 ? std::min(1.0, std::max(0.0, double(m_localValue.load()) / range)) : 0.0;
  const int units =
      static_cast<int>(THE_BAR_UNITS * (m_phaseFrom + fraction * (m_phaseTo - m_phaseFrom)));
  // Several threads may publish at once: only a higher position reaches the bar.
  int shown = m_shown.load();
  while (units > shown && !m_shown.compare_exchange_weak(shown, units))
  {
  }
  if (units > shown)
  {
    ActAPI_TerminalNotifier::SetProgressValue(units);
  }
}

ExitOnInterrupt::ExitOnInterrupt(const Handle(ActAPI_IProgressNotifier) & notifier,
                                 const double       seconds,
                                 const std::string& timeoutMessage)
    : m_watch(
          [this, notifier, seconds, timeoutMessage]()
          {
            const auto start = std::chrono::steady_clock::now();
            while (!m_isDone.load())
            {
              if (!notifier.IsNull() && notifier->IsCancelRequested())
              {
                std::fflush(stdout);
                std::fprintf(stderr, "quorin-mesh: error: interrupted\n");
                std::_Exit(Exit_Interrupted);
              }
              if (seconds > 0.0 &&
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
                      seconds)
              {
                std::fflush(stdout);
                std::fprintf(stderr, "quorin-mesh: error: %s\n", timeoutMessage.c_str());
                std::_Exit(Exit_Failure);
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
