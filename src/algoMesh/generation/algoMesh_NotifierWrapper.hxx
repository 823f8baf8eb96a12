// Bridge from the wrapping component's progress notifier to the host's notifier. Internal
// to the wrapping; not exported.
#ifndef algoMesh_NotifierWrapper_HeaderFile
#define algoMesh_NotifierWrapper_HeaderFile

#include <SurfWrap_ProgressNotifier.hxx>

#include <ActAPI_ProgressEntry.hxx>

namespace quorin
{

//! Forwards the wrapping's progress (as percent of the whole), event processing and
//! cancellation queries to the host's notifier; everything else stays in the base.
class algoMesh_NotifierWrapper : public SurfWrap_ProgressNotifier
{
public:
  //! Loads the message resource at `path` unless it is empty ("Cannot load resources from
  //! file %1." as a warning through `progress` when that fails, and the wrapping goes on),
  //! then, when the host's notifier accepts progress, sets its range to 100 and becomes
  //! active.
  //! @param[in] path      message resource file; may be empty
  //! @param[in] progress  the host's entry; its notifier may be null
  algoMesh_NotifierWrapper(const TCollection_AsciiString& path,
                           const ActAPI_ProgressEntry&    progress);

  //! Counts a step; when active, passes the position in percent (truncated) to the host.
  void Increment() override;

  //! The host's ProcessPending(); nothing without a host notifier.
  void ProcessEvents() override;

  //! The host's IsCancelRequested(); false without a host notifier.
  bool IsInterrupted() override;

  //! Whether progress goes to the host.
  bool IsActive() const { return m_isActive; }

private:
  Handle(ActAPI_IProgressNotifier) m_host;
  bool m_isActive;
};

} // namespace quorin

#endif
