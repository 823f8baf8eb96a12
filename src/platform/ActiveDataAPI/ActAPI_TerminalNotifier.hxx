// A notifier for command-line programs: draws a progress bar on standard error, prints
// messages there with their placeholders filled, and turns Ctrl-C into a cancellation
// request once InstallInterruptHandler() has been called.
#ifndef ActAPI_TerminalNotifier_HeaderFile
#define ActAPI_TerminalNotifier_HeaderFile

#include <ActAPI_IProgressNotifier.hxx>

#include <atomic>
#include <cstdio>
#include <mutex>

class ActAPI_EXPORT ActAPI_TerminalNotifier : public ActAPI_IProgressNotifier
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_TerminalNotifier, ActAPI_IProgressNotifier)
public:
  //! @param[in] stream   where the bar and the messages go (standard error by default)
  //! @param[in] drawBar  false prints messages only (for logs and pipes)
  explicit ActAPI_TerminalNotifier(FILE* stream = stderr, const bool drawBar = true);
  ~ActAPI_TerminalNotifier() override;

  //! Makes SIGINT request cancellation instead of ending the process. A second Ctrl-C
  //! while cancellation is pending ends the process as usual. The request is shared by
  //! every terminal notifier of the process; calling this again clears it.
  static void InstallInterruptHandler();

  void ResetProgress() override;
  void SetRange(const int units) override;
  int  Range() const override { return m_range.load(); }
  bool IsProgressEnabled() const override { return true; }
  void SetProgressMessage(const TCollection_AsciiString& text) override;
  void ProcessPending() override {}
  bool IsCancelRequested() override;
  void Advance(const int units) override;
  void SetProgressValue(const int units) override;
  void Notify(const ActAPI_LogMessage& message) override;

  void RequestCancel() { m_cancelled.store(true); }

private:
  void redraw(const bool force);
  void clearBar();

private:
  FILE*                   m_stream;
  bool                    m_drawBar;
  std::mutex              m_mutex;
  TCollection_AsciiString m_text;
  std::atomic<int>        m_range{0};
  std::atomic<int>        m_value{0};
  int                     m_shownPermille = -1;
  bool                    m_barVisible    = false;
  std::atomic<bool>       m_cancelled{false};
};

#endif
