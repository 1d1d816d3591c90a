#include "proxystub/frame_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "proxystub/fd_message.h"

namespace ps {

namespace {

bool IsMessageSocket(int fd) {
  int type = 0;
  socklen_t size = sizeof type;
  return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_SEQPACKET;
}

timeval TimeLimit(std::chrono::milliseconds limit) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(limit.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
  return value;
}

}  // namespace

FrameChannel::FrameChannel(int fd) : m_fd(fd), m_messages(IsMessageSocket(fd)) {}

FrameChannel::~FrameChannel() {
  if (m_receivedFd >= 0) ::close(m_receivedFd);
  ::close(m_fd);
}

void FrameChannel::SetLimits(std::chrono::milliseconds sendLimit, std::chrono::milliseconds wakeStep) {
  // A peer that stops reading must not hold a sender for ever.
  const timeval limit = TimeLimit(sendLimit);
  ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  // Every frame goes as one message: the largest must fit the send buffer.
  const int sendBuffer = static_cast<int>(wire::kMaxFrameBytes + 4096);
  ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  if (wakeStep.count() > 0) {
    const timeval wake = TimeLimit(wakeStep);
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
  }
}

bool FrameChannel::Send(std::span<const std::uint8_t> frame) {
  std::lock_guard lock(m_sendMutex);
  std::size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t wrote = ::send(m_fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      sent += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      // Broken, or no room for a whole time limit: the peer is gone.
      return false;
    }
  }
  return true;
}

bool FrameChannel::SendWithFd(std::span<const std::uint8_t> frame, int fd) {
  // A stream socket has no frame for the descriptor to go with.
  if (!m_messages || fd < 0) return false;
  std::lock_guard lock(m_sendMutex);
  return SendMessageWithFd(m_fd, frame, fd);
}

FrameChannel::Received FrameChannel::Next(wire::FrameHeader& header, std::span<const std::uint8_t>& frame) {
  for (;;) {
    const std::span<const std::uint8_t> buffered(m_in.data() + m_inStart, m_inEnd - m_inStart);
    const wire::DecodeResult result = wire::DecodeFrame(buffered, header);
    if (result == wire::DecodeResult::Invalid) return Received::Broken;
    if (result == wire::DecodeResult::Valid) {
      const std::size_t size = wire::FrameSize(header);
      frame = buffered.first(size);
      m_inStart += size;
      return Received::Frame;
    }
    // Need more: make room for the rest of the frame, then read.
    // Each message is taken whole, so there is always room for the largest.
    if (m_inStart == m_inEnd) m_inStart = m_inEnd = 0;
    if (m_in.size() - m_inEnd < wire::kMaxFrameBytes) {
      // An emptied buffer (freed while the connection was quiet) has no
      // data pointer, and there is nothing to move.
      if (m_inEnd > m_inStart) std::memmove(m_in.data(), m_in.data() + m_inStart, m_inEnd - m_inStart);
      m_inEnd -= m_inStart;
      m_inStart = 0;
      if (m_in.size() - m_inEnd < wire::kMaxFrameBytes) m_in.resize(m_inEnd + wire::kMaxFrameBytes);
    }
    const std::size_t room = m_in.size() - m_inEnd;
    const ssize_t got = m_acceptFds.load(std::memory_order_relaxed)
                            ? ReceiveWithFd(room)
                            : ::recv(m_fd, m_in.data() + m_inEnd, room, m_messages ? MSG_TRUNC : 0);
    if (got > 0) {
      // A message longer than any frame was cut: the peer broke the protocol.
      if (static_cast<std::size_t>(got) > room) return Received::Broken;
      m_inEnd += static_cast<std::size_t>(got);
      if (m_trackInput) m_lastInputAt = std::chrono::steady_clock::now();
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return Received::Waited;
    } else {
      return Received::Broken;
    }
  }
}

ssize_t FrameChannel::ReceiveWithFd(std::size_t room) {
  // Room for one descriptor: a frame that came with more keeps none, as it
  // broke the one-descriptor rule.
  int fd = -1;
  const ssize_t got = ReceiveMessageWithFd(m_fd, {m_in.data() + m_inEnd, room}, MSG_TRUNC, 1, fd);
  if (fd >= 0) {
    // The frame before it never took its descriptor: it is not wanted.
    if (m_receivedFd >= 0) ::close(m_receivedFd);
    m_receivedFd = fd;
  }
  return got;
}

int FrameChannel::TakeFd() { return std::exchange(m_receivedFd, -1); }

void FrameChannel::AcceptFds() {
  if (m_messages) m_acceptFds.store(true, std::memory_order_relaxed);
}

bool FrameChannel::HasInputWaiting() const {
  pollfd input{m_fd, POLLIN, 0};
  return ::poll(&input, 1, 0) == 1 && (input.revents & POLLIN);
}

void FrameChannel::ReleaseIdleBuffer() {
  if (m_inStart != m_inEnd) return;
  std::vector<std::uint8_t>().swap(m_in);
  m_inStart = m_inEnd = 0;
}

void FrameChannel::Shutdown() { ::shutdown(m_fd, SHUT_RDWR); }

}  // namespace ps
