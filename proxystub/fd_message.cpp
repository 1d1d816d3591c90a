#include "proxystub/fd_message.h"

#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ps {

bool SendMessageWithFd(int socket, std::span<const std::uint8_t> bytes, int fd) {
  iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* rights = CMSG_FIRSTHDR(&message);
  rights->cmsg_level = SOL_SOCKET;
  rights->cmsg_type = SCM_RIGHTS;
  rights->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(rights), &fd, sizeof fd);
  for (;;) {
    const ssize_t wrote = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    if (wrote == static_cast<ssize_t>(bytes.size())) return true;
    if (wrote < 0 && errno == EINTR) continue;
    return false;
  }
}

ssize_t ReceiveMessageWithFd(int socket, std::span<std::uint8_t> buffer, int flags, std::size_t room, int& fd) {
  fd = -1;
  iovec part{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxReceivedFds)];
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = CMSG_SPACE(sizeof(int) * std::clamp<std::size_t>(room, 1, kMaxReceivedFds));
  const ssize_t got = ::recvmsg(socket, &message, flags | MSG_CMSG_CLOEXEC);
  if (got < 0) return got;
  const bool cut = (message.msg_flags & MSG_CTRUNC) != 0;
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int descriptor;
      std::memcpy(&descriptor, CMSG_DATA(item) + i * sizeof(int), sizeof descriptor);
      if (fd < 0 && !cut)
        fd = descriptor;
      else
        ::close(descriptor);
    }
  }
  return got;
}

}  // namespace ps
