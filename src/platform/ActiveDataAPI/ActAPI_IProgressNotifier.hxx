// Receiver of an algorithm's progress, messages and cancellation requests. Hosts derive
// from it to drive their own progress display; ActAPI_RecordingNotifier and
// ActAPI_TerminalNotifier are ready-made receivers.
#ifndef ActAPI_IProgressNotifier_HeaderFile
#define ActAPI_IProgressNotifier_HeaderFile

#include <ActAPI_LogMessage.hxx>

class ActAPI_EXPORT ActAPI_IProgressNotifier : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_IProgressNotifier, Standard_Transient)
public:
  //! Clears the progress state (range, value and progress text).
  virtual void ResetProgress() = 0;

  //! Sets the number of progress units of the work to come.
  virtual void SetRange(const int units) = 0;

  //! Number of progress units of the current work.
  virtual int Range() const = 0;

  //! Whether the notifier currently accepts progress.
  virtual bool IsProgressEnabled() const = 0;

  //! Text shown with the progress, for example "Writing to a PLY file".
  virtual void SetProgressMessage(const TCollection_AsciiString& text) = 0;

  //! Lets the receiver process pending events of its own (a user interface, say).
  virtual void ProcessPending() = 0;

  //! Whether the user asked to stop. Must be safe to call from several threads at once.
  virtual bool IsCancelRequested() = 0;

  //! Adds units to the progress value.
  virtual void Advance(const int units) = 0;

  //! Sets the progress value.
  virtual void SetProgressValue(const int units) = 0;

  //! Receives one message.
  virtual void Notify(const ActAPI_LogMessage& message) = 0;
};

#endif
