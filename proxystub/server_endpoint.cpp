#include "proxystub/server_endpoint.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "proxystub/stubs.h"

namespace ps {

namespace {

bool StillOpen(const std::weak_ptr<Connection>& weak) {
  const auto connection = weak.lock();
  return connection && connection->IsOpen();
}

}  // namespace

std::unique_ptr<ServerEndpoint> ServerEndpoint::Open(IClassFactoryHost& host, ConnectionOptions options) {
  std::unique_ptr<ServerEndpoint> server(new ServerEndpoint(host, options));
  if (!server->Listen()) return nullptr;
  return server;
}

ServerEndpoint::~ServerEndpoint() {
  Suspend();
  CloseAll();
}

bool ServerEndpoint::Listen() {
  std::lock_guard lock(m_mutex);
  if (m_listenFd >= 0) return true;
  if (!endpoint::PrepareFolder()) return false;
  auto serverLock = std::make_unique<endpoint::FileLock>(endpoint::ServerLockPath(), std::chrono::milliseconds(0));
  if (!serverLock->held()) return false;
  const std::string path = endpoint::SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Whoever holds the server lock owns the socket path: a file there was
  // left by a server that died.
  ::unlink(path.c_str());
  // A message socket, not a byte stream: a stream wakes the sender's own
  // blocked reader each time the peer takes a message (its room grew),
  // which costs both sides a wake-up per status event for nothing.
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    return false;
  }
  m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
  m_listenFd = fd;
  m_serverLock = std::move(serverLock);
  m_acceptThread = std::thread(&ServerEndpoint::AcceptLoop, this, m_listenFd, m_wakeFd);
  return true;
}

void ServerEndpoint::AcceptLoop(int listenFd, int wakeFd) {
  for (;;) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // Another user's process is dropped before it can say anything.
    if (!endpoint::PeerIsSameUser(fd)) {
      ::close(fd);
      continue;
    }
    Serve(fd);
  }
}

std::shared_ptr<Connection> ServeClient(int fd, IClassFactoryHost& host, ConnectionOptions options) {
  auto session = std::make_shared<ServerSession>(host);
  // The engine's threads call the client's sinks far more often than the
  // client calls in: they read their sinks' answers themselves.
  options.callerReadsReply = true;
  // The client's first call may arrive at once: the factory and the close
  // hook are in place before the connection starts reading.
  return Connection::Start(fd, wire::Side::Server, options, [&session](Connection& connection) {
    connection.objects().SetFactory(std::make_shared<CClassFactoryStub>(session));
    // Whatever the client held goes back the moment its connection ends.
    connection.AddCloseHook([session] { session->Close(); });
  });
}

void ServerEndpoint::Serve(int fd) {
  auto connection = ServeClient(fd, m_host, m_options);
  std::lock_guard lock(m_mutex);
  std::erase_if(m_connections, [](const std::weak_ptr<Connection>& weak) { return !StillOpen(weak); });
  m_connections.push_back(connection);
}

void ServerEndpoint::StopListening() {
  std::thread acceptThread;
  {
    std::lock_guard lock(m_mutex);
    if (m_listenFd < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto wrote = ::write(m_wakeFd, &one, sizeof one);
    acceptThread = std::move(m_acceptThread);
  }
  acceptThread.join();
  std::lock_guard lock(m_mutex);
  // The socket file goes before the lock, so that a server that takes the
  // lock next never has its own socket removed by this one.
  ::unlink(endpoint::SocketPath().c_str());
  ::close(m_listenFd);
  ::close(m_wakeFd);
  m_listenFd = m_wakeFd = -1;
  m_serverLock.reset();
}

void ServerEndpoint::Suspend() { StopListening(); }

bool ServerEndpoint::Resume() { return Listen(); }

bool ServerEndpoint::IsAccepting() const {
  std::lock_guard lock(m_mutex);
  return m_listenFd >= 0;
}

bool ServerEndpoint::HasClients() const {
  std::lock_guard lock(m_mutex);
  return std::any_of(m_connections.begin(), m_connections.end(), StillOpen);
}

void ServerEndpoint::CloseAll() {
  std::vector<std::shared_ptr<Connection>> open;
  {
    std::lock_guard lock(m_mutex);
    for (auto& weak : m_connections)
      if (auto connection = weak.lock()) open.push_back(std::move(connection));
    m_connections.clear();
  }
  for (auto& connection : open) connection->Close();
  for (auto& connection : open) connection->JoinThreads();
}

}  // namespace ps
