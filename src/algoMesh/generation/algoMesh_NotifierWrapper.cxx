// Host bridge of the wrapping component's notifier.
#include <algoMesh_NotifierWrapper.hxx>

#include <Standard_Failure.hxx>

using namespace quorin;

algoMesh_NotifierWrapper::algoMesh_NotifierWrapper(const TCollection_AsciiString& path,
                                                   const ActAPI_ProgressEntry&    progress)
    : SurfWrap_ProgressNotifier(TCollection_AsciiString()), m_host(progress.Access()),
      m_isActive(false)
{
  if (!path.IsEmpty())
  {
    try
    {
      loadResource(path);
    }
    catch (...)
    {
      ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
      message << "Cannot load resources from file %1." << path;
      progress.SendLogMessage(message);
    }
  }
  if (!m_host.IsNull() && m_host->IsProgressEnabled())
  {
    m_host->SetRange(100);
    m_isActive = true;
  }
}

void algoMesh_NotifierWrapper::Increment()
{
  SurfWrap_ProgressNotifier::Increment();
  if (m_isActive && !m_host.IsNull())
  {
    m_host->SetProgressValue(static_cast<int>(GetPosition() * 100.0));
  }
}

void algoMesh_NotifierWrapper::ProcessEvents()
{
  if (!m_host.IsNull())
  {
    m_host->ProcessPending();
  }
}

bool algoMesh_NotifierWrapper::IsInterrupted()
{
  return !m_host.IsNull() && m_host->IsCancelRequested();
}
