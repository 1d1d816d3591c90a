// The shared memory status channel between two processes: calls arrive
// whole, a dead sink costs the caller no more than its time limit, what a
// hostile peer writes into the area is refused, and an idle sink sleeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fd_passing.h"
#include "proxystub/status_channel_server.h"

namespace {

using namespace std::chrono_literals;
using ps::StatusCall;
using ps::StatusChannel;
using Clock = std::chrono::steady_clock;
using Outcome = StatusChannel::Outcome;
namespace area = ps::status_area;

// A digest of everything a call carries, returned as the sink's answer so
// that the caller can tell that the call arrived intact.
HRESULT Digest(const StatusCall& call) {
  std::uint32_t hash = 2166136261u;
  const auto mix = [&](const void* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const std::uint8_t*>(bytes)[i]) * 16777619u;
  };
  mix(&call.status, sizeof call.status);
  mix(&call.nullText, 1);
  mix(call.text, std::strlen(call.text));
  mix(&call.record, sizeof call.record);
  return static_cast<HRESULT>(hash);
}

// Reads one byte from `fd` within 20 s; -1 when nothing came.
int ReadByte(int fd) {
  pollfd watch{fd, POLLIN, 0};
  std::uint8_t byte = 0;
  return ::poll(&watch, 1, 20000) == 1 && ::read(fd, &byte, 1) == 1 ? byte : -1;
}

