#include "manager/app/single_window.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "proxystub/endpoint.h"

namespace queuebay {

namespace {

using Clock = std::chrono::steady_clock;

std::string LockPath() { return ps::endpoint::Folder() + "/queuebay.lock"; }

// The addresses a listener takes, as lines, up to the request's limits,
// and the empty line that ends them.
std::string Request(const std::vector<std::string>& addresses) {
  std::string request;
  std::size_t lines = 0;
  for (const std::string& address : addresses) {
    if (!SingleWindow::AcceptableLine(address)) continue;
    if (lines == SingleWindow::kMaxLines || request.size() + address.size() + 2 > SingleWindow::kMaxRequestBytes)
      break;
    request += address;
    request += '\n';
    ++lines;
  }
  return request + '\n';
}

// Waits for `events` on `fd` until `deadline`; false when it passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool SendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count > 0) {
      sent += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && errno == EAGAIN) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ReceiveOk(int fd, Clock::time_point deadline) {
  std::string answer;
  for (;;) {
    char chunk[16];
    const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
    if (count > 0) {
      answer.append(chunk, static_cast<std::size_t>(count));
      if (answer.find('\n') != std::string::npos) return answer == "ok\n";
      if (answer.size() > sizeof chunk) return false;
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count < 0 && errno == EAGAIN) {
      if (!WaitFor(fd, POLLIN, deadline)) return false;
    } else {
      return false;  // closed without an answer
    }
  }
}

// Gives `request` to whoever listens at `path`; true when it answered "ok".
bool HandOver(const std::string& path, const std::string& request, std::chrono::milliseconds wait) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const Clock::time_point deadline = Clock::now() + wait;
  // A listener whose backlog is full must not hold this start in connect.
  const long waitUs = std::max<long>(static_cast<long>(wait.count()) * 1000, 1000);
  const timeval limit{waitUs / 1000000, waitUs % 1000000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const bool confirmed = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                         ps::endpoint::PeerIsSameUser(fd) && ::fcntl(fd, F_SETFL, O_NONBLOCK) == 0 &&
                         SendAll(fd, request, deadline) && ReceiveOk(fd, deadline);
  ::close(fd);
  return confirmed;
}

// One incoming hand-over, read as it arrives and never waited for: its
// lines within the limits, then "ok" and `done` with the addresses. Lives
// as the socket's child.
class Incoming final : public QObject {
 public:
  using Done = std::function<void(std::vector<std::string>)>;

  Incoming(QLocalSocket* socket, Done done) : QObject(socket), m_socket(socket), m_done(std::move(done)) {
    // Qt would otherwise buffer whatever a peer sends, however much.
    socket->setReadBufferSize(64 * 1024);
    connect(socket, &QLocalSocket::readyRead, this, &Incoming::Read);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &Incoming::Refuse);
    m_limit.start(SingleWindow::kReceiveLimit);
    Read();
  }

 private:
  void Read() {
    while (!m_ended && m_socket->bytesAvailable() > 0) {
      const QByteArray chunk = m_socket->read(64 * 1024);
      m_received += static_cast<std::size_t>(chunk.size());
      if (m_received > SingleWindow::kMaxRequestBytes) return Refuse();
      qsizetype start = 0;
      for (qsizetype end; !m_ended && (end = chunk.indexOf('\n', start)) >= 0; start = end + 1)
        TakeLine(chunk.sliced(start, end - start));
      if (m_ended) return;
      // An unfinished line is kept only while it may still be taken.
      if (!m_skipping) m_partial += chunk.sliced(start);
      if (m_partial.size() > static_cast<qsizetype>(SingleWindow::kMaxLineBytes)) {
        m_partial.clear();
        m_skipping = true;
      }
    }
  }

  void TakeLine(const QByteArray& end) {
    const QByteArray line = std::exchange(m_partial, {}) + end;
    if (line.isEmpty() && !m_skipping) return Finish();
    if (++m_lines > SingleWindow::kMaxLines) return Refuse();
    if (!std::exchange(m_skipping, false) && SingleWindow::AcceptableLine(line.toStdString()))
      m_addresses.push_back(line.toStdString());
  }

