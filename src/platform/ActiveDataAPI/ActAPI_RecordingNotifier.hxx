// A notifier that keeps everything it receives in memory: the messages, the progress state
// and the sequence of progress calls. Tests assert on it; hosts can use it to collect the
// messages of a batch run. Cancellation can be requested at once, after a number of polls,
// or when the progress first reaches a fraction of its range (the moment is kept, so that
// the time an algorithm takes to stop can be measured). All operations are safe to call
// from several threads at once.
#ifndef ActAPI_RecordingNotifier_HeaderFile
#define ActAPI_RecordingNotifier_HeaderFile

#include <ActAPI_IProgressNotifier.hxx>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

class ActAPI_EXPORT ActAPI_RecordingNotifier : public ActAPI_IProgressNotifier
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_RecordingNotifier, ActAPI_IProgressNotifier)
public:
  ActAPI_RecordingNotifier() = default;

  void ResetProgress() override;
  void SetRange(const int units) override;
  int  Range() const override;
  bool IsProgressEnabled() const override { return true; }
  void SetProgressMessage(const TCollection_AsciiString& text) override;
  void ProcessPending() override {}
  bool IsCancelRequested() override;
  void Advance(const int units) override;
  void SetProgressValue(const int units) override;
  void Notify(const ActAPI_LogMessage& message) override;

  //! Makes every following cancellation poll answer true.
  void RequestCancel() { m_cancelAfter.store(0); }

  //! Lets `polls` more cancellation polls answer false, then answers true.
  void CancelAfterPolls(const long polls) { m_cancelAfter.store(polls); }

  //! Requests cancellation when the progress value first reaches `fraction` of the range.
  void CancelAtFraction(const double fraction);

  //! Whether CancelAtFraction fired, and when.
  bool                                  HasFiredCancel() const;
  std::chrono::steady_clock::time_point FiredCancelTime() const;

  //! Progress values shown, as fractions of the range at the time, in order.
  std::vector<double> Fractions() const;

  //! Records `fraction` of the whole current work as the progress shown, for a host that
  //! learns it besides the progress calls (it is not one of Calls()). Until the next
  //! ResetProgress, Fractions() and CancelAtFraction() then follow these fractions and no
  //! longer the value and range.
  void ShowWorkFraction(const double fraction);

  //! Number of ResetProgress calls that came after some progress had been shown.
  int NbLateResets() const;

  //! Number of cancellation polls received so far.
  long NbCancelPolls() const { return m_polls.load(); }

  //! Messages received, in order.
  std::vector<ActAPI_LogMessage> Messages() const;

  //! Formatted texts of the messages received, in order.
  std::vector<std::string> Texts() const;

  //! Progress calls in order, as "ResetProgress", "SetRange 200", "Advance 1",
  //! "SetProgressValue 100", "SetProgressMessage <text>".
  std::vector<std::string> Calls() const;

  int                     Value() const;
  TCollection_AsciiString ProgressMessage() const;

  //! Forgets messages, calls and progress; cancellation settings stay.
  void Clear();

private:
  void recordValue();
  void recordFraction(const double fraction);

private:
  mutable std::mutex                    m_mutex;
  std::vector<ActAPI_LogMessage>        m_messages;
  std::vector<std::string>              m_calls;
  TCollection_AsciiString               m_text;
  int                                   m_range = 0;
  int                                   m_value = 0;
  std::atomic<long>                     m_cancelAfter{-1};
  std::atomic<long>                     m_polls{0};
  std::vector<double>                   m_fractions;
  double                                m_cancelFraction  = -1.0;
  bool                                  m_hasFired        = false;
  int                                   m_nbLateResets    = 0;
  bool                                  m_followsFraction = false;
  std::chrono::steady_clock::time_point m_firedAt;
};

#endif
