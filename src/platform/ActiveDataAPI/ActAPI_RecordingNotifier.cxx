#include <ActAPI_RecordingNotifier.hxx>

IMPLEMENT_STANDARD_RTTIEXT(ActAPI_RecordingNotifier, ActAPI_IProgressNotifier)

void ActAPI_RecordingNotifier::ResetProgress()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_fractions.empty() && m_fractions.back() > 0.0)
  {
    ++m_nbLateResets;
  }
  m_range           = 0;
  m_value           = 0;
  m_followsFraction = false;
  m_text.Clear();
  m_calls.emplace_back("ResetProgress");
}

void ActAPI_RecordingNotifier::SetRange(const int units)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_range = units;
  m_calls.push_back("SetRange " + std::to_string(units));
}

int ActAPI_RecordingNotifier::Range() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_range;
}

void ActAPI_RecordingNotifier::SetProgressMessage(const TCollection_AsciiString& text)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_text = text;
  m_calls.push_back(std::string("SetProgressMessage ") + text.ToCString());
}

bool ActAPI_RecordingNotifier::IsCancelRequested()
{
  m_polls.fetch_add(1);
  // A negative budget means "never"; otherwise each poll spends one unit and the poll that
  // finds the budget exhausted answers true.
  long budget = m_cancelAfter.load();
  while (budget > 0 && !m_cancelAfter.compare_exchange_weak(budget, budget - 1))
  {
  }
  return budget == 0;
}

void ActAPI_RecordingNotifier::Advance(const int units)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_value += units;
  m_calls.push_back("Advance " + std::to_string(units));
  recordValue();
}

void ActAPI_RecordingNotifier::SetProgressValue(const int units)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_value = units;
  m_calls.push_back("SetProgressValue " + std::to_string(units));
  recordValue();
}

void ActAPI_RecordingNotifier::ShowWorkFraction(const double fraction)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_followsFraction = true;
  recordFraction(fraction);
}

void ActAPI_RecordingNotifier::recordValue()
{
  if (m_followsFraction)
  {
    return;
  }
  if (m_range <= 0)
  {
    // Without a range a value shows nothing and cannot reach a threshold.
    m_fractions.push_back(0.0);
    return;
  }
  recordFraction(static_cast<double>(m_value) / m_range);
}

void ActAPI_RecordingNotifier::recordFraction(const double fraction)
{
  m_fractions.push_back(fraction);
  if (!m_hasFired && m_cancelFraction >= 0.0 && fraction >= m_cancelFraction)
  {
    m_hasFired = true;
    m_firedAt  = std::chrono::steady_clock::now();
    m_cancelAfter.store(0);
  }
}

void ActAPI_RecordingNotifier::CancelAtFraction(const double fraction)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cancelFraction = fraction;
  m_hasFired       = false;
}

bool ActAPI_RecordingNotifier::HasFiredCancel() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_hasFired;
}

std::chrono::steady_clock::time_point ActAPI_RecordingNotifier::FiredCancelTime() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_firedAt;
}

std::vector<double> ActAPI_RecordingNotifier::Fractions() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_fractions;
}

int ActAPI_RecordingNotifier::NbLateResets() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nbLateResets;
}

void ActAPI_RecordingNotifier::Notify(const ActAPI_LogMessage& message)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.push_back(message);
}

std::vector<ActAPI_LogMessage> ActAPI_RecordingNotifier::Messages() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_messages;
}

std::vector<std::string> ActAPI_RecordingNotifier::Texts() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string>    texts;
  for (const ActAPI_LogMessage& message : m_messages)
  {
    texts.emplace_back(message.Formatted().ToCString());
  }
  return texts;
}

std::vector<std::string> ActAPI_RecordingNotifier::Calls() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_calls;
}

int ActAPI_RecordingNotifier::Value() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_value;
}

TCollection_AsciiString ActAPI_RecordingNotifier::ProgressMessage() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_text;
}

void ActAPI_RecordingNotifier::Clear()
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
  m_calls.clear();
  m_text.Clear();
  m_range = 0;
  m_value = 0;
  m_fractions.clear();
  m_nbLateResets = 0;
}
