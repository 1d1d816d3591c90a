#include "proxystub/server_endpoint.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "proxystub/poller.h"
#include "proxystub/stubs.h"

namespace ps {

namespace {

using namespace std::chrono_literals;

// How long a client's reading thread waits for its next frame before the
// poller takes over: long enough that a busy client keeps its thread.
constexpr auto kParkAfter = 1000ms;

bool StillOpen(const std::weak_ptr<Connection>& weak) {
  const auto connection = weak.lock();
  return connection && connection->IsOpen();
}

}  // namespace

std::size_t ConnectionCapFor(std::uint64_t descriptors) {
  constexpr std::uint64_t kMost = ServerLimits{}.maxConnections;
  constexpr std::uint64_t kFewest = 8;
  const std::uint64_t reserve = std::max<std::uint64_t>(64, descriptors / 4);
  const std::uint64_t room = descriptors > reserve ? descriptors - reserve : 0;
  return static_cast<std::size_t>(std::clamp(room, kFewest, kMost));
}

std::unique_ptr<ServerEndpoint> ServerEndpoint::Open(IClassFactoryHost& host, ConnectionOptions options,
                                                     ServerLimits limits) {
  std::unique_ptr<ServerEndpoint> server(new ServerEndpoint(host, options, limits));
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
  // Out of descriptors or memory, accept fails while the client stays in
  // the backlog, so the socket stays readable: trying again at once would
  // spin. The pause grows while accepting keeps failing.
  constexpr auto kFirstPause = 10ms;
  constexpr auto kLongestPause = 1000ms;
  std::chrono::milliseconds pause{0};
  Clock::time_point pausedUntil;
  for (;;) {
    const auto now = Clock::now();
    const bool paused = now < pausedUntil;
    const auto wakeAt = std::min(CloseSilent(now), paused ? pausedUntil : Clock::time_point::max());
    int timeout = -1;
    if (wakeAt != Clock::time_point::max())
      timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count());
    // A negative descriptor is left out of the poll.
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {paused ? -1 : listenFd, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) continue;
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pause = std::clamp<std::chrono::milliseconds>(pause * 2, kFirstPause, kLongestPause);
        pausedUntil = Clock::now() + pause;
        // A client that never spoke gives its descriptor to one waiting.
        std::shared_ptr<Connection> silent;
        {
          std::lock_guard lock(m_mutex);
          silent = OldestSilentLocked();
        }
        if (silent) silent->Close();
      }
      continue;
    }
    pause = std::chrono::milliseconds(0);
    // Another user's process is dropped before it can say anything.
    if (!endpoint::PeerIsSameUser(fd)) {
      ::close(fd);
      continue;
    }
    Admit(fd);
  }
}

std::shared_ptr<Connection> ServerEndpoint::OldestSilentLocked() {
  for (const Client& client : m_clients) {
    auto connection = client.connection.lock();
    if (connection && connection->IsOpen() && !connection->HasSpoken() && !connection->HasInputWaiting())
      return connection;
  }
  return nullptr;
}

ServerEndpoint::Clock::time_point ServerEndpoint::CloseSilent(Clock::time_point now) {
  std::vector<std::shared_ptr<Connection>> silent;
  auto next = Clock::time_point::max();
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_clients, [](const Client& client) { return !StillOpen(client.connection); });
    for (const Client& client : m_clients) {
      auto connection = client.connection.lock();
      if (!connection || connection->HasSpoken()) continue;
      const auto deadline = client.acceptedAt + m_limits.firstFrameTime;
      if (deadline <= now)
        silent.push_back(std::move(connection));
      else
        next = std::min(next, deadline);
    }
  }
  for (auto& connection : silent) connection->Close();
  return next;
}

std::shared_ptr<Connection> ServeClient(int fd, IClassFactoryHost& host, ConnectionOptions options) {
  auto session = std::make_shared<ServerSession>(host);
  // The engine's threads call the client's sinks far more often than the
  // client calls in: they read their sinks' answers themselves.
  options.callerReadsReply = true;
  if (options.parkAfter.count() == 0) options.parkAfter = kParkAfter;
  // The client's first call may arrive at once: the factory and the close
  // hook are in place before the connection starts reading.
  return Connection::Start(fd, wire::Side::Server, options, [&session](Connection& connection) {
    connection.objects().SetFactory(std::make_shared<CClassFactoryStub>(session));
    // Whatever the client held goes back the moment its connection ends.
    connection.AddCloseHook([session] { session->Close(); });
  });
}

void ServerEndpoint::Admit(int fd) {
  std::shared_ptr<Connection> evicted;
  {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_clients, [](const Client& client) { return !StillOpen(client.connection); });
    if (m_clients.size() >= m_limits.maxConnections) {
      evicted = OldestSilentLocked();
      if (!evicted) {
        ::close(fd);
        return;
      }
    }
  }
  if (evicted) evicted->Close();
  auto connection = ServeClient(fd, m_host, m_options);
  std::lock_guard lock(m_mutex);
  m_clients.push_back({connection, Clock::now()});
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
  return std::any_of(m_clients.begin(), m_clients.end(),
                     [](const Client& client) { return StillOpen(client.connection); });
}

void ServerEndpoint::CloseAll() {
  std::vector<std::shared_ptr<Connection>> open;
  {
    std::lock_guard lock(m_mutex);
    for (auto& client : m_clients)
      if (auto connection = client.connection.lock()) open.push_back(std::move(connection));
    m_clients.clear();
  }
  for (auto& connection : open) connection->Close();
  for (auto& connection : open) connection->JoinThreads();
  // With no client left to watch, the poller's thread ends too.
  Poller::Shared().Join();
}

}  // namespace ps
