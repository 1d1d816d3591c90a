#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "contract/identities.h"
#include "proxystub/wire_codec.h"

// A peer that speaks the wire by hand, for feeding a server what a proxy
// would never send.
class RawPeer {
 public:
  explicit RawPeer(int fd) : m_fd(fd) {}
  ~RawPeer() {
    if (m_fd >= 0) ::close(m_fd);
  }
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  bool valid() const { return m_fd >= 0; }
  int fd() const { return m_fd; }
  bool Send(const void* bytes, std::size_t size) {
    return ::send(m_fd, bytes, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
  }
  bool Send(std::span<const std::uint8_t> frame) { return Send(frame.data(), frame.size()); }

  // The next reply's payload (HRESULT first); none when the server closed
  // the connection or said nothing within `limit`. `closed` tells which.
  std::optional<std::vector<std::uint8_t>> Reply(bool& closed,
                                                  std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    closed = false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      wire::FrameHeader header;
      if (wire::DecodeFrame(m_in, header) == wire::DecodeResult::Valid) {
        std::vector<std::uint8_t> payload(m_in.begin() + wire::kHeaderBytes, m_in.begin() + wire::FrameSize(header));
        m_in.erase(m_in.begin(), m_in.begin() + wire::FrameSize(header));
        if (header.kind == wire::FrameKind::Reply) return payload;
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd fd{m_fd, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      // Room for any frame: a message socket drops what does not fit.
      std::vector<std::uint8_t> chunk(wire::kMaxFrameBytes);
      const ssize_t got = ::recv(m_fd, chunk.data(), chunk.size(), 0);
      if (got <= 0) {
        closed = true;
        return std::nullopt;
      }
      m_in.insert(m_in.end(), chunk.begin(), chunk.begin() + got);
    }
  }

  // True when the server closed the connection within `limit`.
  bool ClosedByPeer(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    bool closed = false;
    while (Reply(closed, limit)) {
    }
    return closed;
  }

  static HRESULT ResultOf(const std::vector<std::uint8_t>& payload) {
    std::uint32_t hr = 0;
    if (payload.size() >= 4) std::memcpy(&hr, payload.data(), 4);
    return static_cast<HRESULT>(hr);
  }

 private:
  int m_fd;
  std::vector<std::uint8_t> m_in;
};

// A call frame built with the wire's own builder.
template <class Fields>
std::vector<std::uint8_t> CallFrame(std::uint32_t callId, std::uint32_t objectId, std::uint32_t method, Fields fields) {
  std::vector<std::uint8_t> frame;
  wire::FrameBuilder builder(frame);
  builder.Begin(wire::FrameKind::Call, callId, objectId, method);
  fields(builder);
  builder.Finish();
  return frame;
}

// Calls `method` on `objectId` and returns the reply's first out-number
// (an object id, a cookie); 0 when the call failed.
template <class Fields>
std::uint32_t RawCall(RawPeer& peer, std::uint32_t callId, std::uint32_t objectId, wire::Method method,
                      Fields fields) {
  peer.Send(CallFrame(callId, objectId, static_cast<std::uint32_t>(method), fields));
  bool closed = false;
  const auto reply = peer.Reply(closed);
  if (!reply || reply->size() != 8 || RawPeer::ResultOf(*reply) != S_OK) return 0;
  std::uint32_t number = 0;
  std::memcpy(&number, reply->data() + 4, 4);
  return number;
}

// Creates the engine over a raw connection; its object id.
inline std::uint32_t RawCreateEngine(RawPeer& peer) {
  return RawCall(peer, 1, wire::kFactoryObjectId, wire::Method::CreateInstance,
                 [](wire::FrameBuilder& b) { b.GuidField(IID_IDownloadEngine); });
}

// Advises a sink (object 1 of the peer) that never answers unless the
// test reads and replies; the cookie.
inline std::uint32_t RawAdviseSink(RawPeer& peer) {
  const std::uint32_t engine = RawCreateEngine(peer);
  if (!engine) return 0;
  const std::uint32_t point = RawCall(peer, 2, engine, wire::Method::FindConnectionPoint,
                                      [](wire::FrameBuilder& b) { b.GuidField(IID_ICallbackItf); });
  if (!point) return 0;
  return RawCall(peer, 3, point, wire::Method::Advise, [](wire::FrameBuilder& b) { b.Object(1); });
}
