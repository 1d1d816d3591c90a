#include "tests/support/raw_responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// Waits until `socket` is readable or the stop pipe is; false on stop.
bool WaitReadable(int socket, int stopFd) {
  pollfd fds[2] = {{socket, POLLIN, 0}, {stopFd, POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return (fds[1].revents & POLLIN) == 0;
}

RecordedRequest ParseHead(const std::string& head, int clientPort) {
  RecordedRequest request;
  request.clientPort = clientPort;
  std::size_t lineEnd = head.find("\r\n");
  const std::string first = head.substr(0, lineEnd);
  const std::size_t space1 = first.find(' ');
  const std::size_t space2 = first.rfind(' ');
  if (space1 != std::string::npos && space2 > space1) {
    request.method = first.substr(0, space1);
    request.target = first.substr(space1 + 1, space2 - space1 - 1);
    request.version = first.substr(space2 + 1);
  }
  while (lineEnd != std::string::npos) {
    const std::size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
    const std::size_t colon = line.find(':');
    if (line.empty() || colon == std::string::npos) continue;
    std::size_t valueStart = colon + 1;
    while (valueStart < line.size() && line[valueStart] == ' ') ++valueStart;
    request.headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
  }
  return request;
}

}  // namespace

RawResponder::RawResponder(Respond respond) : m_respond(std::move(respond)) {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 64) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(m_stopPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("raw responder: cannot listen on 127.0.0.1");
  m_port = ntohs(address.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

RawResponder::~RawResponder() {
  const char stop = 's';
  (void)!::write(m_stopPipe[1], &stop, 1);
  m_acceptor.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(m_lock);
    connections.swap(m_connections);
  }
  for (std::thread& connection : connections) connection.join();
  ::close(m_listener);
  ::close(m_stopPipe[0]);
  ::close(m_stopPipe[1]);
}

void RawResponder::AcceptLoop() {
  while (WaitReadable(m_listener, m_stopPipe[0])) {
    const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    std::lock_guard lock(m_lock);
    m_connections.emplace_back([this, socket] { Serve(socket); });
  }
}

void RawResponder::Serve(int socket) {
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength);

  std::string received;
  char buffer[4096];
  std::string overrun;  // left by the previous answer on this connection
  Answer answer;
  for (;;) {
    std::size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos && received.size() < 65536) {
      if (!WaitReadable(socket, m_stopPipe[0])) break;
      const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received.append(buffer, static_cast<std::size_t>(got));
    }
    if (headEnd == std::string::npos) break;
    answer = m_respond(ParseHead(received.substr(0, headEnd + 4), ntohs(peer.sin_port)));
    received.erase(0, headEnd + 4);
    const std::string bytes = overrun + answer.bytes;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t wrote = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (wrote <= 0) break;
      sent += static_cast<std::size_t>(wrote);
    }
    if (!answer.keepAlive) break;
    overrun = answer.overrun;
  }
  // Holding: wait for the client to close (or send more, which is read
  // and dropped) or for the responder to stop.
  while (answer.hold && WaitReadable(socket, m_stopPipe[0])) {
    if (::recv(socket, buffer, sizeof buffer, 0) <= 0) break;
  }
  if (answer.reset) {
    // Closing with a zero linger time sends a reset instead of an orderly end.
    const linger abort{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  ::close(socket);
}
