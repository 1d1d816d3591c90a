// One Queuebay per user: later starts hand their addresses to the first.
#include "manager/app/single_window.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "proxystub/endpoint.h"
#include "tests/support/gui_test_support.h"

namespace {

using queuebay::SingleWindow;
using Addresses = std::vector<std::string>;
using namespace std::string_literals;

// Runs `work` on a thread of its own while the interface thread serves
// events, as another process would beside the running Queuebay.
template <class Work>
auto Beside(Work work) {
  decltype(work()) result{};
  std::atomic<bool> done{false};
  std::thread thread([&] {
    result = work();
    done = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
  thread.join();
  return result;
}

// What a plain Unix socket does at the listener's path.
enum class At { kConnect, kBind, kListen };

// kListen: a socket that takes connections and never answers.
int SocketAt(At how) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = SingleWindow::SocketPath();
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const auto* where = reinterpret_cast<const sockaddr*>(&address);
  const bool ready = how == At::kConnect ? ::connect(fd, where, sizeof address) == 0
                                         : ::bind(fd, where, sizeof address) == 0 &&
                                               (how == At::kBind || ::listen(fd, 4) == 0);
  EXPECT_TRUE(ready) << std::strerror(errno);
  return fd;
}

// Everything the peer sends until it closes, within 15 s.
std::string ReadToEnd(int fd) {
  std::string answer;
  char chunk[64];
  for (pollfd entry{fd, POLLIN, 0}; ::poll(&entry, 1, 15000) > 0;) {
    const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
    if (count <= 0) break;
    answer.append(chunk, static_cast<std::size_t>(count));
  }
  return answer;
}

// Sends raw bytes as a stranger might (stopping where the listener hangs
// up) and gives its answer.
std::string Exchange(const std::string& bytes) {
  const int fd = SocketAt(At::kConnect);
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) break;
    sent += static_cast<std::size_t>(count);
  }
  const std::string answer = ReadToEnd(fd);
  ::close(fd);
  return answer;
}

std::string Lines(const std::string& line, std::size_t count) {
  std::string lines;
  for (std::size_t i = 0; i < count; ++i) lines += line + "\n";
  return lines;
}

class SingleWindowTest : public ::testing::Test {
 protected:
  SingleWindowTest() { EXPECT_TRUE(ps::endpoint::PrepareFolder()); }

  // The first Queuebay, listening and recording what it is handed.
  void StartFirst(std::chrono::milliseconds wait = std::chrono::seconds(3)) {
    m_first = std::make_unique<SingleWindow>();
    m_first->SetHandler([this](const Addresses& addresses) { m_received.push_back(addresses); });
    EXPECT_FALSE(m_first->HandOverOrListen({"http://h/first"}, wait));
    EXPECT_TRUE(m_first->Listening());
  }

  // A later start: true when the first one confirmed its addresses.
  bool SecondStart(const Addresses& addresses) {
    return Beside([&] { return SingleWindow().HandOverOrListen(addresses); });
  }

  bool Received(std::size_t count) { return WaitUntil([&] { return m_received.size() >= count; }); }

  TempDir m_runtime;
  ScopedEnv m_variable{"XDG_RUNTIME_DIR", m_runtime.path()};
  std::unique_ptr<SingleWindow> m_first;
  std::vector<Addresses> m_received;
};

TEST_F(SingleWindowTest, ASecondStartHandsItsAddressesInOrderOrOnlyRaises) {
  StartFirst();
  const Addresses addresses{"http://h/a.zip", "https://h/b", "http://h/c?x=1"};
  EXPECT_TRUE(SecondStart(addresses));
  EXPECT_TRUE(SecondStart({}));
  ASSERT_TRUE(Received(2));
  EXPECT_EQ(m_received, (std::vector<Addresses>{addresses, {}}));
  // What no listener takes stays out, and so does what a request cannot hold.
  Addresses many{"http://h/a\nhttp://h/injected", std::string(300, 'x')};
  many.resize(SingleWindow::kMaxLines + 3, "http://h/x");
  EXPECT_TRUE(SecondStart(many));
  ASSERT_TRUE(Received(3));
  EXPECT_EQ(m_received.back(), Addresses(SingleWindow::kMaxLines, "http://h/x"));
}

