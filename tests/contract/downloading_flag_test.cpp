#include "contract/downloading_flag.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Two status events ask at once: the first is answered "downloading"
// before the last transfer ended, the second "idle" after it. However
// the answers come back, the flag ends with the later one.
TEST(DownloadingFlag, AnEarlierAnswerNeverOverwritesALaterOne) {
  DownloadingFlag flag;
  std::mutex mutex;
  std::condition_variable changed;
  bool firstAsking = false, secondCalling = false, secondAsking = false;
  const auto set = [&](bool& which) {
    std::lock_guard lock(mutex);
    which = true;
    changed.notify_all();
  };

  std::thread first([&] {
    flag.Refresh([&](std::int32_t* downloading) {
      set(firstAsking);
      // The engine's first answer is slow to come back: give the second
      // asker every chance to overtake it.
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return secondCalling; });
      changed.wait_for(lock, 500ms, [&] { return secondAsking; });
      *downloading = 1;
      return S_OK;
    });
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return firstAsking; });
  }
  std::thread second([&] {
    set(secondCalling);
    flag.Refresh([&](std::int32_t* downloading) {
      set(secondAsking);
      *downloading = 0;
      return S_OK;
    });
  });
  first.join();
  second.join();
  EXPECT_FALSE(flag.get());
}

TEST(DownloadingFlag, AFailedAskKeepsTheLastAnswer) {
  DownloadingFlag flag;
  flag.Refresh([](std::int32_t* downloading) { return *downloading = 7, S_OK; });
  EXPECT_TRUE(flag.get());
  flag.Refresh([](std::int32_t* downloading) { return *downloading = 0, E_FAIL; });
  EXPECT_TRUE(flag.get());
}

}  // namespace