// A sink process: it takes the channel's area over a socket, as a client
// gets it from the engine, and serves it on a reading thread with
// `handler` until the channel closes (exit code 0) or ends otherwise. Given
// a `report` descriptor, it serves one call and then writes there the CPU
// milliseconds it spent from then until the channel closed.
class SinkProcess {
 public:
  SinkProcess(const StatusChannel& channel, StatusChannel::Handler handler, int report = -1) {
    int pair[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
    m_pid = ::fork();
    if (m_pid == 0) {
      std::uint8_t byte = 0;
      int fd = -1;
      if (ReceiveWithFd(pair[1], {&byte, 1}, fd) != 1 || fd < 0) ::_exit(90);
      std::shared_ptr<StatusChannel> adopted = StatusChannel::Adopt(fd);
      if (!adopted) ::_exit(91);
      if (report >= 0) ::_exit(ReportIdleCpu(*adopted, handler, report));
      ::_exit(ps::StatusChannelServer(adopted, handler).Join() == Outcome::Closed ? 0 : 92);
    }
    ::close(pair[1]);
    const std::uint8_t hello = 1;
    EXPECT_TRUE(SendWithFd(pair[0], {&hello, 1}, channel.fd()));
    ::close(pair[0]);
  }
  ~SinkProcess() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    Wait();
  }
  pid_t pid() const { return m_pid; }
  // The exit code, or minus the signal that ended it.
  int Wait() {
    int status = 0;
    ::waitpid(std::exchange(m_pid, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

 private:
  static int ReportIdleCpu(StatusChannel& channel, const StatusChannel::Handler& handler, int report) {
    if (channel.ServeNext(handler) != Outcome::Answered) return 93;
    const auto cpuMs = [] {
      rusage usage{};
      ::getrusage(RUSAGE_SELF, &usage);
      return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000L +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000L;
    };
    const long before = cpuMs();
    const Outcome outcome = channel.ServeNext(handler);
    const auto spent = static_cast<std::uint8_t>(std::min(cpuMs() - before, 255L));
    return ::write(report, &spent, 1) == 1 && outcome == Outcome::Closed ? 0 : 94;
  }
  pid_t m_pid = -1;
};

TEST(StatusChannel, ManyCallsFromSeveralThreadsArriveWholeInAnotherProcess) {
  auto channel = StatusChannel::Create(4);
  ASSERT_TRUE(channel);
  SinkProcess sink(*channel, Digest);
  // Texts of every shape: none, empty, the longest, and one the channel
  // must cut to the longest.
  const std::size_t lengths[] = {0, 1, 40, 259, 400};
  constexpr unsigned kThreads = 3, kCalls = 4000;
  std::atomic<unsigned> intact{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (unsigned i = 0; i < kCalls; ++i) {
        StatusCall expected;
        expected.status = t * 100000 + i;
        expected.nullText = i % 7 == 0;
        const std::string text(lengths[i % std::size(lengths)], static_cast<char>('a' + i % 26));
        if (!expected.nullText) std::strncpy(expected.text, text.c_str(), kMaxTextBytes - 1);
        CopyRecordText(expected.record.szHref, "http://host/" + std::to_string(t) + "/" + std::to_string(i));
        CopyRecordText(expected.record.szFileName, std::string(i % 260, static_cast<char>('A' + t)));
        expected.record.dwFileSize = i * 4095;
        expected.record.dwTimeouts = ~i;
        StatusChannel::Ticket ticket;
        ASSERT_TRUE(channel->Post(expected.status, expected.nullText ? nullptr : text.c_str(), expected.record, ticket));
        HRESULT hr = 0;
        ASSERT_EQ(channel->WaitReply(ticket, Clock::now() + 20s, hr), Outcome::Answered);
        if (hr == Digest(expected)) ++intact;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(intact.load(), kThreads * kCalls);
  channel->Close();
  EXPECT_EQ(sink.Wait(), 0);
}

TEST(StatusChannel, ASinkKilledWhileTheCallerWaitsCostsNoMoreThanTheTimeLimit) {
  auto channel = StatusChannel::Create();
  ASSERT_TRUE(channel);
  int started[2];
  ASSERT_EQ(::pipe(started), 0);
  SinkProcess sink(*channel, [&](const StatusCall&) -> HRESULT {
    const std::uint8_t byte = 1;
    (void)!::write(started[1], &byte, 1);
    for (;;) ::pause();
  });
  std::thread killer([&] {
    if (ReadByte(started[0]) == 1) ::kill(sink.pid(), SIGKILL);
  });
  StatusChannel::Ticket ticket;
  ASSERT_TRUE(channel->Post(6, "Downloading", _LinkStructType{}, ticket));
  const auto begun = Clock::now();
  HRESULT hr = S_OK;
  EXPECT_EQ(channel->WaitReply(ticket, begun + 1500ms, hr), Outcome::TimedOut);
  EXPECT_LT(Clock::now() - begun, 1500ms + 10s);
  EXPECT_EQ(hr, RPC_E_DISCONNECTED);
  killer.join();
  EXPECT_EQ(sink.Wait(), -SIGKILL);
  // The sink is given up: later calls take the socket.
  EXPECT_FALSE(channel->Post(6, "Downloading", _LinkStructType{}, ticket));
  for (int end : started) ::close(end);
}

TEST(StatusChannel, AnIdleSinkSleepsAndClosingWakesIt) {
  auto channel = StatusChannel::Create();
  ASSERT_TRUE(channel);
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  SinkProcess sink(*channel, [](const StatusCall&) { return S_OK; }, report[1]);
  // One call first, so the sink is known to be past its start.
  StatusChannel::Ticket ticket;
  ASSERT_TRUE(channel->Post(6, nullptr, _LinkStructType{}, ticket));
  HRESULT hr = E_FAIL;
  ASSERT_EQ(channel->WaitReply(ticket, Clock::now() + 20s, hr), Outcome::Answered);
  std::this_thread::sleep_for(300ms);  // the measured idle spell, not a synchronisation
  channel->Close();
  const int spentMs = ReadByte(report[0]);
  EXPECT_GE(spentMs, 0) << "closing did not wake the sink";
  EXPECT_LT(spentMs, 10);
  EXPECT_EQ(sink.Wait(), 0);
  for (int end : report) ::close(end);
}

// One area seen three ways: by the engine that created it, by an honest
// sink that adopted it, and raw, as a hostile peer that writes anything.
struct SharedArea {
  std::unique_ptr<StatusChannel> engine = StatusChannel::Create(2);
  std::unique_ptr<StatusChannel> sink = StatusChannel::Adopt(::dup(engine->fd()));
  std::size_t bytes = sizeof(area::Header) + 2 * sizeof(area::Slot);
  std::uint8_t* raw =
      static_cast<std::uint8_t*>(::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, engine->fd(), 0));
  ~SharedArea() { ::munmap(raw, bytes); }
  area::Header& header() { return *reinterpret_cast<area::Header*>(raw); }
  area::Slot& slot(std::size_t index) { return reinterpret_cast<area::Slot*>(raw + sizeof(area::Header))[index]; }
};

TEST(StatusChannel, TheEngineRefusesWhatAHostileSinkWritesAsAnAnswer) {
  using Write = std::function<void(SharedArea&, area::Slot&, std::uint32_t sequence)>;
  const std::tuple<const char*, Write, Outcome> cases[] = {
      {"an answer to another call", [](auto&, auto& s, auto n) { s.state = area::State(area::Answered, n + 1); },
       Outcome::Invalid},
      {"an unknown kind", [](auto&, auto& s, auto n) { s.state = area::State(area::Posted, n) | 3; }, Outcome::Invalid},
      {"a call taken back", [](auto&, auto& s, auto n) { s.state = area::State(area::Idle, n); }, Outcome::Invalid},
      {"a closed slot", [](auto&, auto& s, auto) { s.state |= area::kClosedBit; }, Outcome::Closed},
      {"a closed area", [](auto& a, auto&, auto) { a.header().closed = 1; }, Outcome::Closed},
      {"a garbled header beside a proper answer",
       [](auto& a, auto& s, auto n) {
         std::memset(&a.header(), 0xA5, offsetof(area::Header, doorbell));
         s.hresult = 77;
         s.state = area::State(area::Answered, n);
       },
       Outcome::Answered},
  };
  for (const auto& [what, write, expected] : cases) {
    SharedArea shared;
    StatusChannel::Ticket ticket;
    ASSERT_TRUE(shared.engine->Post(6, "x", _LinkStructType{}, ticket)) << what;
    write(shared, shared.slot(ticket.slot), ticket.sequence);
    HRESULT hr = S_OK;
    EXPECT_EQ(shared.engine->WaitReply(ticket, Clock::now() + 10s, hr), expected) << what;
    EXPECT_EQ(hr, expected == Outcome::Answered ? 77 : RPC_E_DISCONNECTED) << what;
    EXPECT_EQ(shared.engine->IsOpen(), expected == Outcome::Answered) << what;
  }
}

TEST(StatusChannel, ASinkRefusesCallsNoHonestEngineWrites) {
  const std::tuple<const char*, std::uint32_t, std::string, std::uint32_t, Outcome> cases[] = {
      {"a text one byte too long", 260, "", area::Posted, Outcome::Invalid},
      {"a huge text length", 0xFFFFFFFEu, "", area::Posted, Outcome::Invalid},
      {"a NUL inside the text", 5, std::string("ab\0cd", 5), area::Posted, Outcome::Invalid},
      {"an unknown kind", 2, "ab", 3, Outcome::Invalid},
      {"the longest text", 259, std::string(260, 'y'), area::Posted, Outcome::Answered},
      {"a null text", area::kNullText, "", area::Posted, Outcome::Answered},
  };
  for (const auto& [what, length, text, kind, expected] : cases) {
    SharedArea shared;
    area::Slot& slot = shared.slot(1);
    slot.textLength = length;
    std::memcpy(slot.text, text.data(), text.size());
    std::memset(&slot.record, 'r', sizeof slot.record);  // texts without terminators
    slot.state = area::State(static_cast<area::SlotKind>(kind), 1);
    bool wellFormed = true;
    const auto check = [&](const StatusCall& call) {
      wellFormed = std::strlen(call.record.szHref) == 259 && std::strlen(call.record.szFileName) == 259 &&
                   (call.nullText || std::strlen(call.text) == length);
      return S_OK;
    };
    EXPECT_EQ(shared.sink->ServeNext(check, Clock::now()), expected) << what;
    EXPECT_TRUE(wellFormed) << what;
    EXPECT_EQ(shared.sink->IsOpen(), expected == Outcome::Answered) << what;
  }
}

TEST(StatusChannel, RandomBytesInTheAreaNeverReachAHandlerUnchecked) {
  std::mt19937 random(21);
  unsigned served = 0;
  for (int round = 0; round < 300; ++round) {
    SharedArea shared;
    StatusChannel::Ticket ticket;
    ASSERT_TRUE(shared.engine->Post(6, "x", _LinkStructType{}, ticket));
    // The header in some rounds only, so that most rounds reach the slots.
    for (std::size_t i = round % 4 ? sizeof(area::Header) : 0; i < shared.bytes; ++i)
      shared.raw[i] = static_cast<std::uint8_t>(random());
    // Some slots look posted, with a text length often in range.
    if (round % 2) {
      area::Slot& slot = shared.slot(round % 4 / 2);
      slot.state = area::State(area::Posted, round);
      slot.textLength = random() % 300;
      if (round % 8 == 1) std::replace(slot.text, slot.text + kMaxTextBytes, '\0', 'z');
    }
    const Outcome outcome = shared.sink->ServeNext(
        [&](const StatusCall& call) {
          ++served;
          EXPECT_LT(std::strlen(call.record.szHref) + std::strlen(call.record.szFileName), 2 * kMaxTextBytes);
          EXPECT_TRUE(call.nullText || std::strlen(call.text) < kMaxTextBytes);
          return S_OK;
        },
        Clock::now());
    EXPECT_EQ(shared.sink->IsOpen(), outcome == Outcome::Answered || outcome == Outcome::Idle);
    HRESULT hr;
    const Outcome reply = shared.engine->WaitReply(ticket, Clock::now() + 100ms, hr);
    EXPECT_EQ(shared.engine->IsOpen(), reply == Outcome::Answered);
  }
  EXPECT_GT(served, 0u);
}

TEST(StatusChannel, OnlyASealedAreaOfTheDeclaredSizeIsAdopted) {
  constexpr unsigned kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;
  const std::size_t three = sizeof(area::Header) + 3 * sizeof(area::Slot);
  struct Case {
    const char* what;
    std::size_t bytes;
    unsigned seals;
    std::uint32_t slots, magic;
    bool adopted;
  };
  const Case cases[] = {
      {"a proper area", three, kSeals, 3, area::kMagic, true},
      {"one its sender can still shrink", three, F_SEAL_GROW | F_SEAL_SEAL, 3, area::kMagic, false},
      {"one without seals", three, 0, 3, area::kMagic, false},
      {"a size between slots", three + 1, kSeals, 3, area::kMagic, false},
      {"too many slots", sizeof(area::Header) + 65 * sizeof(area::Slot), kSeals, 65, area::kMagic, false},
      {"a header with another slot count", three, kSeals, 2, area::kMagic, false},
      {"a foreign header", three, kSeals, 3, 0x12345678, false},
  };
  for (const Case& c : cases) {
    const int fd = ::memfd_create("test-area", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const area::Header header{c.magic, area::kVersion, c.slots, sizeof(area::Slot), 0, 0, {}};
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.bytes)), 0);
    ASSERT_EQ(::pwrite(fd, &header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
    ASSERT_EQ(c.seals ? ::fcntl(fd, F_ADD_SEALS, c.seals) : 0, 0);
    std::string whyNot;
    const auto channel = StatusChannel::Adopt(fd, {}, &whyNot);
    EXPECT_EQ(channel != nullptr, c.adopted) << c.what << ": " << whyNot;
    EXPECT_EQ(channel ? channel->slotCount() == 3 : !whyNot.empty(), true) << c.what;
  }
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[1]);
  EXPECT_FALSE(StatusChannel::Adopt(ends[0]));
}

TEST(FdPassing, TheFirstDescriptorIsTakenAndExtrasAreClosed) {
  const auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
  // Two descriptors in one message, then a message with none.
  const int sent[2] = {::memfd_create("a", MFD_CLOEXEC), ::memfd_create("b", MFD_CLOEXEC)};
  std::uint8_t byte = 7;
  iovec part{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof sent)] = {};
  msghdr message{nullptr, 0, &part, 1, control, sizeof control, 0};
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  *header = {CMSG_LEN(sizeof sent), SOL_SOCKET, SCM_RIGHTS};
  std::memcpy(CMSG_DATA(header), sent, sizeof sent);
  ASSERT_EQ(::sendmsg(pair[0], &message, 0), 1);
  ASSERT_EQ(::send(pair[0], &byte, 1, 0), 1);

  const auto openBefore = openDescriptors();
  int fd = -2;
  ASSERT_EQ(ReceiveWithFd(pair[1], {&byte, 1}, fd), 1);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(openDescriptors(), openBefore + 1);
  ::close(fd);
  EXPECT_EQ(ReceiveWithFd(pair[1], {&byte, 1}, fd), 1);
  EXPECT_EQ(fd, -1);
  for (int open : {sent[0], sent[1], pair[0], pair[1]}) ::close(open);
}

}  // namespace
