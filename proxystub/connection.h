#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "contract/hresult.h"
#include "proxystub/connection_options.h"
#include "proxystub/frame_channel.h"
#include "proxystub/object_table.h"
#include "proxystub/pending_calls.h"
#include "proxystub/reader_schedule.h"
#include "proxystub/wire_codec.h"

namespace ps {

// One socket to one peer process, in three parts tied together here: the
// frame channel (the socket, sending, the receive buffer and decoding), the
// pending calls (replies matched to waiting callers by call id) and the
// reader schedule (which thread reads, which threads run incoming calls).
// This front routes what is read (replies to the pending calls, calls to
// the objects' stubs, releases to the object table) and closes it all at
// once.
class Connection final : public std::enable_shared_from_this<Connection>, private ReadingHost {
 public:
  // Takes ownership of the connected socket `fd` and starts serving it;
  // `prepare` runs before any thread reads from it.
  static std::shared_ptr<Connection> Start(int fd, wire::Side side, ConnectionOptions options = {},
                                           const std::function<void(Connection&)>& prepare = {});
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  wire::Side side() const { return m_side; }
  bool IsOpen() const { return !m_closed.load(); }
  // Whether a valid frame came from the peer.
  bool HasSpoken() const { return m_spoken.load(std::memory_order_relaxed); }
  // Whether something from the peer waits to be read.
  bool HasInputWaiting() const { return m_channel.HasInputWaiting(); }
  const ConnectionOptions& options() const { return m_options; }
  ObjectTable& objects() { return m_objects; }

  // Exports an object with one remote reference; its id goes to the peer.
  std::uint32_t Export(std::shared_ptr<Stub> stub) { return m_objects.Export(std::move(stub)); }

  // Proxies count themselves here. A client connection closes itself once
  // it has neither proxies nor exported objects left. TryAddProxy fails on
  // a connection that is closed or closing.
  bool TryAddProxy();
  // Sends the release of the peer's object `objectId` (when still open).
  void RemoveProxy(std::uint32_t objectId);

  // Sends one call and registers `slot` for its reply. The frame must have
  // been built by BeginCall into the calling thread's buffer.
  wire::FrameBuilder& BeginCall(std::uint32_t objectId, wire::Method method, ReplySlot& slot);
  bool SendCall(ReplySlot& slot);
  // The same, passing a duplicate of `fd` along with the call (a message
  // socket only; false elsewhere, and nothing is sent).
  bool SendCallWithFd(ReplySlot& slot, int fd);
  // Waits for the reply of a sent call, at most the call time limit.
  HRESULT WaitReply(ReplySlot& slot);
  // Forgets a sent call whose reply will not be awaited.
  void AbandonReply(ReplySlot& slot);

  // A descriptor that came along with a frame, handed over (to own) on the
  // reading thread before the frame itself is handled.
  using FdReceiver = std::function<void(const wire::FrameHeader& frame, int fd)>;
  // From now on descriptors the peer sends go to `receiver`; before, and
  // without one, they are closed unread.
  void SetFdReceiver(FdReceiver receiver);
  // Keeps a descriptor that came with a call for the stub that runs that
  // call (TakeCallFd); one it leaves is closed once the call has run. Any
  // other descriptor is closed at once.
  void KeepCallFd(const wire::FrameHeader& frame, int fd);
  // The descriptor kept for the call this thread runs now; -1 when none.
  int TakeCallFd();

  // Runs `hook` once when the connection closes (at once when it already is).
  void AddCloseHook(std::function<void()> hook);
  // Closes the socket, fails every waiting call, drops every exported object
  // and runs the close hooks. Any thread may call it, more than once.
  void Close() override;
  // Waits until every service thread has ended; not from a service thread.
  void JoinThreads() { m_schedule.JoinThreads(); }

 private:
  Connection(int fd, wire::Side side, ConnectionOptions options);

  // ReadingHost: what the reader schedule's threads do with the socket.
  ReadOutcome ReadFrames(std::vector<std::uint8_t>& call, ReplySlot* awaited,
                         std::chrono::steady_clock::time_point deadline) override;
  void RunCall(const std::vector<std::uint8_t>& frame) override;
  std::shared_ptr<void> Hold() override { return shared_from_this(); }

  bool SendCallFrame(ReplySlot& slot, int fd);
  bool Send(std::span<const std::uint8_t> frame, int fd = -1);
  void ReceiveFd(const wire::FrameHeader& header);
  bool HandleRelease(const wire::FrameHeader& header);
  void CloseIfIdle();

  const wire::Side m_side;
  const ConnectionOptions m_options;
  std::atomic<bool> m_closed{false};
  std::atomic<bool> m_spoken{false};
  std::atomic<std::uint32_t> m_nextCallId{1};
  ObjectTable m_objects;
  FrameChannel m_channel;
  PendingCalls m_pending;
  ReaderSchedule m_schedule{*this, m_channel, m_options};

  // Whether the connection is closed, and what hangs on that.
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_closeHooks;
  unsigned m_proxies = 0;
  FdReceiver m_fdReceiver;
  std::vector<std::pair<std::uint32_t, int>> m_callFds;  // call id, descriptor
};

// A call in one go: build with args(), then Invoke(); the out-fields are
// read with outs() afterwards.
class OutgoingCall {
 public:
  OutgoingCall(Connection& connection, std::uint32_t objectId, wire::Method method)
      : m_connection(connection), m_builder(&connection.BeginCall(objectId, method, m_slot)) {}
  wire::FrameBuilder& args() { return *m_builder; }
  HRESULT Invoke() {
    if (!m_connection.SendCall(m_slot)) return RPC_E_DISCONNECTED;
    return m_connection.WaitReply(m_slot);
  }
  wire::PayloadReader outs() const { return wire::PayloadReader({m_slot.outs.data(), m_slot.outs.size()}); }

 private:
  Connection& m_connection;
  ReplySlot m_slot;
  wire::FrameBuilder* m_builder;
};

}  // namespace ps
