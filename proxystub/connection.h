#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "contract/hresult.h"
#include "proxystub/object_table.h"
#include "proxystub/wire_codec.h"

namespace ps {

struct ConnectionOptions {
  // How long an outgoing call waits for its reply (and a frame for room in
  // the socket) before the peer counts as gone for that call.
  std::chrono::milliseconds callTimeout{120000};
  // Incoming calls served at once; more wait in a queue.
  unsigned maxServiceThreads = 16;
  // The thread that reads a call runs it itself; only a call that runs
  // longer than this (or waits for a reply) passes reading to another
  // thread, so a fast call costs no wake-up and no switch.
  std::chrono::microseconds inlineCallLimit{2000};
  // The thread that waits for a reply reads the socket itself when no
  // other thread is reading, so the reply wakes the caller directly instead
  // of a reader that must then wake the caller. The service threads stay
  // out of the callers' way while they keep calling and take reading back
  // after a quiet spell. Worth it where calls go out far more often than
  // they come in: the engine's status events to its sinks.
  bool callerReadsReply = false;
  // A connection whose reading thread sees no frame for this long hands its
  // socket to the process's poller, and its idle threads end: a quiet peer
  // then costs no thread at all, and the next frame calls a thread back.
  // Such a connection also starts out that way, so a peer that never speaks
  // never gets a thread. Zero: a thread always reads (a client's one
  // connection to its engine).
  std::chrono::milliseconds parkAfter{0};
};

struct ReplySlot;

// One socket to one peer process. Frames are read by one thread at a time:
// a service thread, or (with callerReadsReply) a caller waiting for its
// reply, who queues the calls it reads for the service threads; while the
// peer is quiet (parkAfter) no thread reads and the process's poller
// watches the socket instead. The thread that reads a call runs it at once
// and then goes on reading; reading passes to another service thread only
// when the call waits for a reply of its own or runs longer than
// inlineCallLimit (an idle service thread watches for that), so reading
// goes on while slow calls run (an engine may report to a client while that
// client waits in a call of its own) and a quick call costs neither a
// hand-over nor a wake-up. Replies are matched to waiting callers by call id.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // Takes ownership of the connected socket `fd` and starts reading.
  // Starts serving `fd`; `prepare` runs before any thread reads from it.
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
  bool HasInputWaiting() const;
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
  // Waits for the reply of a sent call, at most the call time limit.
  HRESULT WaitReply(ReplySlot& slot);
  // Forgets a sent call whose reply will not be awaited.
  void AbandonReply(ReplySlot& slot);

  // Runs `hook` once when the connection closes (at once when it already is).
  void AddCloseHook(std::function<void()> hook);
  // Closes the socket, fails every waiting call, drops every exported object
  // and runs the close hooks. Any thread may call it, more than once.
  void Close();
  // Waits until every service thread has ended; not from a service thread.
  void JoinThreads();

 private:
  enum class ReadOutcome {
    Call,      // an incoming call to run
    Closed,    // the peer is gone or broke the protocol
    Answered,  // the awaited reply is in
    Yield,     // a reply went to a caller who may as well read the next
    TimedOut,  // the awaited reply did not come in time
    Quiet,     // nothing came for parkAfter: the poller may watch instead
  };
  struct ServiceThread {
    std::thread thread;
    bool done = false;
    bool handedOver = false;  // its inline call lost the reading role
  };

