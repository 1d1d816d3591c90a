#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace ps {

// One thread that watches the sockets nobody reads at the moment, for the
// whole process: a connection that has nothing to say costs a registration
// here instead of a thread of its own blocked in recv. The thread runs only
// while something is watched.
class Poller {
 public:
  using WatchId = std::uint64_t;

  // The process's poller, made on first use and never destroyed.
  static Poller& Shared();

  // Runs `ready` once, on the poller's thread, when `fd` has something to
  // read or was hung up; the watch ends then. `ready` must be quick: every
  // watched socket waits while it runs. The watch keeps what `ready`
  // captures until it fires or is cancelled. 0 when `fd` cannot be watched.
  WatchId WatchOnce(int fd, std::function<void()> ready);
  // Ends a watch that has not fired and hands its `ready` back, so that
  // the caller lets go of what it captured where no lock is held; empty
  // when the watch fired already (its `ready` runs now or ran).
  std::function<void()> Cancel(WatchId id);
  // Once nothing is watched, waits until the thread has ended (it ends by
  // itself then), so that a process leaves nothing running behind it.
  // Returns at once while something is still watched.
  void Join();

 private:
  struct Watch {
    int fd;
    std::function<void()> ready;
  };

  Poller();
  void Run();
  // The thread's last step: nobody joins a thread that ended by itself.
  void EndLocked();

  const int m_epoll;
  const int m_wake;  // an eventfd in the epoll set: the last watch went
  std::mutex m_mutex;
  WatchId m_nextId = 1;
  std::unordered_map<WatchId, Watch> m_watches;
  bool m_running = false;
  std::condition_variable m_ended;
  std::thread m_thread;
};

}  // namespace ps
