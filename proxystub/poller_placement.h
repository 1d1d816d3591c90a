#pragma once

#include <sched.h>

#include <chrono>
#include <cstdint>

namespace ps {

// Keeps a sink's polling thread off the core of the engine thread whose
// calls it answers. An engine thread waits for every sink's answer after
// each read; a sink that shares its core can only answer once that thread
// gives the core up, and then takes it back, two switches a call. With two
// clients on two cores the scheduler puts a sink there about half the
// time, left to itself; measured, two clients then downloaded 1 GiB in
// 2.83-3.13 s, against 2.43-2.52 s with this placement.
//
// The engine tells its core with each call (a hint, checked like anything
// else from the other side). Only threads that hold a PollerPlacement move,
// and only within the cores they were allowed before they moved; a
// thread about to sleep gets all of those back.
class PollerPlacement {
 public:
  // This thread moves from now on, until the object goes.
  PollerPlacement();
  ~PollerPlacement();
  PollerPlacement(const PollerPlacement&) = delete;
  PollerPlacement& operator=(const PollerPlacement&) = delete;

  // On a serving thread, after answering a call from an engine thread that
  // ran on core `callerCore - 1` (0: not told): leaves that core when this
  // thread runs on it too. Moves at most once per kSettle. Does nothing on
  // a thread without a placement.
  static void AfterCall(std::uint32_t callerCore);
  // Before this thread sleeps: it may run on every core it had again.
  static void BeforeSleep();

  // A move costs a system call and the thread's caches; two engine threads
  // on different cores would otherwise toss a sink to and fro at every call.
  static constexpr std::chrono::milliseconds kSettle{5};

 private:
  void LeaveCore(int core);
  void Restore();

  cpu_set_t m_allowed{};  // the cores the thread had before it moved
  bool m_moved = false;
  std::chrono::steady_clock::time_point m_lastMove{};
  PollerPlacement* m_outer;
};

}  // namespace ps
