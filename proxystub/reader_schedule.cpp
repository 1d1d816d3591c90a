#include "proxystub/reader_schedule.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "proxystub/poller.h"

namespace ps {

namespace {

// The schedule whose call this thread runs inline while holding its reading
// role, if any.
thread_local ReaderSchedule* t_inlineSchedule = nullptr;

}  // namespace

ReaderSchedule::ReaderSchedule(ReadingHost& host, FrameChannel& channel, const ConnectionOptions& options)
    : m_host(host), m_channel(channel), m_options(options) {}

void ReaderSchedule::Begin() {
  std::lock_guard lock(m_mutex);
  if (m_options.parkAfter.count() > 0)
    ParkLocked();
  else
    SpawnLocked();
}

bool ReaderSchedule::SpawnLocked() {
  // Threads that ended (surplus idle ones) are joined here, so the list
  // does not grow over a long life.
  for (auto it = m_serviceThreads.begin(); it != m_serviceThreads.end();) {
    if (it->done && it->thread.joinable() && it->thread.get_id() != std::this_thread::get_id()) {
      it->thread.join();
      it = m_serviceThreads.erase(it);
    } else {
      ++it;
    }
  }
  ServiceThread& service = m_serviceThreads.emplace_back();
  try {
    service.thread = std::thread(&ReaderSchedule::ServiceLoop, this, m_host.Hold(), &service);
  } catch (const std::system_error&) {
    m_serviceThreads.pop_back();
    return false;
  }
  ++m_threads;
  return true;
}

void ReaderSchedule::ParkLocked() {
  m_parked = true;
  m_lentOut = false;
  m_channel.ReleaseIdleBuffer();
  // The watch holds the connection: nothing else may while it is quiet.
  m_watch = Poller::Shared().WatchOnce(m_channel.fd(), [this, hold = m_host.Hold()] { Readable(); });
  if (m_watch == 0) {
    m_parked = false;
    SpawnLocked();
  }
  // Idle threads see the role taken and end.
  m_watcherAsleep = false;
  m_roleFree.notify_all();
}

std::function<void()> ReaderSchedule::UnparkLocked() {
  if (!m_parked) return {};
  m_parked = false;
  const auto watch = std::exchange(m_watch, 0);
  return Poller::Shared().Cancel(watch);
}

void ReaderSchedule::Readable() {
  {
    std::lock_guard lock(m_mutex);
    // A caller took the role back meanwhile, or the connection closed.
    if (!m_parked || m_closed) return;
    m_parked = false;
    m_watch = 0;
    if (m_idle > 0) {
      m_watcherAsleep = false;
      m_roleFree.notify_all();
      return;
    }
    if (SpawnLocked()) return;
  }
  // Nobody could read it: closed rather than left hanging.
  m_host.Close();
}

void ReaderSchedule::ServiceLoop(std::shared_ptr<void> hold, ServiceThread* me) {
  thread_local std::vector<std::uint8_t> call;
  std::unique_lock lock(m_mutex);
  for (;;) {
    // Queued calls go first, but only while someone else reads (or the
    // poller watches) or callers read for themselves: the connection must
    // never stop reading.
    if (!m_queuedCalls.empty() && (m_reading || m_parked || m_options.callerReadsReply)) {
      call = std::move(m_queuedCalls.front());
      m_queuedCalls.pop_front();
      // Somebody must be left to take reading back from the callers.
      if (m_options.callerReadsReply && m_idle == 0 && m_threads < m_options.maxServiceThreads) SpawnLocked();
      lock.unlock();
      m_host.RunCall(call);
      lock.lock();
      continue;
    }
    if (m_closed) break;
    // The poller calls a thread back when the peer speaks.
    if (m_parked) break;
    if (!m_reading) {
      if (m_lentOut) {
        if (m_idle > 0) break;
        ParkWhileCallersRead(lock);
        continue;
      }
      m_reading = true;
      HoldReadingRole(lock, me, call);
      continue;
    }
    // One idle thread is kept: it watches calls run inline and takes the
    // next call; others end.
    if (m_idle > 0) break;
    WatchInlineCall(lock, me, call);
  }
  me->done = true;
  --m_threads;
  m_threadsEnded.notify_all();
  if (m_closed) return;
  // Another thread must take over reading if this one leaves it unread.
  if (!m_reading && !m_parked && m_idle > 0) m_roleFree.notify_one();
  // Nobody waits for a thread that ends while the connection stays: its
  // stack goes now, not at the next spawn, so a quiet connection keeps none.
  me->thread.detach();
  m_serviceThreads.remove_if([me](const ServiceThread& service) { return &service == me; });
}

void ReaderSchedule::HoldReadingRole(std::unique_lock<std::mutex>& lock, ServiceThread* me,
                                     std::vector<std::uint8_t>& call) {
  // Entered and left with `lock` held; on return this thread no longer
  // reads (the role is free, another thread has it, or the poller).
  m_channel.StampInput();
  for (;;) {
    if (m_closed) {
      m_reading = false;
      return;
    }
    lock.unlock();
    const ReadingHost::ReadOutcome outcome = m_host.ReadFrames(call, nullptr, {});
    if (outcome == ReadingHost::ReadOutcome::Closed) m_host.Close();
    lock.lock();
    if (outcome == ReadingHost::ReadOutcome::Closed) {
      m_reading = false;
      return;
    }
    if (outcome == ReadingHost::ReadOutcome::Quiet && m_roleWaiters.empty()) {
      m_reading = false;
      ParkLocked();
      return;
    }
    // A caller waits to read its own reply: it reads next.
    if (outcome == ReadingHost::ReadOutcome::Yield || outcome == ReadingHost::ReadOutcome::Quiet) {
      m_reading = false;
      m_lentOut = true;
      PassRoleLocked();
      return;
    }
    if (m_idle == 0) {
      // Nobody would notice a long call: start a watcher, or, with every
      // thread busy, queue the call and keep reading.
      if (m_threads < m_options.maxServiceThreads) {
        SpawnLocked();
      } else {
        m_queuedCalls.push_back(std::move(call));
        call = {};
        continue;
      }
    } else if (m_watcherAsleep) {
      m_watcherAsleep = false;
      m_roleFree.notify_one();
    }
    m_inlineRunner = me;
    ++m_inlineCalls;
    lock.unlock();
    t_inlineSchedule = this;
    m_host.RunCall(call);
    t_inlineSchedule = nullptr;
    lock.lock();
    if (me->handedOver) {
      me->handedOver = false;
      return;
    }
    m_inlineRunner = nullptr;
  }
}

void ReaderSchedule::WatchInlineCall(std::unique_lock<std::mutex>& lock, ServiceThread* me,
                                     std::vector<std::uint8_t>& call) {
  // A watcher that saw no call for this long sleeps until the next one, so
  // a quiet connection costs no periodic wake-ups.
  constexpr auto kQuiet = std::chrono::milliseconds(100);
  const auto limit = std::max(m_options.inlineCallLimit, std::chrono::microseconds(100));
  ++m_idle;
  std::uint64_t seenCalls = m_inlineCalls;
  auto seenAt = std::chrono::steady_clock::now();
  for (;;) {
    // The role is free (the caller takes it), or calls wait to be run.
    if (m_closed || !m_reading || !m_queuedCalls.empty()) break;
    const auto now = std::chrono::steady_clock::now();
    if (m_inlineCalls != seenCalls) {
      seenCalls = m_inlineCalls;
      seenAt = now;
    } else if (m_inlineRunner && now - seenAt >= limit) {
      // One call has run too long: this thread reads on while it runs.
      m_inlineRunner->handedOver = true;
      m_inlineRunner = nullptr;
      --m_idle;
      HoldReadingRole(lock, me, call);
      return;
    } else if (!m_inlineRunner && now - seenAt >= kQuiet) {
      m_watcherAsleep = true;
      m_roleFree.wait(lock, [&] { return !m_watcherAsleep || m_closed || !m_reading || !m_queuedCalls.empty(); });
      m_watcherAsleep = false;
      seenCalls = m_inlineCalls;
      seenAt = std::chrono::steady_clock::now();
      continue;
    }
    m_roleFree.wait_for(lock, limit);
  }
  --m_idle;
}

void ReaderSchedule::LeaveInlineCall() {
  ReaderSchedule* self = t_inlineSchedule;
  if (!self) return;
  t_inlineSchedule = nullptr;
  std::lock_guard lock(self->m_mutex);
  ServiceThread* runner = self->m_inlineRunner;
  // A watcher may have taken the role over already.
  if (!runner || runner->thread.get_id() != std::this_thread::get_id()) return;
  runner->handedOver = true;
  self->m_inlineRunner = nullptr;
  self->m_reading = false;
  if (self->m_closed) return;
  if (self->m_options.callerReadsReply) {
    // The caller reads its reply itself.
    self->m_lentOut = true;
    return;
  }
  if (self->m_idle > 0) {
    self->m_watcherAsleep = false;
    self->m_roleFree.notify_one();
  } else {
    // Even past the thread limit: the awaited reply must be read.
    self->SpawnLocked();
  }
}

std::function<void()> ReaderSchedule::Close() {
  std::lock_guard lock(m_mutex);
  m_closed = true;
  auto watch = UnparkLocked();
  m_roleFree.notify_all();
  return watch;
}

void ReaderSchedule::JoinThreads() {
  std::unique_lock lock(m_mutex);
  m_threadsEnded.wait(lock, [&] { return m_threads == 0; });
  for (ServiceThread& service : m_serviceThreads)
    if (service.thread.joinable()) service.thread.join();
  m_serviceThreads.clear();
}

void ReaderSchedule::EndThreads() {
  for (ServiceThread& service : m_serviceThreads) {
    if (!service.thread.joinable()) continue;
    // The last hold may be let go of by a service thread on its way out.
    if (service.thread.get_id() == std::this_thread::get_id())
      service.thread.detach();
    else
      service.thread.join();
  }
}

}  // namespace ps
