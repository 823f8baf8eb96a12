#include <algoBase_ProgressIndicator.hxx>

#include <Message_ProgressScope.hxx>

#include <cmath>

IMPLEMENT_STANDARD_RTTIEXT(algoBase_ProgressIndicator, Message_ProgressIndicator)

Standard_Boolean algoBase_ProgressIndicator::UserBreak()
{
  return !m_notifier.IsNull() && m_notifier->IsCancelRequested();
}

void algoBase_ProgressIndicator::Show(const Message_ProgressScope&, const Standard_Boolean isForce)
{
  if (m_notifier.IsNull())
  {
    return;
  }
  int range = m_notifier->Range();
  if (range <= 0)
  {
    range = 100;
    m_notifier->SetRange(range);
  }
  const int value = static_cast<int>(std::floor(GetPosition() * range));
  // The kernel calls Show very often; only changes reach the notifier.
  if (value != m_lastValue || isForce)
  {
    m_lastValue = value;
    m_notifier->SetProgressValue(value);
  }
}
