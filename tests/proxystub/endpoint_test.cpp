// The engine's folder against other users on the machine: what a client and
// the server refuse, remove and never follow there, and how often a client
// knocks while a server starts. Tests that need a second user run as root
// and act as "nobody" in a child process.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "proxystub/activation.h"
#include "proxystub/class_registry.h"
#include "proxystub/endpoint.h"
#include "tests/proxystub/server_fixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;  // nobody

#define REQUIRE_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user"

// A child process that runs `work` as another user until Stop(). `asRoot`
// runs first, before the switch. `work` calls ready() once it is set up,
// waits until `stopFd` is readable and returns a number that Stop gives back.
class OtherUserProcess {
 public:
  using Work = std::function<int(const std::function<void()>& ready, int stopFd)>;

  OtherUserProcess(const std::function<void()>& asRoot, const Work& work) {
    int ready[2], stop[2], result[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0 || ::pipe(result) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      ::close(result[0]);
      if (asRoot) asRoot();
      if (::setgroups(0, nullptr) != 0 || ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(2);
      const int value = work([&] { (void)!::write(ready[1], "r", 1); }, stop[0]);
      (void)!::write(result[1], &value, sizeof value);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    ::close(result[1]);
    m_stop = stop[1];
    m_result = result[0];
    pollfd wait{ready[0], POLLIN, 0};
    char byte = 0;
    m_started = ::poll(&wait, 1, 10000) == 1 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~OtherUserProcess() { Stop(); }

  bool started() const { return m_started; }

  // Ends the process; what `work` returned, or -1.
  int Stop() {
    if (m_pid <= 0) return -1;
    ::close(m_stop);
    int value = -1;
    if (::read(m_result, &value, sizeof value) != sizeof value) value = -1;
    ::close(m_result);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    return value;
  }

  static void WaitForStop(int stopFd) {
    char byte;
    while (::read(stopFd, &byte, 1) > 0) {
    }
  }

 private:
  pid_t m_pid = -1;
  int m_stop = -1;
  int m_result = -1;
  bool m_started = false;
};

int BoundSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return fd;
}

class EngineFolder : public ServerTest {
 protected:
  std::string Folder() const { return runtimeFolder() + "/pullwright"; }
  // Lets the other user reach the engine's folder, as in a shared /tmp.
  void OpenPathToOthers() { ASSERT_EQ(::chmod(runtimeFolder().c_str(), 0755), 0); }

  void ExpectRefusedAtOnce() {
    std::shared_ptr<IDownloadEngine> engine;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ps::CreateDownloadEngine(&engine), E_ACCESSDENIED);
    // No waiting for a server that could never start there.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    const std::string error = ps::LastActivationError();
    EXPECT_NE(error.find(Folder()), std::string::npos) << error;
    EXPECT_TRUE(RunningServers().empty());
  }
};

TEST_F(EngineFolder, ALinkInPlaceOfTheFolderIsRefusedAtOnce) {
  Register();
  const std::string elsewhere = runtimeFolder() + "/elsewhere";
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), Folder().c_str()), 0);
  ExpectRefusedAtOnce();
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(EngineFolder, AFolderOfAnotherUserIsRefusedAtOnce) {
  REQUIRE_ROOT();
  Register();
  ASSERT_EQ(::mkdir(Folder().c_str(), 0777), 0);
  ASSERT_EQ(::chown(Folder().c_str(), kOtherUser, kOtherUser), 0);
  ExpectRefusedAtOnce();
  EXPECT_TRUE(fs::is_empty(Folder()));
}

TEST_F(EngineFolder, WhatAnotherUserPlantedInAnOpenFolderIsRemovedNotFollowed) {
  REQUIRE_ROOT();
  Register();
  OpenPathToOthers();
  ASSERT_TRUE(ps::endpoint::PrepareFolder());
  ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);  // left open to others
  const std::string victim = runtimeFolder() + "/victim";
  // A link where clients take turns, a server lock held for ever, and a
  // socket that is not the engine's.
  OtherUserProcess planter({}, [&](const std::function<void()>& ready, int stopFd) {
    if (::symlink(victim.c_str(), ps::endpoint::StartLockPath().c_str()) != 0) return 1;
    const int lock = ::open(ps::endpoint::ServerLockPath().c_str(), O_RDWR | O_CREAT, 0666);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) return 2;
    const int listener = BoundSocket(ps::endpoint::SocketPath());
    if (::listen(listener, 8) != 0) return 3;
    ready();
    OtherUserProcess::WaitForStop(stopFd);
    return 0;
  });
  ASSERT_TRUE(planter.started());

  std::shared_ptr<IDownloadEngine> engine;
  EXPECT_EQ(ps::CreateDownloadEngine(&engine), S_OK);
  EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
  struct stat info {};
  ASSERT_EQ(::lstat(Folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  for (const auto& entry : fs::directory_iterator(Folder())) {
    ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::getuid()) << entry.path();
    EXPECT_FALSE(S_ISLNK(info.st_mode)) << entry.path();
  }
  engine.reset();
  EXPECT_EQ(planter.Stop(), 0);
}

TEST_F(EngineFolder, ClientsWaitingForAServerKnockLessAndLessOften) {
  REQUIRE_ROOT();
  // A program that starts and never serves, and a socket that answers as
  // another user, so every try of the waiting client is counted and fails.
  ASSERT_TRUE(ps::class_registry::RegisterClass("/bin/true"));
  OpenPathToOthers();
  ASSERT_TRUE(ps::endpoint::PrepareFolder());
  int listener = -1;
  OtherUserProcess counter([&] { listener = BoundSocket(ps::endpoint::SocketPath()); },
                           [&](const std::function<void()>& ready, int stopFd) {
                             if (::listen(listener, 64) != 0) return -1;
                             ready();
                             int accepted = 0;
                             for (;;) {
                               pollfd fds[2] = {{listener, POLLIN, 0}, {stopFd, POLLIN, 0}};
                               if (::poll(fds, 2, -1) < 0 || fds[1].revents) return accepted;
                               const int fd = ::accept(listener, nullptr, nullptr);
                               if (fd >= 0) {
                                 ++accepted;
                                 ::close(fd);
                               }
                             }
                           });
  ASSERT_TRUE(counter.started());
  ps::ActivationOptions options;
  options.startWait = 1s;
  std::shared_ptr<IDownloadEngine> engine;
  EXPECT_EQ(ps::CreateDownloadEngine(&engine, options), CO_E_SERVER_EXEC_FAILURE);
  // With pauses from 10 ms doubling to 200 ms a second holds about ten
  // tries; without them, hundreds.
  const int tries = counter.Stop();
  EXPECT_GT(tries, 0);
  EXPECT_LE(tries, 20);
}

}  // namespace
