// The ceiling for the engine's status calls: two processes with one thread
// each, a blocking write of a 600-byte message and a read of a 16-byte
// reply over a Unix socket, as many times as fit in three one-second
// windows, of which the fastest counts.
// Prints the MB/s that one 4095-byte read per round trip would reach.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kMessage = 600;
constexpr std::size_t kReply = 16;
constexpr double kBytesPerRoundTrip = 4095;

bool ReadAll(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer + got, size - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    char message[kMessage], reply[kReply] = {};
    while (ReadAll(fds[1], message, kMessage))
      if (::write(fds[1], reply, kReply) != static_cast<ssize_t>(kReply)) break;
    ::_exit(0);
  }
  ::close(fds[1]);
  char message[kMessage], reply[kReply];
  std::memset(message, 'm', sizeof message);
  using Clock = std::chrono::steady_clock;
  // A short warm-up, then the measured rounds.
  for (int i = 0; i < 2000; ++i) {
    if (::write(fds[0], message, kMessage) != static_cast<ssize_t>(kMessage) || !ReadAll(fds[0], reply, kReply)) return 1;
  }
  // The best of three windows, as the downloads it is set against are
  // the best of their rounds.
  double roundTripUs = 0;
  for (int window = 0; window < 3; ++window) {
    const auto started = Clock::now();
    long rounds = 0;
    while (Clock::now() - started < std::chrono::seconds(1)) {
      for (int i = 0; i < 1000; ++i, ++rounds)
        if (::write(fds[0], message, kMessage) != static_cast<ssize_t>(kMessage) || !ReadAll(fds[0], reply, kReply))
          return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const double us = seconds * 1e6 / static_cast<double>(rounds);
    if (window == 0 || us < roundTripUs) roundTripUs = us;
  }
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  std::fprintf(stderr, "ceiling: %.2f us per round trip\n", roundTripUs);
  std::printf("%.1f\n", kBytesPerRoundTrip / roundTripUs * 1e6 / 1048576.0);
  return 0;
}
