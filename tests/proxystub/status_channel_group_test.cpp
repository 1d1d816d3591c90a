// Prompt sinks of one process share one polling thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

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

}  // namespace
