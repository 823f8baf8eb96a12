// Running library calls from Python: every call goes through RunLibraryCall, which runs the
// work on a thread of its own with the interpreter's lock released, while the calling
// thread wakes every few tens of milliseconds to pass the progress to the Python callback
// and to look for Ctrl-C. A KeyboardInterrupt (or any exception the callback raises)
// becomes a cancellation request on the notifier the algorithm polls; once the algorithm
// has stopped, the exception is raised in Python. Library failures become quorin.Error with
// the last error message the algorithm sent.
#ifndef PyRun_HeaderFile
#define PyRun_HeaderFile

#include <ActAPI_IProgressNotifier.hxx>
#include <ActAPI_ProgressEntry.hxx>

#include <pybind11/pybind11.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

namespace quorinpy
{

//! Raised to Python as quorin.Error.
class Error : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

//! The notifier every bound call hands to the library: progress kept in atomics for the
//! waiting Python thread to read, the cancellation flag, and the error messages received.
class PyNotifier : public ActAPI_IProgressNotifier
{
public:
  void ResetProgress() override;
  void SetRange(const int units) override { m_range = units; }
  int  Range() const override { return m_range; }
  bool IsProgressEnabled() const override { return true; }
  void SetProgressMessage(const TCollection_AsciiString& text) override;
  void ProcessPending() override {}
  bool IsCancelRequested() override { return m_isCancelled.load(std::memory_order_relaxed); }
  void Advance(const int units) override { m_value += units; }
  void SetProgressValue(const int units) override { m_value = units; }
  //! Keeps error messages for the exception text; drops the others.
  void Notify(const ActAPI_LogMessage& message) override;

  void Cancel() { m_isCancelled = true; }

  //! Progress as a fraction in [0, 1] (0 while no range is set) and its text.
  double      Fraction() const;
  std::string Message() const;

  //! The last error message received, empty when none.
  std::string LastError() const;

private:
  std::atomic<int>   m_range{0};
  std::atomic<int>   m_value{0};
  std::atomic<bool>  m_isCancelled{false};
  mutable std::mutex m_mutex;
  std::string        m_message;
  std::string        m_lastError;
};

//! True when the notifier of `entry` (a PyNotifier) received an error message: for the
//! algorithms whose false answer alone does not tell a failure from an empty result.
bool HasError(const ActAPI_ProgressEntry& entry);

//! Runs `work` with the lock released (see the file comment) and answers its result.
//! @param[in] progress  None, or a callable taking (fraction, message)
//! @param[in] failure   text of the quorin.Error raised when `work` answers false and the
//!                      library sent no error message
//! @param[in] work      the library call; gets the entry to hand to the algorithm
//! @throw pybind11::error_already_set with KeyboardInterrupt (or the callback's exception)
//!        after a cancellation; Error when `work` answers false or throws
void RunLibraryCall(const pybind11::object&                                 progress,
                    const std::string&                                      failure,
                    const std::function<bool(const ActAPI_ProgressEntry&)>& work);

} // namespace quorinpy

#endif
