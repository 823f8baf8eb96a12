// The kernel is built with signals converted to exceptions through setjmp; the same mode
// must be on here for OCC_CATCH_SIGNALS to set its jump point.
#ifndef OCC_CONVERT_SIGNALS
#define OCC_CONVERT_SIGNALS
#endif

#include <Exchange_KernelGuard.hxx>

#include <OSD.hxx>
#include <Standard_ErrorHandler.hxx>
#include <Standard_Failure.hxx>
#include <Standard_OutOfMemory.hxx>

#include <csignal>
#include <mutex>
#include <new>

namespace quorin
{

namespace Exchange_KernelGuard
{

void InstallSignalHandling()
{
  static std::once_flag once;
  std::call_once(once,
                 []()
                 {
                   // The kernel also takes over SIGINT, which would bypass the host's
                   // cancellation: keep the host's handler.
                   struct sigaction interrupt;
                   sigaction(SIGINT, nullptr, &interrupt);
                   OSD::SetSignal(false);
                   sigaction(SIGINT, &interrupt, nullptr);
                 });
}

bool Run(const std::function<bool()>& call, std::string& failure)
{
  InstallSignalHandling();
  try
  {
    OCC_CATCH_SIGNALS
    return call();
  }
  catch (const Standard_OutOfMemory&)
  {
    failure = "the reader ran out of memory";
  }
  catch (const std::bad_alloc&)
  {
    failure = "the reader ran out of memory";
  }
  catch (const Standard_Failure&)
  {
    failure = "the reader failed on malformed content";
  }
  catch (...)
  {
    failure = "the reader failed on malformed content";
  }
  return false;
}

} // namespace Exchange_KernelGuard

} // namespace quorin
