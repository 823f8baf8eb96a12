// Ordering of a fork/join region run on TBB, stated for ThreadSanitizer builds.
//
// TBB's scheduler is a library built without the sanitizer: the synchronisation that makes
// the writes of the thread that starts a parallel loop visible to its tasks, and the
// tasks' writes visible after the loop returns, happens where the sanitizer cannot see it,
// so every such loop would show as data races. A fence created before the loop, entered at
// the start and left at the end of every task, and closed after the loop, states those
// two orderings; races between the tasks themselves are still reported. Without the
// sanitizer every call is empty.
#ifndef BVHTools_TaskFence_HeaderFile
#define BVHTools_TaskFence_HeaderFile

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace BVHTools
{

class TaskFence
{
public:
  //! Before the fork: what the calling thread wrote so far is seen by the tasks.
  TaskFence() { release(); }

  //! After the join: what the tasks wrote is seen by the calling thread.
  ~TaskFence() { acquire(); }

  TaskFence(const TaskFence&)            = delete;
  TaskFence& operator=(const TaskFence&) = delete;

  //! At the start of a task.
  void Enter() const { acquire(); }

  //! At the end of a task.
  void Leave() const { release(); }

  //! Closes the fence before the destructor (when the results are read in the same scope).
  void Join() const { acquire(); }

private:
#if defined(__SANITIZE_THREAD__)
  void release() const
  {
    __tsan_release(const_cast<TaskFence*>(this));
  }
  void acquire() const
  {
    __tsan_acquire(const_cast<TaskFence*>(this));
  }
#else
  void release() const {}
  void acquire() const {}
#endif
};

} // namespace BVHTools

#endif
