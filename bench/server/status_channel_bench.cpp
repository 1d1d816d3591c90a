// What one status call costs the engine, in the same run: a 600-byte call
// and a 16-byte reply over a SEQPACKET socket pair (the frame road), against
// the shared memory status channel as the engine uses it (the sink polls
// for the next call for a while after each, the engine briefly for the
// answer) and with both sides only sleeping on futexes. Each peer is a
// process of its own; one round does WORK microseconds of the engine's own
// work (a read and a write take about 9 on this kind of machine), sends to
// every peer, then waits for every answer, the last peer's first.
//   status_channel_bench [WINDOWS [PEERS [WORK]]]   (3 windows, 1 peer, 0)
// Prints RESULT lines: the fastest one-second window's microseconds per
// round, the work taken off, with the number of peers in the key.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "tests/support/fd_passing.h"
#include "proxystub/poller_placement.h"
#include "proxystub/status_channel.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kMessage = 600;
constexpr std::size_t kReply = 16;

// Rounds in one-second windows; the fastest window counts.
double BestRoundUs(int windows, const std::function<bool()>& round) {
  for (int i = 0; i < 2000; ++i)
    if (!round()) return -1;
  double best = -1;
  for (int window = 0; window < windows; ++window) {
    const auto started = Clock::now();
    long rounds = 0;
    while (Clock::now() - started < 1s)
      for (int i = 0; i < 1000; ++i, ++rounds)
        if (!round()) return -1;
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - started).count() / rounds;
    if (best < 0 || us < best) best = us;
  }
  return best;
}

// The engine's own part of a round: busy, as a read and a write are.
void Work(int us) {
  if (us <= 0) return;
  const auto until = Clock::now() + std::chrono::microseconds(us);
  while (Clock::now() < until) {
  }
}

pid_t Fork(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  return child;
}

double SocketRoundUs(int windows, int peerCount, int workUs) {
  std::vector<int> peers;
  std::vector<pid_t> children;
  for (int i = 0; i < peerCount; ++i) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) return -1;
    children.push_back(Fork([&] {
      for (int fd : peers) ::close(fd);
      ::close(fds[0]);
      char message[kMessage], reply[kReply] = {};
      while (::read(fds[1], message, kMessage) == static_cast<ssize_t>(kMessage))
        if (::write(fds[1], reply, kReply) != static_cast<ssize_t>(kReply)) break;
      return 0;
    }));
    ::close(fds[1]);
    peers.push_back(fds[0]);
  }
  char message[kMessage], reply[kReply];
  std::memset(message, 'm', sizeof message);
  const double us = BestRoundUs(windows, [&] {
    Work(workUs);
    for (int fd : peers)
      if (::write(fd, message, kMessage) != static_cast<ssize_t>(kMessage)) return false;
    for (auto fd = peers.rbegin(); fd != peers.rend(); ++fd)
      if (::read(*fd, reply, kReply) != static_cast<ssize_t>(kReply)) return false;
    return true;
  });
  for (int fd : peers) ::close(fd);
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
  return us;
}

double ChannelRoundUs(int windows, int peerCount, int workUs, ps::StatusChannelOptions options) {
  std::vector<std::unique_ptr<ps::StatusChannel>> channels;
  std::vector<pid_t> children;
  for (int i = 0; i < peerCount; ++i) {
    auto channel = ps::StatusChannel::Create(ps::StatusChannel::kDefaultSlots, options);
    int fds[2];
    if (!channel || ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) return -1;
    children.push_back(Fork([&] {
      ::close(fds[0]);
      std::uint8_t byte;
      int fd = -1;
      if (ReceiveWithFd(fds[1], {&byte, 1}, fd) != 1) return 1;
      auto adopted = ps::StatusChannel::Adopt(fd, options);
      if (!adopted) return 1;
      // Placed as the sinks' reading threads are.
      const ps::PollerPlacement placement;
      // The sinks copy the call and hand it over; the copy is all here.
      _LinkStructType copy;
      const ps::StatusChannel::Handler handler = [&](const ps::StatusCall& call) {
        std::memcpy(&copy, &call.record, sizeof copy);
        return S_OK;
      };
      while (adopted->ServeNext(handler) == ps::StatusChannel::Outcome::Answered) {
      }
      return 0;
    }));
    ::close(fds[1]);
    const std::uint8_t hello = 1;
    if (!SendWithFd(fds[0], {&hello, 1}, channel->fd())) return -1;
    ::close(fds[0]);
    channels.push_back(std::move(channel));
  }
  // The calls of a transfer: the address and name stay, the count and
  // the text's digits move on with every read.
  _LinkStructType record{};
  std::memset(record.szHref, 'h', 100);
  std::memset(record.szFileName, 'f', 20);
  record.dwFileSize = 1u << 30;
  char text[kMaxTextBytes + 64];  // room for the whole name and both counts
  std::vector<ps::StatusChannel::Ticket> tickets(channels.size());
  const double us = BestRoundUs(windows, [&] {
    Work(workUs);
    record.dwCurrentSize += 4095;
    std::snprintf(text, sizeof text, "Downloading %s, %u of %u", record.szFileName, record.dwCurrentSize,
                  record.dwFileSize);
    for (std::size_t i = 0; i < channels.size(); ++i)
      if (!channels[i]->Post(6, text, record, tickets[i])) return false;
    for (std::size_t i = channels.size(); i-- > 0;) {
      HRESULT hr;
      if (channels[i]->WaitReply(tickets[i], Clock::now() + 2s, hr) != ps::StatusChannel::Outcome::Answered)
        return false;
    }
    return true;
  });
  channels.clear();  // closes them, which ends the peers
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
  return us;
}

}  // namespace

int main(int argc, char** argv) {
  const int windows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int peers = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 8) : 1;
  const int work = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, 1000) : 0;
  const double socketRound = SocketRoundUs(windows, peers, work);
  const double channelRound = ChannelRoundUs(windows, peers, work, {});
  const double futexRound = ChannelRoundUs(windows, peers, work, {.replySpin = 0us, .callSpin = 0us});
  if (socketRound < 0 || channelRound < 0 || futexRound < 0) {
    std::fprintf(stderr, "status_channel_bench: a peer failed\n");
    return 1;
  }
  std::fprintf(stderr, "status call to %d peer(s) after %d us of work, us per round beyond the work: socket %.2f, "
               "channel %.2f, channel with futexes only %.2f\n", peers, work, socketRound - work,
               channelRound - work, futexRound - work);
  std::printf("RESULT status_socket_round%d_us %.2f\n", peers, socketRound - work);
  std::printf("RESULT status_channel_round%d_us %.2f\n", peers, channelRound - work);
  std::printf("RESULT status_channel_futex_round%d_us %.2f\n", peers, futexRound - work);
  return 0;
}
