#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// The two events idle workers wait on: a manual-reset stop event (set once,
// seen by every worker) and a work event that wakes one idle worker per Set.
// Sets are counted rather than merged, so that two records queued at once
// wake two workers instead of leaving one record waiting beside an idle
// worker; a wake that finds the queue empty costs one look at it.
class WorkSignal {
 public:
  enum class Woken { Work, Stop, Due };

  void SetWork() {
    {
      std::lock_guard lock(m_mutex);
      ++m_work;
    }
    m_changed.notify_one();
  }

  void SetStop() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_changed.notify_all();
  }

  bool Stopped() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
  }

  // Waits without a time limit. Stop wins over pending work.
  Woken Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_stop || m_work > 0; });
    if (m_stop) return Woken::Stop;
    --m_work;
    return Woken::Work;
  }

  // The same, but gives Due once `due` has come without a wake: a record
  // that waits to be retried is due then.
  Woken WaitUntil(std::chrono::steady_clock::time_point due) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_until(lock, due, [this] { return m_stop || m_work > 0; })) return Woken::Due;
    if (m_stop) return Woken::Stop;
    --m_work;
    return Woken::Work;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_stop = false;
  unsigned long m_work = 0;
};