  Connection(int fd, wire::Side side, ConnectionOptions options);
  // False when no thread could be had.
  bool SpawnLocked();
  // Gives the free reading role to the poller; the connection's idle
  // threads end.
  void ParkLocked();
  // Takes the reading role back from the poller, if it has it. The watch's
  // hold on this connection comes back, to be let go of outside m_mutex.
  std::function<void()> UnparkLocked();
  // On the poller's thread: the parked socket has something to read.
  void Readable();
  void ServiceLoop(std::shared_ptr<Connection> self, ServiceThread* me);
  void HoldReadingRole(std::unique_lock<std::mutex>& lock, ServiceThread* me, std::vector<std::uint8_t>& call);
  void WatchInlineCall(std::unique_lock<std::mutex>& lock, ServiceThread* me, std::vector<std::uint8_t>& call);
  // Called by a thread about to wait: if it runs a call inline, reading
  // passes to another thread first (the awaited reply must be read).
  static void LeaveInlineCall();
  // Reads and handles frames until a call comes in (for a service thread)
  // or until `awaited` is answered (for a caller, who queues incoming calls
  // for the service threads instead).
  ReadOutcome ReadFrames(std::vector<std::uint8_t>& call, ReplySlot* awaited = nullptr,
                         std::chrono::steady_clock::time_point deadline = {});
  // A caller's turn at reading until its reply is in; false when the time
  // limit passed.
  bool ReadOwnReply(ReplySlot& slot, std::chrono::steady_clock::time_point deadline);
  // With the reading role free, hands it to a caller waiting for a reply,
  // or wakes a sleeping watcher so that somebody reads.
  void PassRoleLocked();
  void ParkWhileCallersRead(std::unique_lock<std::mutex>& lock);
  void QueueCall(std::span<const std::uint8_t> frame);
  bool HandleReply(const wire::FrameHeader& header, std::span<const std::uint8_t> payload);
  bool HandleRelease(const wire::FrameHeader& header);
  void RunCall(const std::vector<std::uint8_t>& frame);
  bool Send(std::span<const std::uint8_t> frame);
  // After the time limit: the slot leaves the pending calls, or gets the
  // reply that is being delivered right now.
  HRESULT GiveUpReply(ReplySlot& slot);
  void FailAllPending();
  void CloseIfIdle();

  const int m_fd;
  const wire::Side m_side;
  const ConnectionOptions m_options;
  const bool m_messages;  // a message socket: each recv takes one frame whole
  std::atomic<bool> m_closed{false};
  std::atomic<bool> m_spoken{false};
  std::atomic<std::uint32_t> m_nextCallId{1};
  ObjectTable m_objects;

  // Reading state, owned by whichever thread holds the reading role.
  std::vector<std::uint8_t> m_in;
  std::size_t m_inStart = 0;
  std::size_t m_inEnd = 0;
  std::chrono::steady_clock::time_point m_lastInputAt;

  // Service threads, the reading role and calls waiting for a thread.
  std::mutex m_mutex;
  std::condition_variable m_roleFree;
  std::condition_variable m_threadsEnded;
  bool m_reading = false;
  // Nobody reads: the poller watches the socket (parkAfter).
  bool m_parked = false;
  std::uint64_t m_watch = 0;
  // The thread running a call inline while it holds the reading role, and
  // a count of such calls, so a watcher can tell one long call from many.
  ServiceThread* m_inlineRunner = nullptr;
  std::uint64_t m_inlineCalls = 0;
  // The idle thread sleeps without a time limit; the next inline call
  // must wake it so that it watches.
  bool m_watcherAsleep = false;
  // Callers read their own replies (callerReadsReply): service threads
  // leave the free role to them while m_lentOut and take it back once a
  // quiet spell passes without a caller's turn. Callers waiting while
  // another thread reads are listed to be handed the role.
  bool m_lentOut = false;
  std::uint64_t m_callerTurns = 0;
  std::vector<ReplySlot*> m_roleWaiters;
  unsigned m_threads = 0;
  unsigned m_idle = 0;
  std::deque<std::vector<std::uint8_t>> m_queuedCalls;
  std::list<ServiceThread> m_serviceThreads;
  std::vector<std::function<void()>> m_closeHooks;
  unsigned m_proxies = 0;

  std::mutex m_sendMutex;

  std::mutex m_pendingMutex;
  std::vector<ReplySlot*> m_pending;
};

// A caller's place for one reply.
struct ReplySlot {
  enum State : std::uint32_t { Waiting, Answered, Failed, TimedOut };
  std::uint32_t callId = 0;
  const wire::MethodForm* form = nullptr;
  std::atomic<std::uint32_t> state{Waiting};
  std::mutex mutex;
  std::condition_variable answered;
  bool roleOffered = false;  // the reading role is free for this caller to take
  HRESULT hr = RPC_E_DISCONNECTED;
  std::vector<std::uint8_t> outs;  // the reply's fields after the HRESULT
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
