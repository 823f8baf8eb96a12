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
#include <memory>
#include <mutex>
#include <new>

namespace quorin
{

namespace
{

//! Bytes of the signal stack: the kernel's handler formats its message and allocates the
//! exception it jumps with.
const size_t THE_SIGNAL_STACK_SIZE = size_t(256) << 10;

//! A stack of its own for the signal handler on the calling thread, for the duration of a
//! guarded call. A reference cycle in a file (a curve whose basis is itself) makes the
//! kernel's translation recurse until the stack overflows; the handler can turn that fault
//! into a failure only if it does not need the exhausted stack itself. A stack the host or
//! a sanitizer has set up already is left in place.
class SignalStack
{
public:
  SignalStack()
  {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0)
    {
      return;
    }
    myMemory.reset(new (std::nothrow) char[THE_SIGNAL_STACK_SIZE]);
    stack_t own{};
    own.ss_sp   = myMemory.get();
    own.ss_size = THE_SIGNAL_STACK_SIZE;
    if (!myMemory || sigaltstack(&own, nullptr) != 0)
    {
      myMemory.reset();
    }
  }

  ~SignalStack()
  {
    if (myMemory)
    {
      stack_t none{};
      none.ss_flags = SS_DISABLE;
      sigaltstack(&none, nullptr);
    }
  }

  SignalStack(const SignalStack&)            = delete;
  SignalStack& operator=(const SignalStack&) = delete;

private:
  std::unique_ptr<char[]> myMemory;
};

} // namespace

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
                   // Faults are handled on the signal stack when one is set (see above).
                   for (const int fault : {SIGSEGV, SIGBUS})
                   {
                     struct sigaction action;
                     if (sigaction(fault, nullptr, &action) == 0)
                     {
                       action.sa_flags |= SA_ONSTACK;
                       sigaction(fault, &action, nullptr);
                     }
                   }
                 });
}

bool Run(const std::function<bool()>& call, std::string& failure)
{
  InstallSignalHandling();
  const SignalStack signalStack;
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
