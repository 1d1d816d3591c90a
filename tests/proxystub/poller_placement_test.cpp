// A serving thread leaves the core of the engine thread it answers and
// gets its cores back before it sleeps; no other thread moves.
#include "proxystub/poller_placement.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <thread>

namespace {

using ps::PollerPlacement;

cpu_set_t Allowed() {
  cpu_set_t set;
  CPU_ZERO(&set);
  EXPECT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
  return set;
}

// The scheduler may move the thread between reading its core and the call;
// the hint names the core it ran on a moment ago, as the engine's does.
bool MoveOffOwnCore(int& left) {
  for (int attempt = 0; attempt < 1000 && !PollerPlacement::MovedOnThisThread(); ++attempt) {
    left = ::sched_getcpu();
    PollerPlacement::AfterCall(static_cast<std::uint32_t>(left + 1));
  }
  return PollerPlacement::MovedOnThisThread();
}

TEST(PollerPlacement, LeavesTheCallersCoreAndGetsItsCoresBackBeforeSleeping) {
  const cpu_set_t before = Allowed();
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core: nowhere to go";
  std::thread([&] {
    const PollerPlacement placement;
    int left = -1;
    ASSERT_TRUE(MoveOffOwnCore(left));
    cpu_set_t now = Allowed();
    EXPECT_FALSE(CPU_ISSET(left, &now));
    EXPECT_EQ(CPU_COUNT(&now), CPU_COUNT(&before) - 1);
    EXPECT_NE(::sched_getcpu(), left);
    PollerPlacement::BeforeSleep();
    now = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&now, &before));
    EXPECT_FALSE(PollerPlacement::MovedOnThisThread());
  }).join();
}

TEST(PollerPlacement, MovesOnlyThreadsThatHoldOne) {
  const cpu_set_t before = Allowed();
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core: nowhere to go";
  std::thread([&] {
    // A thread of the program's own, serving a call on the caller's core.
    int left = -1;
    EXPECT_FALSE(MoveOffOwnCore(left));
    const cpu_set_t now = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&now, &before));
  }).join();
}

}  // namespace
