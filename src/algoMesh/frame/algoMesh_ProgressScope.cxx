#include <algoMesh_ProgressScope.hxx>

#include <algoMesh_WorkFraction.hxx>

#include <ActAPI_LogMessage.hxx>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace quorin
{

namespace
{

// The host's cancellation query is asked at most this often; between two queries a poll
// only reads a flag and the clock.
constexpr int64_t THE_POLL_INTERVAL_NS = 1000000;

// Progress positions are kept as integers so that threads can raise them with a plain
// atomic maximum: the whole run spans this many ticks.
constexpr int64_t THE_TICKS = int64_t(1) << 40;

int64_t nowNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void raiseTo(std::atomic<int64_t>& value, const int64_t candidate)
{
  int64_t current = value.load(std::memory_order_relaxed);
  while (candidate > current &&
         !value.compare_exchange_weak(current, candidate, std::memory_order_relaxed))
  {
  }
}

// What every scope of one run shares: the host's entry, the published position and the
// cancellation flag.
struct RunState
{
  ActAPI_ProgressEntry host;
  int                  range = 100;
  std::thread::id      owner;
  std::atomic<int64_t> reached{0}; // highest position reached by any thread, in ticks
  std::atomic<int>     shown{0};   // last value sent to the host, in its units
  std::atomic<bool>    isCancelled{false};
  std::atomic<int64_t> nextQuery{0};
  bool                 asksHost = true; // false: the algorithm polls the host itself

  // Sends the reached position to the host when it shows a new unit; the owner only.
  void Publish()
  {
    if (host.Access().IsNull() || std::this_thread::get_id() != owner)
    {
      return;
    }
    // The small allowance keeps shares that add up to a whole unit from showing one unit
    // less through rounding (0.3 of 100 is 29.999... in ticks).
    const double position =
        static_cast<double>(reached.load(std::memory_order_relaxed)) / THE_TICKS;
    const int units = static_cast<int>(std::floor(position * range + 1e-6));
    if (units > shown.load(std::memory_order_relaxed))
    {
      shown.store(units, std::memory_order_relaxed);
      host.SetProgress(units);
      // A host often decides to stop on seeing progress: ask at once rather than at the
      // next timed query, which a step boundary might not reach for a while.
      if (asksHost && host.IsCancelling())
      {
        isCancelled.store(true, std::memory_order_relaxed);
      }
    }
  }

  bool IsCancelled()
  {
    if (isCancelled.load(std::memory_order_relaxed))
    {
      return true;
    }
    if (host.Access().IsNull() || !asksHost)
    {
      return false;
    }
    const int64_t now  = nowNs();
    int64_t       next = nextQuery.load(std::memory_order_relaxed);
    if (now < next || !nextQuery.compare_exchange_strong(next, now + THE_POLL_INTERVAL_NS,
                                                         std::memory_order_relaxed))
    {
      return false;
    }
    Publish();
    if (host.IsCancelling())
    {
      isCancelled.store(true, std::memory_order_relaxed);
      return true;
    }
    return false;
  }
};

} // namespace

//! One scope of a run: a span of the run's ticks, the items counted in it, and the
//! notifier face that nested algorithms see. A nested algorithm that reports the fraction
//! of its whole work moves the span by that fraction alone, as a host would show it.
class algoMesh_ProgressNode : public ActAPI_IProgressNotifier, public algoMesh_WorkFraction
{
  DEFINE_STANDARD_RTTI_INLINE(algoMesh_ProgressNode, ActAPI_IProgressNotifier)
public:
  algoMesh_ProgressNode(const std::shared_ptr<RunState>& run,
                        const int64_t                    from,
                        const int64_t                    to,
                        const bool                       withMessages = true)
      : m_run(run), m_from(from), m_to(std::max(from, to)), m_withMessages(withMessages)
  {
  }

  //! The same span, messages dropped.
  Handle(algoMesh_ProgressNode) Muted() const
  {
    return new algoMesh_ProgressNode(m_run, m_from, m_to, false);
  }

  const std::shared_ptr<RunState>& Run() const { return m_run; }

  Handle(algoMesh_ProgressNode) Next(const double share)
  {
    const double  clamped = std::min(1.0, std::max(0.0, share));
    const int64_t span    = m_to - m_from;
    const int64_t start   = std::min(m_to, m_from + m_nextChild);
    const int64_t end     = std::min(m_to, start + static_cast<int64_t>(clamped * span));
    m_nextChild           = end - m_from;
    moveTo(start);
    return new algoMesh_ProgressNode(m_run, start, end);
  }

  void SetTotal(const int64_t nbItems)
  {
    m_total.store(std::max<int64_t>(1, nbItems));
    m_hasRange.store(true, std::memory_order_relaxed);
  }

  void AdvanceItems(const int64_t nbItems)
  {
    const int64_t done = m_done.fetch_add(nbItems, std::memory_order_relaxed) + nbItems;
    if (!m_followsFraction.load(std::memory_order_relaxed))
    {
      moveToItems(done);
    }
  }

  void SetDoneItems(const int64_t nbItems)
  {
    raiseTo(m_done, nbItems);
    if (!m_followsFraction.load(std::memory_order_relaxed))
    {
      moveToItems(m_done.load(std::memory_order_relaxed));
    }
  }

  void SetFraction(const double fraction)
  {
    const double clamped = std::min(1.0, std::max(0.0, fraction));
    moveTo(m_from + static_cast<int64_t>(clamped * static_cast<double>(m_to - m_from)));
  }

  // The notifier face: a nested algorithm's range maps onto this scope's span.
  // A nested run starts counting from zero again; what the host was shown stays.
  void ResetProgress() override
  {
    m_done.store(0, std::memory_order_relaxed);
    m_followsFraction.store(false, std::memory_order_relaxed);
  }

  void SetRange(const int units) override { SetTotal(units); }

  // Like a host's notifier, no range until one is set: a bridge that scales a position by
  // the range (the kernel's) then sets one, instead of showing nothing until the end.
  int Range() const override
  {
    return m_hasRange.load(std::memory_order_relaxed) ? static_cast<int>(m_total.load()) : 0;
  }

  bool IsProgressEnabled() const override
  {
    return !m_run->host.Access().IsNull() && m_run->host.Access()->IsProgressEnabled();
  }

  // The text belongs to the run that opened the progress.
  void SetProgressMessage(const TCollection_AsciiString&) override {}

  void ProcessPending() override
  {
    if (!m_run->host.Access().IsNull() && std::this_thread::get_id() == m_run->owner)
    {
      m_run->host.Access()->ProcessPending();
    }
  }

  bool IsCancelRequested() override { return m_run->IsCancelled(); }

  void Advance(const int units) override { AdvanceItems(units); }

  void SetProgressValue(const int units) override { SetDoneItems(units); }

  void Notify(const ActAPI_LogMessage& message) override
  {
    if (m_withMessages)
    {
      m_run->host.SendLogMessage(message);
    }
  }

  void SetWorkFraction(const double fraction) override
  {
    m_followsFraction.store(true, std::memory_order_relaxed);
    SetFraction(fraction);
  }

private:
  void moveToItems(const int64_t done)
  {
    const int64_t total = m_total.load(std::memory_order_relaxed);
    const double  ratio = static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    moveTo(m_from + static_cast<int64_t>(ratio * static_cast<double>(m_to - m_from)));
  }

  void moveTo(const int64_t tick)
  {
    raiseTo(m_run->reached, tick);
    m_run->Publish();
  }

private:
  std::shared_ptr<RunState> m_run;
  int64_t                   m_from;
  int64_t                   m_to;
  bool                      m_withMessages;
  int64_t                   m_nextChild = 0; // owner thread only
  std::atomic<int64_t>      m_total{1};
  std::atomic<bool>         m_hasRange{false}; // a range or a total was set
  std::atomic<int64_t>      m_done{0};
  std::atomic<bool>         m_followsFraction{false}; // a nested work reports its fraction
};

algoMesh_ProgressScope::algoMesh_ProgressScope(const ActAPI_ProgressEntry&    progress,
                                               const TCollection_AsciiString& text,
                                               const int                      range)
{
  std::shared_ptr<RunState> run = std::make_shared<RunState>();
  run->host                     = progress;
  run->range                    = std::max(1, range);
  run->owner                    = std::this_thread::get_id();
  if (!progress.Access().IsNull())
  {
    progress.Access()->ResetProgress();
    if (!text.IsEmpty())
    {
      progress.Access()->SetProgressMessage(text);
    }
    progress.Access()->SetRange(run->range);
  }
  m_node = new algoMesh_ProgressNode(run, 0, THE_TICKS);
}

algoMesh_ProgressScope algoMesh_ProgressScope::ProgressOnly(const ActAPI_ProgressEntry&    progress,
                                                            const TCollection_AsciiString& text,
                                                            const int                      range)
{
  algoMesh_ProgressScope scope(progress, text, range);
  scope.m_node->Run()->asksHost = false;
  return scope;
}

algoMesh_ProgressScope::algoMesh_ProgressScope(const Handle(algoMesh_ProgressNode) & node)
    : m_node(node)
{
}

algoMesh_ProgressScope::algoMesh_ProgressScope(const algoMesh_ProgressScope& other) = default;

algoMesh_ProgressScope&
algoMesh_ProgressScope::operator=(const algoMesh_ProgressScope& other) = default;

algoMesh_ProgressScope::~algoMesh_ProgressScope() = default;

algoMesh_ProgressScope algoMesh_ProgressScope::Next(const double share)
{
  return algoMesh_ProgressScope(m_node->Next(share));
}

void algoMesh_ProgressScope::SetTotal(const int64_t nbItems)
{
  m_node->SetTotal(nbItems);
}

void algoMesh_ProgressScope::Advance(const int64_t nbItems)
{
  m_node->AdvanceItems(nbItems);
}

void algoMesh_ProgressScope::SetDone(const int64_t nbItems)
{
  m_node->SetDoneItems(nbItems);
}

void algoMesh_ProgressScope::SetFraction(const double fraction)
{
  m_node->SetFraction(fraction);
}

bool algoMesh_ProgressScope::IsCancelled() const
{
  return m_node->Run()->IsCancelled();
}

void algoMesh_ProgressScope::Cancel()
{
  m_node->Run()->isCancelled.store(true, std::memory_order_relaxed);
}

ActAPI_ProgressEntry algoMesh_ProgressScope::Entry(const bool withMessages) const
{
  if (m_node->Run()->host.Access().IsNull())
  {
    return ActAPI_ProgressEntry();
  }
  return ActAPI_ProgressEntry(
      Handle(ActAPI_IProgressNotifier)(withMessages ? m_node : m_node->Muted()));
}

const ActAPI_ProgressEntry& algoMesh_ProgressScope::HostEntry() const
{
  return m_node->Run()->host;
}

void algoMesh_ReportCancelled(const ActAPI_ProgressEntry& progress)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Warning);
  message << "Operation cancelled.";
  progress.SendLogMessage(message);
}

} // namespace quorin
