#include "tests/support/fd_passing.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "proxystub/fd_message.h"

namespace {

// Room for a few descriptors, so that a peer that sends more than one is
// seen doing it (and its extras closed) rather than cut silently.
constexpr std::size_t kMaxDescriptors = 8;

}  // namespace

bool SendWithFd(int socket, std::span<const std::uint8_t> bytes, int fd) {
  return !bytes.empty() && fd >= 0 && ps::SendMessageWithFd(socket, bytes, fd);
}

ssize_t ReceiveWithFd(int socket, std::span<std::uint8_t> buffer, int& fd) {
  fd = -1;
  iovec part{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptors)];
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t received;
  do {
    received = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (received < 0 && errno == EINTR);
  if (received < 0) return received;
  const bool cut = (message.msg_flags & MSG_CTRUNC) != 0;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int descriptor;
      std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof descriptor);
      if (fd < 0 && !cut) fd = descriptor;
      else ::close(descriptor);
    }
  }
  return received;
}
