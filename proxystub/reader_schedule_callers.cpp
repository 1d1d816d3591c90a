#include "proxystub/reader_schedule.h"

#include <algorithm>
#include <functional>
#include <vector>

// The callers' turns at reading (callerReadsReply): a caller waiting for
// its reply reads the socket itself while no other thread does, so the
// reply wakes nobody; service threads lend the role out and take it back.
namespace ps {

void ReaderSchedule::ParkWhileCallersRead(std::unique_lock<std::mutex>& lock) {
  // Long enough that a stream of calls keeps reading with the callers,
  // short enough that an incoming call is read soon after they stop.
  constexpr auto kQuietSpell = std::chrono::milliseconds(2);
  ++m_idle;
  for (;;) {
    const std::uint64_t seenTurns = m_callerTurns;
    m_roleFree.wait_for(lock, kQuietSpell, [&] { return m_closed || !m_queuedCalls.empty(); });
    if (m_closed || !m_queuedCalls.empty()) break;
    if (m_callerTurns == seenTurns) {
      m_lentOut = false;
      break;
    }
  }
  --m_idle;
}

void ReaderSchedule::PassRoleLocked() {
  if (m_reading || m_closed) return;
  while (!m_roleWaiters.empty()) {
    ReplySlot* waiter = m_roleWaiters.front();
    m_roleWaiters.erase(m_roleWaiters.begin());
    std::lock_guard lock(waiter->mutex);
    if (waiter->state.load() != ReplySlot::Waiting) continue;
    waiter->roleOffered = true;
    waiter->answered.notify_one();
    return;
  }
  if (m_watcherAsleep) {
    m_watcherAsleep = false;
    m_roleFree.notify_all();
  }
}

void ReaderSchedule::QueueCall(std::span<const std::uint8_t> frame) {
  std::lock_guard lock(m_mutex);
  m_queuedCalls.emplace_back(frame.begin(), frame.end());
  if (m_idle > 0) {
    m_watcherAsleep = false;
    m_roleFree.notify_all();
  } else if (m_threads < m_options.maxServiceThreads) {
    SpawnLocked();
  }
}

bool ReaderSchedule::ReadOwnReply(ReplySlot& slot, std::chrono::steady_clock::time_point deadline) {
  std::function<void()> watch;  // let go of after m_mutex
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (slot.state.load(std::memory_order_acquire) != ReplySlot::Waiting || m_closed) {
      // A turn offered while the reply came in goes to the next caller.
      PassRoleLocked();
      return true;
    }
    if (!m_reading) {
      // Taken from the poller too: the reply is read where it is awaited.
      if (m_parked) watch = UnparkLocked();
      m_reading = true;
      lock.unlock();
      thread_local std::vector<std::uint8_t> noCall;
      const ReadingHost::ReadOutcome outcome = m_host.ReadFrames(noCall, &slot, deadline);
      if (outcome == ReadingHost::ReadOutcome::Closed) m_host.Close();
      lock.lock();
      m_reading = false;
      m_lentOut = true;
      ++m_callerTurns;
      PassRoleLocked();
      // A service thread takes reading back once the callers stop.
      if (m_threads == 0 && !m_closed) SpawnLocked();
      if (outcome == ReadingHost::ReadOutcome::TimedOut) return false;
      continue;
    }
    // Another thread reads: it delivers this reply, or hands over reading.
    m_roleWaiters.push_back(&slot);
    lock.unlock();
    bool inTime;
    {
      std::unique_lock wait(slot.mutex);
      inTime = slot.answered.wait_until(wait, deadline, [&] {
        return slot.state.load() != ReplySlot::Waiting || slot.roleOffered;
      });
      slot.roleOffered = false;
    }
    lock.lock();
    std::erase(m_roleWaiters, &slot);
    if (!inTime) return false;
  }
}

}  // namespace ps
