// Status calls over the shared memory channel of the real server: a client
// that dies or writes garbage into its shared area costs only itself.
#include <fstream>
#include <iterator>

#include "tests/proxystub/server_fixture.h"
#include "tests/support/body_pattern.h"
#include "tests/support/test_server.h"

namespace {

using namespace std::chrono_literals;

// Small enough that the events the watching clients print fit their pipes.
constexpr std::size_t kSize = 2'000'000;

class StatusWireTest : public ServerTest {
 protected:
  // Served in pieces, so that the download is still going on while a test
  // does its harm.
  StatusWireTest() { m_http.Handle("/f.bin", {.size = kSize, .trickleBytes = 16384, .trickleGap = 5ms}); }

  std::unique_ptr<ChildProcess> StartDownload() {
    return std::make_unique<ChildProcess>(std::vector<std::string>{
        ENGINE_CLIENT_PROGRAM, "--quiet", "--dir", m_downloads.path() + "/", m_http.Url("/f.bin")});
  }
  // The download ended well, with every byte as served.
  void ExpectDownloaded(ChildProcess& download) {
    ASSERT_EQ(download.Wait(40s), 0);
    std::ifstream file(m_downloads.file("f.bin"), std::ios::binary);
    const std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(body.size(), kSize);
    EXPECT_TRUE(body == BodyBytes(0, kSize));
  }

  TestServer m_http;
  TempDir m_downloads;
};

TEST_F(StatusWireTest, ASinkKilledWhileTheEngineWaitsOnItsSlotLetsTheOthersGoOn) {
  // Only the client's death can free the engine within this test's time.
  const ScopedEnv limit("PULLWRIGHT_SINK_TIMEOUT_MS", "60000");
  Register();
  auto watcher = StartClient();
  auto doomed = StartClient();
  doomed->WriteLine("stall");
  auto download = StartDownload();
  ASSERT_TRUE(doomed->ReadUntil("stalling", 20s));
  doomed->Kill();
  ExpectDownloaded(*download);
  // The sink that answers had the download's events to the end.
  EXPECT_TRUE(watcher->ReadUntil("event 5 " + m_http.Url("/f.bin"), 20s));
}

TEST_F(StatusWireTest, GarbageInASharedAreaCostsOnlyTheClientThatWroteIt) {
  Register();
  auto watcher = StartClient();
  const pid_t server = ServerPid();
  auto hostile = StartClient();
  auto download = StartDownload();
  ASSERT_TRUE(hostile->ReadUntil("event", 20s));
  hostile->WriteLine("garble");
  // The channel is in use: the client holds the area the engine shared.
  EXPECT_EQ(hostile->ReadUntil("garbled", 20s).value_or(""), "garbled 1");
  ExpectDownloaded(*download);
  // The same engine serves the other client still.
  EXPECT_TRUE(watcher->ReadUntil("event 5 " + m_http.Url("/f.bin"), 20s));
  watcher->WriteLine("queue q http://127.0.0.1:1/q");
  EXPECT_EQ(watcher->ReadUntil("queued").value_or(""), "queued 0x00000000");
  EXPECT_EQ(ServerPid(), server);
}

}  // namespace
