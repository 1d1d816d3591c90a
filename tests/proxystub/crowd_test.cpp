// What one client can cost the others of the real server: a crowd of
// connections that never speak, and a sink that never answers.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "proxystub/endpoint.h"
#include "tests/proxystub/raw_peer.h"
#include "tests/proxystub/server_fixture.h"
#include "tests/support/test_server.h"

namespace {

using namespace std::chrono_literals;

std::size_t FileSize(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// The number of threads of process `pid`; 0 when it cannot be read.
int ThreadsOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return 0;
}

// A connection that waits at most `limit` for room in the server's
// backlog; -1 when there was none.
int ConnectWithin(std::chrono::milliseconds limit) {
  const std::string path = ps::endpoint::SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  const timeval wait{0, static_cast<suseconds_t>(std::chrono::microseconds(limit).count())};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST_F(ServerTest, SilentConnectionsBeyondTheDescriptorLimitLeaveOtherClientsServed) {
  constexpr int kSilent = 500;
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  if (own.rlim_max < 2 * kSilent) GTEST_SKIP() << "this process may not open " << kSilent << " connections";
  own.rlim_cur = own.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &own);
  const ScopedEnv firstFrame("PULLWRIGHT_FIRST_FRAME_MS", "1000");
  Register();
  TestServer http;
  http.Handle("/big.bin", {.size = 4'000'000});
  TempDir downloads;
  // As a client with a low limit starts it, but with the hard limit as
  // low, so that the engine cannot raise it.
  ChildProcess server({"/bin/sh", "-c", "ulimit -n 256 && exec \"$0\"", ServerProgram()});
  for (const auto deadline = std::chrono::steady_clock::now() + 30s;
       ServerPid() != server.pid() && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(ServerPid(), server.pid());
  // A client that spoke before the crowd came.
  auto speaker = StartClient();

  std::vector<std::unique_ptr<RawPeer>> silent;
  for (int i = 0; i < kSilent; ++i) {
    auto peer = std::make_unique<RawPeer>(ConnectWithin(20ms));
    if (peer->valid()) silent.push_back(std::move(peer));
  }
  ASSERT_GT(silent.size(), 256u);
  // None of them holds a thread of the engine's.
  EXPECT_LT(ThreadsOf(server.pid()), 100);

  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--quiet", "--dir", downloads.path() + "/", http.Url("/big.bin")});
  ASSERT_EQ(client.Wait(40s), 0);
  EXPECT_EQ(FileSize(downloads.file("big.bin")), 4'000'000u);
  // Every silent one is closed in the end; the client that spoke, and
  // was quiet since, is still served.
  for (auto& peer : silent) ASSERT_TRUE(peer->ClosedByPeer(10s));
  speaker->WriteLine("queue q http://127.0.0.1:1/q");
  EXPECT_EQ(speaker->ReadUntil("queued").value_or(""), "queued 0x00000000");
}

TEST_F(ServerTest, ASinkThatNeverAnswersIsDroppedAndHoldsTheOthersUpOnce) {
  Register();
  TestServer http;
  http.Handle("/f.bin", {.size = 2'000'000});
  TempDir downloads;
  const std::string url = http.Url("/f.bin");
  auto watcher = StartClient();
  RawPeer stalled(ps::endpoint::Connect());
  ASSERT_NE(RawAdviseSink(stalled), 0u);

  // Each event waits for every sink: a sink given up only after 30 s
  // would hold this download that long.
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--quiet", "--dir", downloads.path() + "/", url});
  ASSERT_EQ(client.Wait(20s), 0);
  EXPECT_EQ(FileSize(downloads.file("f.bin")), 2'000'000u);
  EXPECT_TRUE(stalled.ClosedByPeer(10s));
  // The sink that answers had the download's events to the end.
  EXPECT_TRUE(watcher->ReadUntil("event 5 " + url));
}

}  // namespace
