// Prompt sinks of one process share one polling thread, and the engine
// tells each channel how many client processes may poll.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "proxystub/channel_census.h"
#include "proxystub/status_channel_server.h"

namespace {

using namespace std::chrono_literals;
using ps::StatusCall;
using ps::StatusChannel;
using Clock = std::chrono::steady_clock;
using Outcome = StatusChannel::Outcome;

// A channel as an engine and a client of this process each hold it, served
// by a prompt sink that notes the threads it ran on.
struct SharedChannel {
  SharedChannel() : engine(StatusChannel::Create(16)), sink(StatusChannel::Adopt(::dup(engine->fd()))) {
    server = std::make_unique<ps::StatusChannelServer>(
        sink,
        [this](const StatusCall& call) {
          std::lock_guard lock(mutex);
          threads.insert(std::this_thread::get_id());
          return static_cast<HRESULT>(call.status * 3 + 1);
        },
        true);
  }
  // One call from the engine's side; its answer, or -1.
  HRESULT Call(std::uint32_t status) {
    StatusChannel::Ticket ticket;
    HRESULT hr = -1;
    if (!engine->Post(status, "Downloading", _LinkStructType{}, ticket)) return -1;
    return engine->WaitReply(ticket, Clock::now() + 10s, hr) == Outcome::Answered ? hr : -1;
  }
  std::set<std::thread::id> Threads() {
    std::lock_guard lock(mutex);
    return threads;
  }

  std::shared_ptr<StatusChannel> engine;
  std::shared_ptr<StatusChannel> sink;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  // Stopped first: the handler uses the members above.
  std::unique_ptr<ps::StatusChannelServer> server;
};

TEST(StatusChannelGroup, PromptChannelsOfOneProcessAreServedByWhicheverThreadPolls) {
  constexpr int kChannels = 3;
  constexpr std::uint32_t kCalls = 3000;
  std::vector<std::unique_ptr<SharedChannel>> channels;
  for (int i = 0; i < kChannels; ++i) channels.push_back(std::make_unique<SharedChannel>());
  std::vector<std::thread> engines;
  std::atomic<int> wrong{0};
  for (auto& channel : channels)
    engines.emplace_back([&, shared = channel.get()] {
      for (std::uint32_t status = 0; status < kCalls; ++status) {
        // The engine's own work between calls (a read and a write), during
        // which the sinks' threads find nothing and one polls for all.
        for (const auto until = Clock::now() + 20us; Clock::now() < until;) {
        }
        if (shared->Call(status) != static_cast<HRESULT>(status * 3 + 1)) ++wrong;
      }
    });
  for (auto& engine : engines) engine.join();
  EXPECT_EQ(wrong, 0);
  // Without sharing, a thread serves the calls of its own channel only.
  std::map<std::thread::id, int> channelsServed;
  for (auto& channel : channels)
    for (const std::thread::id thread : channel->Threads()) ++channelsServed[thread];
  EXPECT_TRUE(std::any_of(channelsServed.begin(), channelsServed.end(), [](auto& served) { return served.second > 1; }));
  for (auto& channel : channels) {
    channel->server->Stop();
    EXPECT_EQ(channel->server->Join(), Outcome::Closed);
  }
}

TEST(StatusChannelGroup, AMemberWaitingForThePollerEndsWhenTheEngineClosesItsChannel) {
  SharedChannel busy;
  SharedChannel closing;
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0};
  std::thread traffic([&] {
    for (std::uint32_t status = 0; !stop; ++status)
      if (busy.Call(status % 1000) >= 0) ++answered;
  });
  // Calls on the second channel put its thread among the waiters while the
  // first channel's traffic keeps a poller going.
  for (std::uint32_t status = 0; status < 200; ++status) ASSERT_EQ(closing.Call(status), HRESULT(status * 3 + 1));
  closing.engine->Close();
  auto ended = std::async(std::launch::async, [&] { return closing.server->Join(); });
  ASSERT_EQ(ended.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(ended.get(), Outcome::Closed);
  // The other member goes on being served.
  const int before = answered;
  EXPECT_EQ(busy.Call(7), HRESULT(22));
  stop = true;
  traffic.join();
  EXPECT_GT(answered, before);
}

TEST(StatusChannelGroup, APromptSinkMayStopItsChannelFromItsHandlerOnAnyThread) {
  SharedChannel busy;
  auto engine = std::shared_ptr<StatusChannel>(StatusChannel::Create(16));
  // Atomic for ThreadSanitizer, which cannot see the two mappings of the
  // area in this process order the handler after this thread.
  std::atomic<ps::StatusChannelServer*> server{nullptr};
  std::atomic<int> calls{0};
  auto owned = std::make_unique<ps::StatusChannelServer>(
      StatusChannel::Adopt(::dup(engine->fd())),
      [&](const StatusCall&) {
        if (++calls == 50) server.load()->Stop();  // on its own thread, or on the poller's
        return S_OK;
      },
      true);
  server = owned.get();
  std::atomic<bool> stop{false};
  std::thread traffic([&] {
    for (std::uint32_t status = 0; !stop; ++status) busy.Call(status % 1000);
  });
  int answered = 0;
  for (std::uint32_t status = 0; status < 100; ++status) {
    StatusChannel::Ticket ticket;
    HRESULT hr;
    if (!engine->Post(status, nullptr, _LinkStructType{}, ticket) ||
        engine->WaitReply(ticket, Clock::now() + 10s, hr) != Outcome::Answered)
      break;
    ++answered;
  }
  // The call that stopped it is not answered, and none comes after it.
  EXPECT_EQ(answered, 49);
  EXPECT_EQ(calls, 50);
  EXPECT_EQ(busy.Call(1), HRESULT(4));
  stop = true;
  traffic.join();
}

// The header's hint as the sink side maps it.
std::uint32_t PollingProcesses(const StatusChannel& channel) {
  void* area = ::mmap(nullptr, sizeof(ps::status_area::Header), PROT_READ, MAP_SHARED, channel.fd(), 0);
  if (area == MAP_FAILED) return ~0u;
  const auto count = std::atomic_ref(static_cast<ps::status_area::Header*>(area)->pollingProcesses).load();
  ::munmap(area, sizeof(ps::status_area::Header));
  return count;
}

TEST(ChannelCensus, EveryChannelLearnsHowManyClientProcessesHoldOne) {
  std::shared_ptr<StatusChannel> first = StatusChannel::Create(1), second = StatusChannel::Create(1),
                                 third = StatusChannel::Create(1);
  auto& census = ps::ChannelCensus::OfProcess();
  census.Add(first, 101);
  census.Add(second, 101);  // a second sink of the same process
  census.Add(third, 202);
  for (const auto* channel : {first.get(), second.get(), third.get()}) EXPECT_EQ(PollingProcesses(*channel), 2u);
  third->Close();
  census.Recount();
  EXPECT_EQ(PollingProcesses(*first), 1u);
  EXPECT_EQ(PollingProcesses(*second), 1u);
  first.reset();  // gone without a close
  census.Recount();
  EXPECT_EQ(PollingProcesses(*second), 1u);
  second->Close();
  census.Recount();
}

}  // namespace
