// Servers that are busy, refuse, move without saying where, change a file
// between two attempts, or are reached through a proxy.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>

#include "contract/status.h"
#include "tests/pullwright/engine_fixture.h"

namespace {

using ServerFaults = EngineFixture;
using Clock = std::chrono::steady_clock;

TEST_F(ServerFaults, BusyServersAreAskedAgainAfterTheWaitTheyName) {
  StartEngine(2);
  m_server.Handle("/busy.bin", {.status = 503, .text = std::string("busy")});
  m_server.Handle("/slow.bin", {.status = 429, .text = std::string("slow down"), .headers = {{"Retry-After", "2"}}});
  Download("busy.bin", "/busy.bin");
  Download("slow.bin", "/slow.bin");
  // Both are put back to wait; then the servers recover.
  ASSERT_TRUE(m_sink->WaitFor([](const auto& events) {
    return std::count_if(events.begin(), events.end(), [](const auto& e) {
             return e.status == STATUS_QUEUED && e.record.dwTimeouts == 1;
           }) == 2;
  }));
  const auto recovered = Clock::now();
  m_server.Handle("/busy.bin", {.size = 5000});
  m_server.Handle("/slow.bin", {.size = 6000});
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_GE(Clock::now() - recovered, std::chrono::milliseconds(1900));  // the 429 asked for two seconds

  for (const auto& [path, size] : {std::pair{"/busy.bin", 5000}, std::pair{"/slow.bin", 6000}}) {
    const auto events = EventsOf(path);
    EXPECT_TRUE(SameBytes(ReadFile(Target(path + 1)), BodyBytes(0, size))) << path;
    EXPECT_TRUE(TextsOf(events, STATUS_ERROR).empty()) << path;
    EXPECT_EQ(events.back().record.dwTimeouts, 1u) << path;  // the Retries column counts the wait
    EXPECT_EQ(events.back().text, std::string("Finished downloading ") + (path + 1));
  }
}

TEST_F(ServerFaults, ARefusingServerIsAskedAgainAfterGrowingWaitsThenReported) {
  StartEngine(1, 1);
  const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.bin";
  const auto start = Clock::now();
  m_engine->DownloadFile("x.bin", refused.c_str());
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2900));  // one second, then two
  const auto events = m_sink->Events();
  EXPECT_EQ(RecordingSink::Count(events, STATUS_TRYING), 3u);
  EXPECT_EQ(TextsOf(events, STATUS_ERROR),
            std::vector<std::string>{"Error Opening URL: 12029 (a connection with the server could not be established)"
                                     "\nURL: " + refused});
  EXPECT_EQ(events.back().record.dwTimeouts, 2u);
}

TEST_F(ServerFaults, ARedirectWithoutAUsableLocationIsAnError) {
  StartEngine(1);
  m_server.Handle("/moved.bin", {.status = 302, .text = std::string("<p>moved</p>")});
  Download("moved.bin", "/moved.bin");
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/moved.bin");
  EXPECT_EQ(TextsOf(events, STATUS_ERROR), std::vector<std::string>{"Download error: 302 Found\nFile: moved.bin"});
  EXPECT_EQ(events.back().text, "Failed downloading moved.bin (0 bytes): Download error: 302 Found");
  EXPECT_FALSE(std::filesystem::exists(Target("moved.bin")));
}

// The file changed on the server between the two attempts, but keeps its
// first bytes and the bytes around where the partial file ends: only the
// validator can tell, and the result must be the new file, never a mix.
TEST_F(ServerFaults, AFileChangedOnTheServerIsNeverResumedIntoAMix) {
  StartEngine(1);
  const std::string before = BodyBytes(0, 100000);
  std::string after = before;
  after[20000] ^= 1;
  after[90000] ^= 1;
  m_server.Handle("/doc.bin", {.text = before, .holdAfter = 50000, .etag = "\"v1\""});
  Download("doc.bin", "/doc.bin");
  ASSERT_TRUE(m_sink->WaitFor([](const auto& events) {
    return std::any_of(events.begin(), events.end(), [](const auto& e) { return e.record.dwCurrentSize == 50000; });
  }));
  m_engine->StopAllDownloads();
  ASSERT_TRUE(WaitUntilIdle());
  m_server.ReleaseHolds();

  m_server.Handle("/doc.bin", {.text = after, .etag = "\"v2\""});
  Download("doc.bin", "/doc.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(m_server.Requests().back().Header("If-Range"), "\"v1\"");
  EXPECT_TRUE(SameBytes(ReadFile(Target("doc.bin")), before.substr(0, 50000)));
  EXPECT_TRUE(SameBytes(ReadFile(Target("doc_1.bin")), after));
  EXPECT_EQ(EventsOf("/doc.bin").back().text, "Finished downloading doc_1.bin");
  // A whole file keeps no validator.
  EXPECT_LT(::getxattr(Target("doc_1.bin").c_str(), "user.pullwright.validator", nullptr, 0), 0);
}

TEST_F(ServerFaults, DownloadsGoThroughTheProxyTheEnvironmentNames) {
  ScopedEnv proxy("http_proxy", m_server.Url(""));
  ScopedEnv noProxy("no_proxy", std::nullopt);
  StartEngine(1);
  m_server.Handle("/via.bin", {.size = 3000});
  // Nothing listens there: only the proxy can answer.
  const std::string address = "http://127.0.0.2:1/via.bin";
  m_engine->DownloadFile("via.bin", address.c_str());
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("via.bin")), BodyBytes(0, 3000)));
  EXPECT_EQ(m_server.Requests().back().target, address);
}

}  // namespace
