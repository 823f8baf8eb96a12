// Progress and cancellation of one run of an algorithm, split into the shares of its steps.
//
// A Perform opens one root scope on its progress entry; each step takes its share of the
// root with Next(share) and counts its own items in it. A step that runs another algorithm
// hands it the step's Entry(): whatever range that algorithm sets, its progress lands inside
// the step's share, so nested algorithms never move the host's progress backwards.
//
// Advancing and polling are lock-free and may be done from any thread. Only the thread that
// opened the root talks to the host's notifier about progress (hosts need not make their
// progress display thread-safe); worker threads only raise an atomic high-water mark, which
// the opening thread publishes at its next advance or poll. The notifier's cancellation
// query is asked at most once a millisecond; a poll in between reads an atomic flag and the
// clock, a few nanoseconds. The progress shown never decreases.
#ifndef algoMesh_ProgressScope_HeaderFile
#define algoMesh_ProgressScope_HeaderFile

#include <algoMesh.hxx>

#include <ActAPI_ProgressEntry.hxx>

#include <cstdint>
#include <cstddef>

namespace quorin
{

class algoMesh_ProgressNode;

class algoMesh_EXPORT algoMesh_ProgressScope
{
public:
  //! Opens the progress of a new piece of work: resets the entry's progress, gives it
  //! `text` and a range of `range` units. An entry without a notifier is valid: progress is
  //! then dropped and IsCancelled() answers false.
  //! @param[in] progress  the algorithm's entry
  //! @param[in] text      text shown with the progress; empty keeps the notifier's text
  //! @param[in] range     units of the notifier's range (at least 1)
  algoMesh_ProgressScope(const ActAPI_ProgressEntry&    progress,
                         const TCollection_AsciiString& text,
                         const int                      range = 100);

  //! A root that shows progress but never asks the host about cancellation, for an
  //! algorithm whose polls of the notifier are fixed (one per item, say): IsCancelled()
  //! then answers only whether Cancel() was called.
  static algoMesh_ProgressScope ProgressOnly(const ActAPI_ProgressEntry&    progress,
                                             const TCollection_AsciiString& text,
                                             const int                      range = 100);

  algoMesh_ProgressScope(const algoMesh_ProgressScope& other);
  algoMesh_ProgressScope& operator=(const algoMesh_ProgressScope& other);
  ~algoMesh_ProgressScope();

  //! The next `share` (a fraction of this scope, 0 .. 1) after the shares taken before.
  //! Shares beyond the end are clamped; taking a share moves this scope's progress to the
  //! start of it.
  algoMesh_ProgressScope Next(const double share);

  //! Number of items this scope counts; Advance() moves by items. Default 1.
  void SetTotal(const int64_t nbItems);

  //! Counts `nbItems` more done items (any thread).
  void Advance(const int64_t nbItems = 1);

  //! Sets the done items (any thread); smaller values than before are ignored.
  void SetDone(const int64_t nbItems);

  //! Takes a count reported by a worker, `done` of `total` items, as this scope's items
  //! (any thread). @return false once the run is cancelled: the worker's answer to go on
  bool Follow(const size_t done, const size_t total)
  {
    SetTotal(static_cast<int64_t>(total));
    SetDone(static_cast<int64_t>(done));
    return !IsCancelled();
  }

  //! Sets the position inside this scope as a fraction 0 .. 1 (any thread).
  void SetFraction(const double fraction);

  //! Moves to the end of this scope.
  void Complete() { SetFraction(1.0); }

  //! Whether the host asked to stop, or Cancel() was called on any scope of this run (any
  //! thread). Once true it stays true for the run.
  bool IsCancelled() const;

  //! Marks the run as cancelled from inside (a filter that reported an abort, say).
  void Cancel();

  //! An entry for a nested algorithm: its whole range maps onto this scope, its
  //! cancellation polls are this scope's, and its messages go to the host unless
  //! `withMessages` is false (for a helper whose complaints the caller reports in its own
  //! words). Empty when the root entry has no notifier.
  ActAPI_ProgressEntry Entry(const bool withMessages = true) const;

  //! The host's entry the root was opened on (for messages).
  const ActAPI_ProgressEntry& HostEntry() const;

private:
  explicit algoMesh_ProgressScope(const Handle(algoMesh_ProgressNode) & node);

private:
  Handle(algoMesh_ProgressNode) m_node;
};

//! Sends the message of a run that stopped on the host's request: "Operation cancelled."
//! as a warning.
algoMesh_EXPORT void algoMesh_ReportCancelled(const ActAPI_ProgressEntry& progress);

} // namespace quorin

#endif
