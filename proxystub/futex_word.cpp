#include "proxystub/futex_word.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>

namespace ps::futex {

void Wait(std::uint32_t* word, std::uint32_t expected, std::chrono::steady_clock::time_point deadline, bool shared) {
  timespec until{};
  timespec* timeout = nullptr;
  if (deadline != std::chrono::steady_clock::time_point::max()) {
    const auto ns = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count());
    until.tv_sec = static_cast<time_t>(ns / 1000000000);
    until.tv_nsec = static_cast<long>(ns % 1000000000);
    timeout = &until;
  }
  // FUTEX_WAIT_BITSET takes an absolute time on the monotonic clock, which
  // steady_clock reads.
  const int op = FUTEX_WAIT_BITSET | (shared ? 0 : FUTEX_PRIVATE_FLAG);
  ::syscall(SYS_futex, word, op, expected, timeout, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void WakeAll(std::uint32_t* word, bool shared) {
  ::syscall(SYS_futex, word, FUTEX_WAKE | (shared ? 0 : FUTEX_PRIVATE_FLAG), INT_MAX, nullptr, nullptr, 0);
}

void PollStep(unsigned& steps, unsigned yieldEvery) {
  if (++steps % yieldEvery == 0) {
    ::sched_yield();
    return;
  }
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

}  // namespace ps::futex
