#include "tests/support/fd_passing.h"

#include <cerrno>

#include "proxystub/fd_message.h"

bool SendWithFd(int socket, std::span<const std::uint8_t> bytes, int fd) {
  return !bytes.empty() && fd >= 0 && ps::SendMessageWithFd(socket, bytes, fd);
}

ssize_t ReceiveWithFd(int socket, std::span<std::uint8_t> buffer, int& fd) {
  // Room for several descriptors, so that a peer that sends more than one
  // is seen doing it (and its extras closed) rather than cut silently.
  ssize_t received;
  do {
    received = ps::ReceiveMessageWithFd(socket, buffer, 0, ps::kMaxReceivedFds, fd);
  } while (received < 0 && errno == EINTR);
  return received;
}
