// Value handle through which an algorithm reaches its progress notifier. An entry without
// a notifier is valid: reports through it are dropped and cancellation polls answer false.
#ifndef ActAPI_ProgressEntry_HeaderFile
#define ActAPI_ProgressEntry_HeaderFile

#include <ActAPI_IProgressNotifier.hxx>

#include <type_traits>

class ActAPI_EXPORT ActAPI_ProgressEntry
{
public:
  ActAPI_ProgressEntry() = default;
  ActAPI_ProgressEntry(const Handle(ActAPI_IProgressNotifier) & notifier) : m_notifier(notifier) {}

  //! Lets a handle of any notifier class stand where an entry is expected, e.g.
  //! `algoMesh_Checker checker(mesh, myRecordingNotifier, ActAPI_PlotterEntry())`.
  template <
      class T,
      class = typename std::enable_if<std::is_base_of<ActAPI_IProgressNotifier, T>::value>::type>
  ActAPI_ProgressEntry(const Handle(T) & notifier) : m_notifier(notifier)
  {
  }

  const Handle(ActAPI_IProgressNotifier) & Access() const { return m_notifier; }

  //! Whether the user asked to stop; false without a notifier.
  bool IsCancelling() const { return !m_notifier.IsNull() && m_notifier->IsCancelRequested(); }

  //! Starts a new piece of work: resets the progress, sets its text and its range.
  void Init(const TCollection_AsciiString& text, const int range) const
  {
    if (!m_notifier.IsNull())
    {
      m_notifier->ResetProgress();
      m_notifier->SetProgressMessage(text);
      m_notifier->SetRange(range);
    }
  }

  void StepProgress(const int units) const
  {
    if (!m_notifier.IsNull())
    {
      m_notifier->Advance(units);
    }
  }

  void SetProgress(const int units) const
  {
    if (!m_notifier.IsNull())
    {
      m_notifier->SetProgressValue(units);
    }
  }

  //! Sets the progress to the full range of the current work.
  void Complete() const
  {
    if (!m_notifier.IsNull())
    {
      m_notifier->SetProgressValue(m_notifier->Range());
    }
  }

  void SendLogMessage(const ActAPI_LogMessage& message) const
  {
    if (!m_notifier.IsNull())
    {
      m_notifier->Notify(message);
    }
  }

private:
  Handle(ActAPI_IProgressNotifier) m_notifier;
};

#endif