TEST_F(SingleWindowTest, ASocketNobodyAnswersOnIsReplaced) {
  for (const bool hung : {false, true}) {
    SCOPED_TRACE(hung ? "held by a hung Queuebay" : "left by an ended one");
    const int stale = SocketAt(hung ? At::kListen : At::kBind);
    if (!hung) ::close(stale);
    StartFirst(std::chrono::milliseconds(300));
    EXPECT_TRUE(SecondStart({"http://h/a"}));
    ASSERT_TRUE(Received(1));
    EXPECT_EQ(m_received.back(), Addresses{"http://h/a"});
    m_first.reset();
    m_received.clear();
    if (hung) ::close(stale);
  }
}

TEST_F(SingleWindowTest, AnEndingListenerRemovesItsSocketButNotOneThatReplacedIt) {
  struct stat info {};
  StartFirst();
  m_first.reset();
  EXPECT_NE(::lstat(SingleWindow::SocketPath().c_str(), &info), 0);
  StartFirst();
  ::unlink(SingleWindow::SocketPath().c_str());
  const int replacing = SocketAt(At::kListen);
  m_first.reset();
  EXPECT_EQ(::lstat(SingleWindow::SocketPath().c_str(), &info), 0);
  ::close(replacing);
}

TEST_F(SingleWindowTest, HostileInputLeavesTheListenerServing) {
  const std::string longest = "http://h/" + std::string(SingleWindow::kMaxLineBytes - 9, 'x');
  const std::string wide(199, 'w');
  const struct {
    const char* name;
    std::string bytes;
    std::string answer;
    Addresses taken;
  } cases[] = {
      {"over 1 MiB", Lines(wide, SingleWindow::kMaxRequestBytes / 200 + 1) + "\n", "", {}},
      {"too many lines", Lines("http://h/x", SingleWindow::kMaxLines + 1) + "\n", "", {}},
      {"as many lines as allowed", Lines("http://h/x", SingleWindow::kMaxLines) + "\n", "ok\n",
       Addresses(SingleWindow::kMaxLines, "http://h/x")},
      {"control bytes and long lines",
       "http://h/a\0b\nhttp://h/\x1b[2J\nhttp://h/\x7f\n"s + longest + "x\n" + longest + "\n" +
           std::string(100000, 'y') + "\nhttp://h/ok\n\nhttp://h/after\n\n",
       "ok\n",
       {longest, "http://h/ok"}},
  };
  StartFirst();
  for (const auto& hostile : cases) {
    SCOPED_TRACE(hostile.name);
    m_received.clear();
    EXPECT_EQ(Beside([&] { return Exchange(hostile.bytes); }), hostile.answer);
    EXPECT_TRUE(SecondStart({"http://h/good"}));
    std::vector<Addresses> expected{Addresses{"http://h/good"}};
    if (!hostile.taken.empty()) expected.insert(expected.begin(), hostile.taken);
    ASSERT_TRUE(Received(expected.size()));
    EXPECT_EQ(m_received, expected);
  }
}

TEST_F(SingleWindowTest, SilentConnectionsDoNotHoldAGoodOneAndAreClosed) {
  StartFirst();
  std::vector<int> silent;
  for (int i = 0; i < 20; ++i) silent.push_back(SocketAt(At::kConnect));
  ::send(silent.front(), "http://h/half", 13, MSG_NOSIGNAL);
  EXPECT_TRUE(SecondStart({"http://h/good"}));
  ASSERT_TRUE(Received(1));
  EXPECT_EQ(m_received, std::vector<Addresses>{{"http://h/good"}});
  // Each is hung up on without an answer once its time is up.
  for (const int fd : silent) {
    EXPECT_EQ(Beside([fd] { return ReadToEnd(fd); }), "");
    ::close(fd);
  }
}

}  // namespace
