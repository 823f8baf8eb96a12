#include <ActAPI_TerminalNotifier.hxx>

#include <algorithm>
#include <csignal>
#include <unistd.h>

IMPLEMENT_STANDARD_RTTIEXT(ActAPI_TerminalNotifier, ActAPI_IProgressNotifier)

namespace
{
// A signal handler can only reach a static flag; it is written by the handler and read by
// every terminal notifier of the process.
volatile std::sig_atomic_t THE_INTERRUPTED = 0;

extern "C" void onInterrupt(int)
{
  if (THE_INTERRUPTED)
  {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
  THE_INTERRUPTED = 1;
}

const char* severityLabel(const int severity)
{
  switch (severity)
  {
  case LogSeverity_Warning:
    return "warning";
  case LogSeverity_Error:
    return "error";
  default:
    return "info";
  }
}
} // namespace

ActAPI_TerminalNotifier::ActAPI_TerminalNotifier(FILE* stream, const bool drawBar)
    : m_stream(stream), m_drawBar(drawBar && isatty(fileno(stream)))
{
}

ActAPI_TerminalNotifier::~ActAPI_TerminalNotifier()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  clearBar();
}

void ActAPI_TerminalNotifier::InstallInterruptHandler()
{
  // A new installation starts without a pending interrupt, so that a long-lived host can
  // run again after a cancelled piece of work.
  THE_INTERRUPTED = 0;
  std::signal(SIGINT, onInterrupt);
}

void ActAPI_TerminalNotifier::ResetProgress()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  clearBar();
  m_range.store(0);
  m_value.store(0);
  m_text.Clear();
  m_shownPermille = -1;
}

void ActAPI_TerminalNotifier::SetRange(const int units)
{
  m_range.store(units);
  std::lock_guard<std::mutex> lock(m_mutex);
  redraw(true);
}

void ActAPI_TerminalNotifier::SetProgressMessage(const TCollection_AsciiString& text)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_text = text;
  redraw(true);
}

bool ActAPI_TerminalNotifier::IsCancelRequested()
{
  return m_cancelled.load() || THE_INTERRUPTED != 0;
}

void ActAPI_TerminalNotifier::Advance(const int units)
{
  m_value.fetch_add(units);
  std::lock_guard<std::mutex> lock(m_mutex);
  redraw(false);
}

void ActAPI_TerminalNotifier::SetProgressValue(const int units)
{
  m_value.store(units);
  std::lock_guard<std::mutex> lock(m_mutex);
  redraw(false);
}

void ActAPI_TerminalNotifier::Notify(const ActAPI_LogMessage& message)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  clearBar();
  std::fprintf(m_stream, "[%s] %s\n", severityLabel(message.Severity),
               message.Formatted().ToCString());
  std::fflush(m_stream);
  redraw(true);
}

void ActAPI_TerminalNotifier::redraw(const bool force)
{
  const int range = m_range.load();
  if (!m_drawBar || range <= 0)
  {
    return;
  }
  const int value    = std::min(std::max(m_value.load(), 0), range);
  const int permille = static_cast<int>(1000.0 * value / range);
  if (!force && permille == m_shownPermille)
  {
    return;
  }
  m_shownPermille  = permille;
  const int width  = 30;
  const int filled = permille * width / 1000;
  char      bar[width + 1];
  for (int i = 0; i < width; ++i)
  {
    bar[i] = i < filled ? '#' : '.';
  }
  bar[width] = '\0';
  std::fprintf(m_stream, "\r[%s] %5.1f%% %s\033[K", bar, permille / 10.0, m_text.ToCString());
  std::fflush(m_stream);
  m_barVisible = true;
}

void ActAPI_TerminalNotifier::clearBar()
{
  if (m_barVisible)
  {
    std::fprintf(m_stream, "\r\033[K");
    std::fflush(m_stream);
    m_barVisible = false;
  }
}
