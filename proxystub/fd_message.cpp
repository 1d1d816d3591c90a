#include "proxystub/fd_message.h"

#include <sys/socket.h>

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

}  // namespace ps
