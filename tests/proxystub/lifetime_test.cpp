// References, sinks and time limits across a connection: what the server
// holds for a client, and what it lets go of, and when.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "contract/status.h"
#include "tests/proxystub/loopback.h"
#include "tests/pullwright/recording_sink.h"

namespace {

using namespace std::chrono_literals;

std::uint32_t AdviseOn(IDownloadEngine& engine, std::shared_ptr<ICallbackItf> sink) {
  std::shared_ptr<IConnectionPoint> cp;
  EXPECT_EQ(engine.FindConnectionPoint(IID_ICallbackItf, &cp), S_OK);
  std::uint32_t cookie = 0;
  EXPECT_EQ(cp->Advise(std::move(sink), &cookie), S_OK);
  return cookie;
}

// A sink that does not answer until it is let go.
class StuckSink : public ICallbackItf {
 public:
  HRESULT DownloadStatus(std::uint32_t, const char*, const _LinkStructType&) override {
    std::unique_lock lock(m_mutex);
    ++m_calls;
    m_changed.notify_all();
    // Bounded, so that a failed test cannot leave a thread waiting for ever.
    m_changed.wait_for(lock, 20s, [&] { return m_released; });
    return S_OK;
  }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
  }
  bool WaitForCall() {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 5s, [&] { return m_calls > 0; });
  }
  int calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_released = false;
  int m_calls = 0;
};

TEST(Lifetime, TheLockCountFollowsEngineReferencesEnumeratorsAndLockServer) {
  Loopback loop;
  auto client = loop.Connect();
  auto engine = loop.Engine(client);
  auto again = loop.Engine(client);
  // One unit however many references the clients hold.
  EXPECT_EQ(loop.LockCount(), 1);
  std::shared_ptr<IEnumFiles> files;
  ASSERT_EQ(engine->EnumFiles(&files), S_OK);
  EXPECT_EQ(loop.LockCount(), 2);
  {
    ps::OutgoingCall call(*client, wire::kFactoryObjectId, wire::Method::LockServer);
    call.args().Number(1);
    EXPECT_EQ(call.Invoke(), S_OK);
  }
  EXPECT_EQ(loop.LockCount(), 3);
  files.reset();
  EXPECT_TRUE(Eventually([&] { return loop.LockCount() == 2; }));
  engine.reset();
  again.reset();
  EXPECT_TRUE(Eventually([&] { return loop.LockCount() == 1; }));
  {
    ps::OutgoingCall call(*client, wire::kFactoryObjectId, wire::Method::LockServer);
    call.args().Number(0);
    EXPECT_EQ(call.Invoke(), S_OK);
  }
  EXPECT_EQ(loop.LockCount(), 0);
}

TEST(Lifetime, AClosedClientConnectionGivesBackEverythingAtOnce) {
  Loopback loop;
  auto gone = loop.Connect();
  auto engine = loop.Engine(gone);
  std::shared_ptr<IEnumFiles> files;
  ASSERT_EQ(engine->EnumFiles(&files), S_OK);
  auto stuck = std::make_shared<StuckSink>();
  EXPECT_EQ(AdviseOn(*engine, stuck), 1u);
  {
    ps::OutgoingCall call(*gone, wire::kFactoryObjectId, wire::Method::LockServer);
    call.args().Number(1);
    ASSERT_EQ(call.Invoke(), S_OK);
  }
  auto stay = loop.Engine(loop.Connect());
  auto sink = std::make_shared<RecordingSink>();
  EXPECT_EQ(AdviseOn(*stay, sink), 2u);
  EXPECT_EQ(loop.LockCount(), 3);

  // The other client's call makes the engine wait in the stuck sink; the
  // stuck client's connection then goes, as when its process is killed.
  std::thread caller([&] { EXPECT_EQ(stay->DownloadFile("a", "http://h/a"), S_OK); });
  ASSERT_TRUE(stuck->WaitForCall());
  const auto closed = std::chrono::steady_clock::now();
  gone->Close();
  caller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 2s);
  // Its enumerator, LockServer and sink are gone; the other client's hold stays.
  EXPECT_TRUE(Eventually([&] { return loop.LockCount() == 1; }));
  EXPECT_EQ(engine->DownloadFile("b", "http://h/b"), RPC_E_DISCONNECTED);
  ASSERT_EQ(stay->DownloadFile("c", "http://h/c"), S_OK);
  EXPECT_EQ(stuck->calls(), 1);
  EXPECT_EQ(RecordingSink::Count(sink->Events(), STATUS_QUEUED), 2u);
  // The freed first slot goes to the next sink advised.
  EXPECT_EQ(AdviseOn(*stay, std::make_shared<RecordingSink>()), 1u);
  stuck->Release();
}

TEST(Lifetime, ASinkThatDoesNotAnswerInTimeIsDisconnected) {
  Loopback loop(0, 300ms);
  auto slow = loop.Engine(loop.Connect());
  auto stuck = std::make_shared<StuckSink>();
  AdviseOn(*slow, stuck);
  auto engine = loop.Engine(loop.Connect());
  auto sink = std::make_shared<RecordingSink>();
  AdviseOn(*engine, sink);

  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(engine->DownloadFile("a", "http://h/a"), S_OK);
  const auto first = std::chrono::steady_clock::now() - started;
  EXPECT_GE(first, 250ms);
  EXPECT_LT(first, 3s);
  EXPECT_EQ(sink->Events().size(), 1u);
  // From now on the stuck sink is out: no more waiting for it.
  started = std::chrono::steady_clock::now();
  ASSERT_EQ(engine->DownloadFile("b", "http://h/b"), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms);
  EXPECT_EQ(sink->Events().size(), 2u);
  EXPECT_EQ(stuck->calls(), 1);
  // Its client is told: its connection is gone, so it does not wait for
  // events that no longer come.
  std::int32_t downloading = 0;
  stuck->Release();
  EXPECT_EQ(slow->IsDownloading(&downloading), RPC_E_DISCONNECTED);
}

