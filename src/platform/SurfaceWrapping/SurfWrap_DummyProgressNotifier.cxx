// The shared silent notifier.
#include <SurfWrap_DummyProgressNotifier.hxx>

IMPLEMENT_STANDARD_RTTIEXT(SurfWrap_DummyProgressNotifier, SurfWrap_ProgressNotifier)

const Handle(SurfWrap_DummyProgressNotifier) & SurfWrap_DummyProgressNotifier::Instance()
{
  // Built once, thread-safely, on first use; it never changes afterwards.
  static const Handle(SurfWrap_DummyProgressNotifier) instance =
      new SurfWrap_DummyProgressNotifier();
  return instance;
}
