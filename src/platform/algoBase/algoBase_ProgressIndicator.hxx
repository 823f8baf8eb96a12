// Bridges the kernel's progress reporting onto a progress notifier: kernel functions that
// take a Message_ProgressRange (from Start()) report their position here, which becomes the
// notifier's progress value over its current range, and a cancellation request on the
// notifier becomes the kernel's user break.
#ifndef algoBase_ProgressIndicator_HeaderFile
#define algoBase_ProgressIndicator_HeaderFile

#include <algoBase_Export.hxx>

#include <ActAPI_IProgressNotifier.hxx>

#include <Message_ProgressIndicator.hxx>

class algoBase_EXPORT algoBase_ProgressIndicator : public Message_ProgressIndicator
{
  DEFINE_STANDARD_RTTIEXT(algoBase_ProgressIndicator, Message_ProgressIndicator)
public:
  algoBase_ProgressIndicator() = default;

  //! Routes progress and cancellation to the notifier; a null notifier disconnects.
  void ConnectNotifier(const Handle(ActAPI_IProgressNotifier)& notifier) { m_notifier = notifier; }

  const Handle(ActAPI_IProgressNotifier)& GetNotifier() const { return m_notifier; }

  //! True when the connected notifier asks to stop.
  Standard_Boolean UserBreak() override;

  //! Maps the kernel position (0..1) onto the notifier's range. When the notifier has no
  //! range yet, a range of 100 is set so that the position still shows.
  void Show(const Message_ProgressScope& scope, const Standard_Boolean isForce) override;

private:
  Handle(ActAPI_IProgressNotifier) m_notifier;
  int                              m_lastValue = -1;
};

#endif
