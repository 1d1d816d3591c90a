#pragma once

#include <cstdint>
#include <span>

#include <sys/types.h>

namespace ps {

// Sends `bytes` as one message over a connected Unix socket with one
// descriptor attached (SCM_RIGHTS); the peer gets a duplicate of `fd`. A
// message goes whole or not at all: false when the socket refused it.
bool SendMessageWithFd(int socket, std::span<const std::uint8_t> bytes, int fd);

// The most descriptors ReceiveMessageWithFd makes room for.
inline constexpr std::size_t kMaxReceivedFds = 8;

// Receives one message into `buffer` (recvmsg with `flags`), with room for
// `room` descriptors (1 to kMaxReceivedFds). The first descriptor that came
// with it is put in `fd` (close-on-exec), else `fd` is -1; the others are
// closed, and all of them when more came than there was room for (the
// kernel cut them short): a peer cannot leave descriptors behind in this
// process. Returns what recvmsg returned.
ssize_t ReceiveMessageWithFd(int socket, std::span<std::uint8_t> buffer, int flags, std::size_t room, int& fd);

}  // namespace ps
