#pragma once

#include <condition_variable>
#include <mutex>

// The two events idle workers wait on: a manual-reset stop event (set once,
// seen by every worker) and an auto-reset work event (each Set wakes at most
// one waiter and is consumed by it).
class WorkSignal {
 public:
  enum class Woken { Work, Stop };

  void SetWork() {
    {
      std::lock_guard lock(m_mutex);
      m_work = true;
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
    m_changed.wait(lock, [this] { return m_stop || m_work; });
    if (m_stop) return Woken::Stop;
    m_work = false;
    return Woken::Work;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_stop = false;
  bool m_work = false;
};
