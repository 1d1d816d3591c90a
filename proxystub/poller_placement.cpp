#include "proxystub/poller_placement.h"

namespace ps {

namespace {

thread_local PollerPlacement* t_placement = nullptr;

}  // namespace

PollerPlacement::PollerPlacement() : m_outer(t_placement) { t_placement = this; }

PollerPlacement::~PollerPlacement() {
  Restore();
  t_placement = m_outer;
}

void PollerPlacement::AfterCall(std::uint32_t callerCore) {
  if (!t_placement || callerCore == 0 || callerCore > CPU_SETSIZE) return;
  const int core = static_cast<int>(callerCore - 1);
  if (::sched_getcpu() != core) return;
  t_placement->LeaveCore(core);
}

void PollerPlacement::BeforeSleep() {
  if (t_placement) t_placement->Restore();
}

void PollerPlacement::LeaveCore(int core) {
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastMove < kSettle) return;
  // Read afresh at each first move: the program may have changed them
  // while the thread was where it chose.
  if (!m_moved && ::sched_getaffinity(0, sizeof m_allowed, &m_allowed) != 0) return;
  cpu_set_t elsewhere = m_allowed;
  CPU_CLR(core, &elsewhere);
  // Alone on its only core, or not allowed there anyway: nowhere to go.
  if (CPU_COUNT(&elsewhere) == 0 || CPU_EQUAL(&elsewhere, &m_allowed)) return;
  m_lastMove = now;
  if (::sched_setaffinity(0, sizeof elsewhere, &elsewhere) == 0) m_moved = true;
}

void PollerPlacement::Restore() {
  if (!m_moved) return;
  m_moved = false;
  // Refused only when the cores it had were taken away meanwhile (a
  // changed cgroup, say); the thread then keeps what it has.
  ::sched_setaffinity(0, sizeof m_allowed, &m_allowed);
}

}  // namespace ps
