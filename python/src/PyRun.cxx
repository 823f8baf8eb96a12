#include "PyRun.hxx"

#include <Standard_Failure.hxx>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace py = pybind11;

namespace quorinpy
{

void PyNotifier::ResetProgress()
{
  m_range = 0;
  m_value = 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_message.clear();
}

void PyNotifier::SetProgressMessage(const TCollection_AsciiString& text)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  m_message = text.ToCString();
}

void PyNotifier::Notify(const ActAPI_LogMessage& message)
{
  if (message.Severity >= LogSeverity_Error)
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = message.Formatted().ToCString();
  }
}

double PyNotifier::Fraction() const
{
  const int range = m_range;
  const int value = m_value;
  if (range <= 0)
  {
    return 0.0;
  }
  return std::min(1.0, std::max(0.0, static_cast<double>(value) / range));
}

std::string PyNotifier::Message() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_message;
}

std::string PyNotifier::LastError() const
{
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lastError;
}

bool HasError(const ActAPI_ProgressEntry& entry)
{
  const PyNotifier* notifier = dynamic_cast<const PyNotifier*>(entry.Access().get());
  return notifier != nullptr && !notifier->LastError().empty();
}

void RunLibraryCall(const py::object&                                       progress,
                    const std::string&                                      failure,
                    const std::function<bool(const ActAPI_ProgressEntry&)>& work)
{
  Handle(PyNotifier) notifier = new PyNotifier();
  const ActAPI_ProgressEntry entry(notifier);
  const bool                 hasCallback = !progress.is_none();

  // 1. The library call on its own thread; what it throws is kept as text.
  bool               isDone = false;
  std::string        thrown;
  bool               isOutOfMemory = false;
  std::promise<void> finished;
  std::future<void>  isFinished = finished.get_future();
  std::thread        worker(
      [&]()
      {
        try
        {
          isDone = work(entry);
        }
        catch (const Standard_Failure& f)
        {
          thrown = std::string(f.DynamicType()->Name()) + ": " + f.GetMessageString();
        }
        catch (const std::bad_alloc&)
        {
          isOutOfMemory = true;
        }
        catch (const std::exception& e)
        {
          thrown = e.what();
        }
        catch (...)
        {
          thrown = "unknown C++ exception";
        }
        finished.set_value();
      });

  // 2. Wait, waking to report progress and to notice Ctrl-C or a failing callback.
  std::optional<py::error_already_set> interruption;
  double                               lastFraction = -1.0;
  std::string                          lastMessage;
  for (;;)
  {
    bool isOver = false;
    {
      py::gil_scoped_release unlocked;
      isOver = isFinished.wait_for(std::chrono::milliseconds(40)) == std::future_status::ready;
    }
    if (isOver)
    {
      break;
    }
    if (interruption)
    {
      continue;
    }
    try
    {
      if (PyErr_CheckSignals() != 0)
      {
        throw py::error_already_set();
      }
      const double      fraction = notifier->Fraction();
      const std::string message  = notifier->Message();
      if (hasCallback && (fraction != lastFraction || message != lastMessage))
      {
        lastFraction = fraction;
        lastMessage  = message;
        progress(fraction, message);
      }
    }
    catch (py::error_already_set& e)
    {
      interruption.emplace(std::move(e));
      notifier->Cancel();
    }
  }
  worker.join();

  // 3. Raise what stopped the call, or its failure.
  if (interruption)
  {
    throw *interruption;
  }
  if (isOutOfMemory)
  {
    throw std::bad_alloc();
  }
  if (!thrown.empty())
  {
    throw Error(failure + " (" + thrown + ")");
  }
  if (!isDone)
  {
    const std::string reason = notifier->LastError();
    throw Error(reason.empty() ? failure : failure + ": " + reason);
  }
  if (hasCallback)
  {
    progress(1.0, notifier->Message());
  }
}

} // namespace quorinpy
