// Optional extension of a progress notifier: the fraction of the whole current work done,
// for work whose fixed progress steps do not span its time.
//
// Some algorithms have their progress calls fixed step by step, and those steps cover only
// part of what they do: the VTK XML writers fill their range of 100 while they build the
// data set, and then VTK's writer compresses and encodes it, often for most of the time.
// A host that wants its display to move through such a tail implements this interface
// beside ActAPI_IProgressNotifier (the library finds it with a cross-cast). The library
// then calls SetWorkFraction for such work, in addition to the fixed calls: first with 0
// right after the work's ResetProgress / SetProgressMessage / SetRange, then as the work
// goes on (never decreasing), and with 1 when it ends successfully. From the first call
// until the next ResetProgress, the host should show that fraction and disregard the
// value and range of the fixed calls for its display. A notifier that does not implement
// the interface receives exactly the calls it received before; nothing else changes.
// Calls come from the thread that started the work.
#ifndef algoMesh_WorkFraction_HeaderFile
#define algoMesh_WorkFraction_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_WorkFraction
{
public:
  virtual ~algoMesh_WorkFraction();

  //! The fraction of the whole current work done.
  //! @param[in] fraction  0 .. 1, never smaller than the one before within one work
  virtual void SetWorkFraction(const double fraction) = 0;

  //! The extension of the entry's notifier, or null when it has none (or no notifier).
  static algoMesh_WorkFraction* Of(const ActAPI_ProgressEntry& progress);
};

} // namespace quorin

#endif
