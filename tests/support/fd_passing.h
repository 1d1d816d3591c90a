#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>

// One descriptor carried with one message over a connected Unix socket
// (SCM_RIGHTS), for handing a shared memory file to a peer process that is
// not a connection of the interface library (which passes its own).

// Sends `bytes` (at least one byte: a descriptor never travels alone) as
// one message with `fd` attached. False when the socket refused it.
bool SendWithFd(int socket, std::span<const std::uint8_t> bytes, int fd);

// Receives one message into `buffer`. A descriptor that came with it is put
// in `fd` (close-on-exec), else `fd` is -1; any further descriptors, and
// all of them when the kernel had to cut them short, are closed: a peer
// cannot leave descriptors behind in this process. Returns the bytes
// received, 0 at the end of the stream, -1 on error (errno).
ssize_t ReceiveWithFd(int socket, std::span<std::uint8_t> buffer, int& fd);
