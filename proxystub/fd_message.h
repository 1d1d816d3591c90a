#pragma once

#include <cstdint>
#include <span>

namespace ps {

// Sends `bytes` as one message over a connected Unix socket with one
// descriptor attached (SCM_RIGHTS); the peer gets a duplicate of `fd`. A
// message goes whole or not at all: false when the socket refused it.
bool SendMessageWithFd(int socket, std::span<const std::uint8_t> bytes, int fd);

}  // namespace ps
