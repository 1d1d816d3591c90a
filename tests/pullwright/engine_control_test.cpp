// Cancelling, stopping and retry limits while transfers run, and a fault run
// against a server that keeps breaking connections.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "contract/status.h"
#include "tests/pullwright/engine_fixture.h"

namespace {

using EngineControl = EngineFixture;

// Waits until the transfer of `path` has written at least `bytes`.
bool WaitForProgress(RecordingSink& sink, const std::string& url, std::uint32_t bytes) {
  return sink.WaitFor([&](const auto& events) {
    for (const auto& event : events)
      if (event.status == STATUS_PROGRESS && event.href() == url && event.record.dwCurrentSize >= bytes) return true;
    return false;
  });
}

TEST_F(EngineControl, CancellingAnActiveTransferEndsItForGood) {
  StartEngine(1);
  m_server.Handle("/held.bin", {.size = 100000, .holdAfter = 5000});
  m_server.Handle("/next.bin", {.size = 3000});
  Download("held.bin", "/held.bin");
  Download("next.bin", "/next.bin");
  ASSERT_TRUE(WaitForProgress(*m_sink, m_server.Url("/held.bin"), 4095));

  ASSERT_EQ(m_engine->CancelDownloadFile(m_server.Url("/held.bin").c_str()), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  const auto held = EventsOf("/held.bin");
  std::vector<std::string> done;
  for (const auto& event : held)
    if (event.status == STATUS_DONE) done.push_back(event.text);
  // The cancel and the worker report independently, in either order.
  std::sort(done.begin(), done.end());
  ASSERT_EQ(done.size(), 2u);
  EXPECT_TRUE(done[0].starts_with("Canceled downloading held.bin (") && done[0].ends_with(" of 100000 bytes)")) << done[0];
  EXPECT_EQ(done[1], "Canceled held.bin");
  EXPECT_EQ(RecordingSink::Count(held, STATUS_TRYING), 1u);
  EXPECT_EQ(RecordingSink::Count(held, STATUS_ERROR), 0u);
  EXPECT_TRUE(SameBytes(ReadFile(Target("next.bin")), BodyBytes(0, 3000)));  // the worker goes on with the queue
}

TEST_F(EngineControl, CancellingAPendingCopyLeavesTheActiveOneRunning) {
  StartEngine(1);
  m_server.Handle("/a.bin", {.size = 50000, .trickleBytes = 5000, .trickleGap = std::chrono::milliseconds(40)});
  Download("a.bin", "/a.bin");
  Download("a.bin", "/a.bin");
  ASSERT_TRUE(WaitForProgress(*m_sink, m_server.Url("/a.bin"), 4095));
  ASSERT_EQ(m_engine->CancelDownloadFile(m_server.Url("/a.bin").c_str()), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/a.bin");
  EXPECT_EQ(RecordingSink::Count(events, STATUS_TRYING), 1u);
  EXPECT_TRUE(SameBytes(ReadFile(Target("a.bin")), BodyBytes(0, 50000)));
}

TEST_F(EngineControl, CancellingTwoTransfersOfOneAddressReportsOnce) {
  StartEngine(2);
  m_server.Handle("/dup.bin", {.size = 50000, .holdAfter = 5000});
  Download("dup.bin", "/dup.bin");
  Download("dup.bin", "/dup.bin");
  ASSERT_TRUE(m_sink->WaitFor([](const auto& events) {
    std::set<std::string> started;
    for (const auto& e : events)
      if (e.status == STATUS_PROGRESS && e.record.dwCurrentSize >= 4095) started.insert(e.name());
    return started.size() == 2;
  }));
  ASSERT_EQ(m_engine->CancelDownloadFile(m_server.Url("/dup.bin").c_str()), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/dup.bin");
  std::size_t canceled = 0, ended = 0;
  for (const auto& event : events) {
    // The second copy writes dup_1.bin.
    canceled += event.text.starts_with("Canceled dup");
    ended += event.text.starts_with("Canceled downloading dup");
  }
  EXPECT_EQ(canceled, 1u);
  EXPECT_EQ(ended, 2u);
  EXPECT_EQ(RecordingSink::Count(events, STATUS_TRYING), 2u);
}

TEST_F(EngineControl, StopDropsTheQueueAndEndsTheTransferWithoutPuttingItBack) {
  StartEngine(1);
  m_server.Handle("/run.bin", {.size = 100000, .holdAfter = 5000});
  m_server.Handle("/wait.bin", {.size = 10});
  Download("run.bin", "/run.bin");
  for (int i = 0; i < 3; ++i) Download("wait.bin", "/wait.bin");
  ASSERT_TRUE(WaitForProgress(*m_sink, m_server.Url("/run.bin"), 4095));
  ASSERT_EQ(m_engine->StopAllDownloads(), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Codes(EventsOf("/wait.bin")), (std::vector<std::uint32_t>(3, STATUS_QUEUED)));
  const auto run = EventsOf("/run.bin");
  EXPECT_TRUE(run.back().text.starts_with("Stopped downloading run.bin (")) << run.back().text;
  EXPECT_EQ(RecordingSink::Count(run, STATUS_QUEUED), 1u);

  // The worker whose transfer was cancelled still puts later short ones back.
  m_server.Handle("/short.bin", {.size = 9000, .cutAfter = 5000});
  Download("short.bin", "/short.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("short.bin")), BodyBytes(0, 9000)));
}

TEST_F(EngineControl, ANewRetryLimitActsOnTheNextTimeout) {
  StartEngine(1, 5, std::chrono::milliseconds(300));
  m_server.Handle("/stall", {.size = 10, .holdHead = true});
  Download("stall", "/stall");
  ASSERT_EQ(m_engine->SetMaxRetries(0), S_OK);
  ASSERT_TRUE(WaitUntilIdle());
  m_server.ReleaseHolds();
  const auto events = EventsOf("/stall");
  EXPECT_EQ(RecordingSink::Count(events, STATUS_TRYING), 2u);
  EXPECT_EQ(RecordingSink::Count(events, STATUS_ERROR), 1u);
}

TEST_F(EngineControl, BrokenConnectionsNeverCorruptAFile) {
  StartEngine(5);
  std::mt19937 random(20261207);
  std::vector<std::pair<std::string, std::uint64_t>> files;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "part" + std::to_string(i) + ".bin";
    const std::uint64_t size = std::uniform_int_distribution<std::uint64_t>(20000, 300000)(random);
    // Every connection breaks, but late enough for the resume checks to see
    // the first 4095 bytes and the 4095 bytes before the seam.
    const std::uint64_t cut = std::uniform_int_distribution<std::uint64_t>(12000, 90000)(random);
    m_server.Handle("/" + name, {.size = size, .cutAfter = cut});
    files.emplace_back(name, size);
  }
  for (const auto& [name, size] : files) Download(name, "/" + name);
  ASSERT_TRUE(WaitUntilIdle(std::chrono::seconds(120)));
  for (const auto& [name, size] : files) EXPECT_TRUE(SameBytes(ReadFile(Target(name)), BodyBytes(0, size))) << name;
  EXPECT_EQ(RecordingSink::Count(m_sink->Events(), STATUS_ERROR), 0u);
}

TEST_F(EngineControl, ABrokenResumeCheckLeavesThePartialFileUntouched) {
  StartEngine(1, 1);
  const std::string partial = BodyBytes(0, 6000);
  WriteFile(Target("keep.bin"), partial);
  m_server.Handle("/keep.bin", {.size = 20000, .cutAfter = 3000});
  Download("keep.bin", "/keep.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("keep.bin")), partial));
  const auto events = EventsOf("/keep.bin");
  EXPECT_EQ(RecordingSink::Count(events, STATUS_TRYING), 2u);  // given up after the retry limit
  EXPECT_EQ(RecordingSink::Count(events, STATUS_ERROR), 1u);
  for (const auto& request : m_server.Requests()) EXPECT_FALSE(request.Header("Range").has_value());
}

}  // namespace
