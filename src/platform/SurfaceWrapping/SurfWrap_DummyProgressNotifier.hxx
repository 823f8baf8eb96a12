// A notifier that keeps nothing and never interrupts.
#ifndef SurfWrap_DummyProgressNotifier_HeaderFile
#define SurfWrap_DummyProgressNotifier_HeaderFile

#include <SurfWrap_ProgressNotifier.hxx>

//! Silent notifier for callers without a host: every operation does nothing, the position
//! stays 0 and IsInterrupted() answers false. It holds no changing state, so the one shared
//! instance may be used by any number of threads and calls at once.
class SurfWrap_EXPORT SurfWrap_DummyProgressNotifier : public SurfWrap_ProgressNotifier
{
  DEFINE_STANDARD_RTTIEXT(SurfWrap_DummyProgressNotifier, SurfWrap_ProgressNotifier)
public:
  //! The shared silent notifier.
  static const Handle(SurfWrap_DummyProgressNotifier) & Instance();

  void Dump(Standard_OStream&) const override {}
  void Clear() override {}
  void NewMessage(const TCollection_AsciiString&,
                  const SurfWrap_Gravity,
                  const TCollection_AsciiString&) override
  {
  }
  void   NewScope(const int, const TCollection_AsciiString&) override {}
  void   NextScope() override {}
  void   EndScope() override {}
  void   Increment() override {}
  double GetPosition() const override { return 0.0; }
  int    GetValue() const override { return 0; }
  void   ProcessEvents() override {}
  bool   IsInterrupted() override { return false; }
  void   TreatErrorAsWarning(const bool) override {}
  void   loadResource(const TCollection_AsciiString&) override {}

private:
  SurfWrap_DummyProgressNotifier() : SurfWrap_ProgressNotifier(TCollection_AsciiString()) {}
};

#endif
