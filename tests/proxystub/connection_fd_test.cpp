// Descriptors passed along with calls over a connection: the receiver gets
// the peer's file, and one that nobody asked for is closed, not kept.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>

#include "proxystub/connection.h"

namespace {

// Two connections over one message socket pair, in this process. The server
// end has no objects: every call is answered RPC_E_DISCONNECTED, which is
// enough to know the call was read.
class ConnectionPair : public ::testing::Test {
 protected:
  void Open(const ps::Connection::FdReceiver& receiver) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    m_server = ps::Connection::Start(fds[0], wire::Side::Server, {}, [&](ps::Connection& connection) {
      if (receiver) connection.SetFdReceiver(receiver);
    });
    m_client = ps::Connection::Start(fds[1], wire::Side::Client, {});
    m_client->TryAddProxy();
  }
  void TearDown() override {
    for (auto* connection : {&m_client, &m_server}) {
      if (!*connection) continue;
      (*connection)->Close();
      (*connection)->JoinThreads();
    }
  }
  // Sends LockServer with `fd` along and waits for its answer.
  void CallWith(int fd) {
    ps::ReplySlot slot;
    m_client->BeginCall(wire::kFactoryObjectId, wire::Method::LockServer, slot).Number(1);
    ASSERT_TRUE(m_client->SendCallWithFd(slot, fd));
    EXPECT_EQ(m_client->WaitReply(slot), RPC_E_DISCONNECTED);
  }

  std::shared_ptr<ps::Connection> m_server;
  std::shared_ptr<ps::Connection> m_client;
};

int OpenFds() {
  int count = 0;
  DIR* folder = ::opendir("/proc/self/fd");
  while (::readdir(folder)) ++count;
  ::closedir(folder);
  return count;
}

ino_t InodeOf(int fd) {
  struct stat info{};
  return ::fstat(fd, &info) == 0 ? info.st_ino : 0;
}

TEST_F(ConnectionPair, AReceiverGetsThePassedFileWithItsFrame) {
  std::mutex mutex;
  wire::FrameHeader frame;
  int received = -1;
  Open([&](const wire::FrameHeader& header, int fd) {
    std::lock_guard lock(mutex);
    frame = header;
    received = fd;
  });
  const int file = ::memfd_create("passed", MFD_CLOEXEC);
  ASSERT_GE(file, 0);
  CallWith(file);
  std::lock_guard lock(mutex);
  ASSERT_GE(received, 0);
  EXPECT_NE(received, file);
  EXPECT_EQ(InodeOf(received), InodeOf(file));
  EXPECT_EQ(frame.kind, wire::FrameKind::Call);
  EXPECT_EQ(frame.method, static_cast<std::uint32_t>(wire::Method::LockServer));
  ::close(received);
  ::close(file);
}

TEST_F(ConnectionPair, APassedFileNobodyAsksForIsClosed) {
  Open({});
  const int file = ::memfd_create("unasked", MFD_CLOEXEC);
  ASSERT_GE(file, 0);
  const int before = OpenFds();
  CallWith(file);
  CallWith(file);
  EXPECT_EQ(OpenFds(), before);
  EXPECT_TRUE(m_server->IsOpen());
  ::close(file);
}

}  // namespace
