// A serving thread leaves the core of the engine thread it answers and
// gets its cores back before it sleeps; no other thread moves.
#include "proxystub/poller_placement.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

namespace {

cpu_set_t Allowed() {
  cpu_set_t set;
  CPU_ZERO(&set);
  EXPECT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
  return set;
}

// Hints at the core this thread ran on a moment ago, as the engine does,
// until its cores change (the scheduler may move it between the reading
// and the call): the core it was on then, or -1.
int MoveOffOwnCore(const cpu_set_t& before) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int core = ::sched_getcpu();
    ps::PollerPlacement::AfterCall(static_cast<std::uint32_t>(core + 1));
    const cpu_set_t now = Allowed();
    if (!CPU_EQUAL(&now, &before)) return core;
  }
  return -1;
}

TEST(PollerPlacement, OnlyAThreadWithOneLeavesTheCallersCoreUntilItSleeps) {
  const cpu_set_t before = Allowed();
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core: nowhere to go";
  std::thread([&] {
    EXPECT_EQ(MoveOffOwnCore(before), -1) << "a thread of the program's own moved";
    const ps::PollerPlacement placement;
    const int left = MoveOffOwnCore(before);
    ASSERT_GE(left, 0);
    cpu_set_t elsewhere = before;
    CPU_CLR(left, &elsewhere);
    const cpu_set_t moved = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&moved, &elsewhere));
    EXPECT_NE(::sched_getcpu(), left);
    ps::PollerPlacement::BeforeSleep();
    const cpu_set_t after = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&after, &before));
  }).join();
}

}  // namespace