  void Finish() {
    m_ended = true;
    m_limit.stop();
    m_socket->write("ok\n", 3);
    m_socket->disconnectFromServer();
    m_done(std::move(m_addresses));
  }

  void Refuse() {
    m_ended = true;
    m_limit.stop();
    m_socket->abort();
  }

  QLocalSocket* const m_socket;
  const Done m_done;
  QTimer m_limit;
  QByteArray m_partial;     // the line being received
  bool m_skipping = false;  // through the end of a line already too long
  bool m_ended = false;
  std::size_t m_received = 0;
  std::size_t m_lines = 0;
  std::vector<std::string> m_addresses;
};

}  // namespace

std::string SingleWindow::SocketPath() { return ps::endpoint::Folder() + "/queuebay.sock"; }

SingleWindow::SingleWindow(QObject* parent) : QObject(parent) {}

SingleWindow::~SingleWindow() {
  if (!m_server) return;
  // A Queuebay that took this one for hung has put its own socket in this
  // one's place; closing the server removes whatever has the name, so
  // that one is set aside meanwhile.
  ps::endpoint::FileLock lock(m_lockPath, std::chrono::seconds(1));
  struct stat info {};
  const bool replaced = ::lstat(m_socketPath.c_str(), &info) == 0 &&
                        (info.st_dev != m_socketDevice || info.st_ino != m_socketInode);
  const std::string aside = m_socketPath + ".aside";
  const bool setAside = replaced && ::rename(m_socketPath.c_str(), aside.c_str()) == 0;
  m_server->close();
  if (setAside) ::rename(aside.c_str(), m_socketPath.c_str());
}

bool SingleWindow::AcceptableLine(const std::string& line) {
  if (line.empty() || line.size() > kMaxLineBytes) return false;
  for (const char c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

bool SingleWindow::HandOverOrListen(const std::vector<std::string>& addresses, std::chrono::milliseconds wait) {
  if (Listening()) return false;
  // Without a private folder there is nowhere safe to meet: this one runs
  // alone.
  if (!ps::endpoint::PrepareFolder()) return false;
  // Two starts at one moment must not both find nobody and both listen. A
  // holder takes at most about `wait`; past that it is hung and ignored.
  const ps::endpoint::FileLock lock(LockPath(), 2 * wait + std::chrono::seconds(1));
  if (HandOver(SocketPath(), Request(addresses), wait)) return true;
  Listen();
  return false;
}

void SingleWindow::Listen() {
  m_socketPath = SocketPath();
  m_lockPath = LockPath();
  const QString path = QString::fromStdString(m_socketPath);
  // Nothing answered there: the file is left from a Queuebay that ended
  // without removing it, or from one that hangs.
  QLocalServer::removeServer(path);
  auto* server = new QLocalServer(this);
  connect(server, &QLocalServer::newConnection, this, &SingleWindow::Accept);
  if (!server->listen(path)) {
    delete server;
    return;
  }
  m_server = server;
  struct stat info {};
  if (::lstat(m_socketPath.c_str(), &info) == 0) {
    m_socketDevice = info.st_dev;
    m_socketInode = info.st_ino;
  }
}

void SingleWindow::Accept() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!ps::endpoint::PeerIsSameUser(static_cast<int>(socket->socketDescriptor()))) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    // The handler runs from the event loop, not inside the socket's
    // signal: it may open a box and wait for the user.
    new Incoming(socket, [this](std::vector<std::string> addresses) {
      QMetaObject::invokeMethod(
          this, [this, addresses = std::move(addresses)] { Deliver(addresses); }, Qt::QueuedConnection);
    });
  }
}

void SingleWindow::Deliver(std::vector<std::string> addresses) {
  if (m_handler)
    m_handler(addresses);
  else
    m_waiting.push_back(std::move(addresses));
}

void SingleWindow::SetHandler(AddressesHandler handler) {
  m_handler = std::move(handler);
  for (const std::vector<std::string>& addresses : std::exchange(m_waiting, {}))
    if (m_handler) m_handler(addresses);
}

bool SingleWindow::Listening() const { return m_server && m_server->isListening(); }

}  // namespace queuebay
