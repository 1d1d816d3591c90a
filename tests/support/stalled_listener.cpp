#include "tests/support/stalled_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

StalledListener::StalledListener() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // A backlog of 0 lets exactly one connection wait; the filler takes it.
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 0) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("stalled listener: cannot listen on 127.0.0.1");
  m_port = ntohs(address.sin_port);
  m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_filler < 0 || ::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("stalled listener: cannot fill the queue");
}

StalledListener::~StalledListener() {
  ::close(m_filler);
  ::close(m_listener);
}
