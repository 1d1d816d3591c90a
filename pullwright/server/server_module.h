#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ps {
class ServerEndpoint;
}

// A small event: Set wakes one waiter (auto reset) or all (manual reset).
class ServerEvent {
 public:
  explicit ServerEvent(bool manualReset) : m_manualReset(manualReset) {}
  void Set();
  void Wait();
  // True when set within `limit`.
  bool WaitFor(std::chrono::milliseconds limit);

 private:
  const bool m_manualReset;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_set = false;
};

// The server's reasons to stay alive and the monitor that ends it. The lock
// count holds one unit while any client holds the engine, one per live
// enumerator and one per LockServer; each time it falls to zero the
// activity flag and the shutdown event are set. The monitor ends the server
// once the idle time (5000 ms unless told otherwise) passed after the last
// fall to zero without a new one and the count is still zero: it suspends
// the endpoint (a later client starts a new server) and, with no activity
// meanwhile, lets Run's caller go on.
//
// Until the count first falls to zero, the server also ends once, for the
// unclaimed time (20 s unless told otherwise), nobody held it and no client
// was connected: the client that started it may have died before it took
// the engine, and nothing else would ever end it.
class CServerModule {
 public:
  static constexpr std::chrono::milliseconds kIdleTime{5000};
  static constexpr std::chrono::milliseconds kUnclaimedTime{20000};

  explicit CServerModule(std::chrono::milliseconds idleTime = kIdleTime,
                         std::chrono::milliseconds unclaimedTime = kUnclaimedTime)
      : m_idleTime(idleTime), m_unclaimedTime(unclaimedTime) {}
  ~CServerModule();
  void Lock();
  void Unlock();
  std::int32_t LockCount() const { return m_nLockCnt.load(); }

  // Starts the monitor on its own thread.
  void StartMonitor(ps::ServerEndpoint& endpoint);
  // The main thread's loop: returns when the monitor decided to end.
  void WaitForQuit() { m_quit.Wait(); }

 private:
  void MonitorShutdown(ps::ServerEndpoint& endpoint);
  // Waits until the count first falls to zero (true), or until nobody
  // claimed the server for the unclaimed time and it stopped accepting
  // (false).
  bool AwaitFirstClaim(ps::ServerEndpoint& endpoint);

  const std::chrono::milliseconds m_idleTime;
  const std::chrono::milliseconds m_unclaimedTime;
  std::atomic<std::int32_t> m_nLockCnt{0};
  std::atomic<bool> m_bActivity{false};
  ServerEvent m_hEventShutdown{false};
  ServerEvent m_quit{true};
  std::thread m_monitor;
};