TEST(Lifetime, EverySinkHasTheEventInFlightBeforeTheEngineWaits) {
  // Each sink answers only once the other one has the event too: an engine
  // that waited for one sink before calling the next would never see both.
  struct MeetingSink : ICallbackItf {
    std::mutex& mutex;
    std::condition_variable& changed;
    int& arrived;
    bool metTheOther = false;
    MeetingSink(std::mutex& m, std::condition_variable& c, int& a) : mutex(m), changed(c), arrived(a) {}
    HRESULT DownloadStatus(std::uint32_t, const char*, const _LinkStructType&) override {
      std::unique_lock lock(mutex);
      ++arrived;
      changed.notify_all();
      metTheOther = changed.wait_for(lock, 5s, [&] { return arrived >= 2; });
      return S_OK;
    }
  };
  Loopback loop;
  std::mutex mutex;
  std::condition_variable changed;
  int arrived = 0;
  auto first = loop.Engine(loop.Connect());
  auto second = loop.Engine(loop.Connect());
  auto one = std::make_shared<MeetingSink>(mutex, changed, arrived);
  auto other = std::make_shared<MeetingSink>(mutex, changed, arrived);
  AdviseOn(*first, one);
  AdviseOn(*second, other);
  ASSERT_EQ(first->DownloadFile("a", "http://h/a"), S_OK);
  std::lock_guard lock(mutex);
  EXPECT_TRUE(one->metTheOther && other->metTheOther) << "the two sinks were called one after the other";
}

TEST(Lifetime, ASinkCallThatRunsLongDoesNotStopItsClientReadingTheNextOne) {
  Loopback loop;
  // The first event waits for the second: the client must read (and run)
  // the second one while the first still runs on the thread that read it.
  struct WaitingSink : ICallbackItf {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    bool sawSecond = false;
    HRESULT DownloadStatus(std::uint32_t, const char*, const _LinkStructType&) override {
      std::unique_lock lock(mutex);
      if (++calls == 1) {
        changed.notify_all();
        sawSecond = changed.wait_for(lock, 5s, [&] { return calls >= 2; });
      } else {
        changed.notify_all();
      }
      return S_OK;
    }
  };
  auto engine = loop.Engine(loop.Connect());
  auto sink = std::make_shared<WaitingSink>();
  AdviseOn(*engine, sink);
  std::atomic<HRESULT> first{E_FAIL};
  std::thread caller([&] { first = engine->DownloadFile("a", "http://h/a"); });
  {
    std::unique_lock lock(sink->mutex);
    EXPECT_TRUE(sink->changed.wait_for(lock, 5s, [&] { return sink->calls >= 1; }));
  }
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(engine->DownloadFile("b", "http://h/b"), S_OK);
  caller.join();
  EXPECT_EQ(first.load(), S_OK);
  std::lock_guard lock(sink->mutex);
  EXPECT_TRUE(sink->sawSecond);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST(Lifetime, ManyEngineThreadsShareOneSinkConnectionWhileItsClientCallsIn) {
  // Every call below runs on a server thread of its own and reports to both
  // sinks before it returns: many engine threads wait on the same sink
  // connection at once, reading each other's answers and the client's next
  // calls, which must all reach the engine.
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  auto watcher = loop.Engine(loop.Connect());
  auto near = std::make_shared<RecordingSink>();
  auto far = std::make_shared<RecordingSink>();
  AdviseOn(*engine, near);
  AdviseOn(*watcher, far);
  constexpr int kThreads = 8, kCalls = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        const std::string name = std::to_string(t) + "-" + std::to_string(i);
        if (engine->DownloadFile(name.c_str(), ("http://h/" + name).c_str()) != S_OK) ++failures;
      }
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(near->Events().size(), std::size_t{kThreads * kCalls});
  EXPECT_EQ(far->Events().size(), std::size_t{kThreads * kCalls});
  // Once the calls stop, a lone call is still read and answered.
  std::int32_t downloading = -1;
  EXPECT_EQ(watcher->IsDownloading(&downloading), S_OK);
  EXPECT_EQ(ListedHrefs(*engine).size(), std::size_t{kThreads * kCalls});
}

TEST(Lifetime, CallsToAServerThatWentAwayFailPromptly) {
  Loopback loop;
  auto client = loop.Connect();
  auto engine = loop.Engine(client);
  auto stuck = std::make_shared<StuckSink>();
  AdviseOn(*engine, stuck);
  // A call in flight when the server's end goes...
  std::atomic<HRESULT> inFlight{S_OK};
  std::thread caller([&] { inFlight = engine->DownloadFile("a", "http://h/a"); });
  ASSERT_TRUE(stuck->WaitForCall());
  const auto closed = std::chrono::steady_clock::now();
  loop.server(0)->Close();
  caller.join();
  EXPECT_EQ(inFlight.load(), RPC_E_DISCONNECTED);
  // ...and every later one.
  std::int32_t downloading = 0;
  EXPECT_EQ(engine->IsDownloading(&downloading), RPC_E_DISCONNECTED);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 2s);
  stuck->Release();
}

}  // namespace
