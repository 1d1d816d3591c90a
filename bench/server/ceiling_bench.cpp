// The ceiling for the engine's status calls: one process with one thread
// writes a 600-byte message to each of its peers (one process each, one
// thread each, over a Unix socket), then reads each peer's 16-byte reply,
// the last peer's first; as many rounds as fit in one-second windows, of
// which the fastest counts.
//   ceiling_bench [WINDOWS [PEERS]]   (3 windows, 1 peer by default)
// With one peer this is the bare request/reply ceiling; with two it is the
// most that two clients with their calls in flight together could reach.
// Prints the MB/s that one 4095-byte read per round would reach.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kMessage = 600;
constexpr std::size_t kReply = 16;
constexpr double kBytesPerRound = 4095;

bool ReadAll(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer + got, size - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

void ServePeer(int fd) {
  char message[kMessage], reply[kReply] = {};
  while (ReadAll(fd, message, kMessage))
    if (::write(fd, reply, kReply) != static_cast<ssize_t>(kReply)) break;
  ::_exit(0);
}

bool Round(const std::vector<int>& peers, const char* message, char* reply) {
  for (int fd : peers)
    if (::write(fd, message, kMessage) != static_cast<ssize_t>(kMessage)) return false;
  for (auto fd = peers.rbegin(); fd != peers.rend(); ++fd)
    if (!ReadAll(*fd, reply, kReply)) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int windows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int peerCount = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 8) : 1;
  std::vector<int> peers;
  std::vector<pid_t> children;
  for (int i = 0; i < peerCount; ++i) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    const pid_t child = ::fork();
    if (child == 0) {
      for (int fd : peers) ::close(fd);
      ::close(fds[0]);
      ServePeer(fds[1]);
    }
    ::close(fds[1]);
    peers.push_back(fds[0]);
    children.push_back(child);
  }
  char message[kMessage], reply[kReply];
  std::memset(message, 'm', sizeof message);
  using Clock = std::chrono::steady_clock;
  // A short warm-up, then the measured windows.
  for (int i = 0; i < 2000; ++i)
    if (!Round(peers, message, reply)) return 1;
  double roundUs = 0;
  for (int window = 0; window < windows; ++window) {
    const auto started = Clock::now();
    long rounds = 0;
    while (Clock::now() - started < std::chrono::seconds(1)) {
      for (int i = 0; i < 1000; ++i, ++rounds)
        if (!Round(peers, message, reply)) return 1;
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - started).count() / static_cast<double>(rounds);
    if (window == 0 || us < roundUs) roundUs = us;
  }
  for (int fd : peers) ::close(fd);
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
  std::fprintf(stderr, "ceiling with %d peer(s): %.2f us per round\n", peerCount, roundUs);
  std::printf("%.1f\n", kBytesPerRound / roundUs * 1e6 / 1048576.0);
  return 0;
}
