#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <span>
#include <vector>

#include "proxystub/wire_codec.h"

namespace ps {

// One connected socket as a stream of whole frames: sending under one lock,
// and the receive buffer with the decoding of what comes in. Frames are
// received by one thread at a time (whoever holds the connection's reading
// role); any thread may send.
//
// On a message socket a frame may carry one file descriptor. Descriptors
// are taken off the socket only once AcceptFds was called; before that the
// kernel closes whatever a peer sends along, as it does for any message
// read without room for it.
class FrameChannel {
 public:
  enum class Received {
    Frame,   // a whole, valid frame
    Broken,  // the peer is gone or broke the protocol
    Waited,  // the receive wake-up step passed without a frame
  };

  // Takes ownership of the connected socket `fd`.
  explicit FrameChannel(int fd);
  ~FrameChannel();
  FrameChannel(const FrameChannel&) = delete;
  FrameChannel& operator=(const FrameChannel&) = delete;

  int fd() const { return m_fd; }
  // A sender waits at most `sendLimit` for room; a blocked receive returns
  // Waited every `wakeStep` (zero: it blocks until something comes).
  void SetLimits(std::chrono::milliseconds sendLimit, std::chrono::milliseconds wakeStep);
  // Keeps the time of the last input for LastInputAt (costs a clock read
  // per receive, so only where somebody looks).
  void TrackInput() { m_trackInput = true; }

  // Sends one frame whole; false when the socket broke or stayed full for
  // the send limit. SendWithFd passes a duplicate of `fd` along with it.
  bool Send(std::span<const std::uint8_t> frame);
  bool SendWithFd(std::span<const std::uint8_t> frame, int fd);

  // The next frame: from the buffer, or received. `frame` (header and
  // payload) stays valid until the next call.
  Received Next(wire::FrameHeader& header, std::span<const std::uint8_t>& frame);
  // Whether frames already received wait in the buffer.
  bool HasBuffered() const { return m_inStart != m_inEnd; }
  // Whether something from the peer waits in the socket.
  bool HasInputWaiting() const;
  // Gives the receive buffer back while the connection is quiet.
  void ReleaseIdleBuffer();
  std::chrono::steady_clock::time_point LastInputAt() const { return m_lastInputAt; }
  void StampInput() { m_lastInputAt = std::chrono::steady_clock::now(); }

  // Whether frames here can carry a descriptor (a message socket).
  bool CarriesFds() const { return m_messages; }
  // From now on descriptors sent along with frames are received (message
  // sockets only; elsewhere they stay refused).
  void AcceptFds();
  // Whether the frame Next returned last came with a descriptor.
  bool HasFd() const { return m_receivedFd >= 0; }
  // The descriptor of that frame, now the caller's; -1 when none.
  int TakeFd();

  // Ends both directions; blocked receives and sends return.
  void Shutdown();

 private:
  ssize_t ReceiveWithFd(std::size_t room);

  const int m_fd;
  const bool m_messages;  // a message socket: each receive takes one frame whole
  std::atomic<bool> m_acceptFds{false};
  bool m_trackInput = false;

  std::mutex m_sendMutex;

  // Receiving state, owned by whichever thread holds the reading role.
  std::vector<std::uint8_t> m_in;
  std::size_t m_inStart = 0;
  std::size_t m_inEnd = 0;
  std::chrono::steady_clock::time_point m_lastInputAt;
  int m_receivedFd = -1;
};

}  // namespace ps
