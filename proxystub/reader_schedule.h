#pragma once

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

#include "proxystub/connection_options.h"
#include "proxystub/frame_channel.h"
#include "proxystub/pending_calls.h"

namespace ps {

// What the reading threads ask of the connection they serve.
class ReadingHost {
 public:
  enum class ReadOutcome {
    Call,      // an incoming call to run
    Closed,    // the peer is gone or broke the protocol
    Answered,  // the awaited reply is in
    Yield,     // a reply went to a caller who may as well read the next
    TimedOut,  // the awaited reply did not come in time
    Quiet,     // nothing came for parkAfter: the poller may watch instead
  };
  // Reads and handles frames until a call comes in (for a service thread)
  // or until `awaited` is answered (for a caller, who queues incoming calls
  // with QueueCall instead).
  virtual ReadOutcome ReadFrames(std::vector<std::uint8_t>& call, ReplySlot* awaited,
                                 std::chrono::steady_clock::time_point deadline) = 0;
  virtual void RunCall(const std::vector<std::uint8_t>& frame) = 0;
  virtual void Close() = 0;
  // A hold on the connection for a thread or a watch that serves it.
  virtual std::shared_ptr<void> Hold() = 0;

 protected:
  ~ReadingHost() = default;
};

// Who reads one connection's socket, and which threads run its calls.
// Frames are read by one thread at a time: a service thread, or (with
// callerReadsReply) a caller waiting for its reply, who queues the calls it
// reads for the service threads; while the peer is quiet (parkAfter) no
// thread reads and the process's poller watches the socket instead. The
// thread that reads a call runs it at once and then goes on reading;
// reading passes to another service thread only when the call waits for a
// reply of its own or runs longer than inlineCallLimit (an idle service
// thread watches for that), so reading goes on while slow calls run (an
// engine may report to a client while that client waits in a call of its
// own) and a quick call costs neither a hand-over nor a wake-up.
class ReaderSchedule {
 public:
  ReaderSchedule(ReadingHost& host, FrameChannel& channel, const ConnectionOptions& options);

  // The first reader: a service thread, or the poller (parkAfter).
  void Begin();
  // An incoming call read by a caller, for the service threads.
  void QueueCall(std::span<const std::uint8_t> frame);
  // A caller's turn at reading until its reply is in (callerReadsReply);
  // false when the time limit passed.
  bool ReadOwnReply(ReplySlot& slot, std::chrono::steady_clock::time_point deadline);
  // Called by a thread about to wait: if it runs a call inline, reading
  // passes to another thread first (the awaited reply must be read).
  static void LeaveInlineCall();
  // Nobody reads from now on; idle threads end. The poller's watch, if it
  // had one, comes back, to be let go of outside every lock.
  std::function<void()> Close();
  // Waits until every service thread has ended; not from a service thread.
  void JoinThreads();
  // For the connection's destructor: joins the threads that ended, lets go
  // of the one it runs on.
  void EndThreads();

 private:
  struct ServiceThread {
    std::thread thread;
    bool done = false;
    bool handedOver = false;  // its inline call lost the reading role
  };

  // False when no thread could be had.
  bool SpawnLocked();
  // Gives the free reading role to the poller; idle threads end.
  void ParkLocked();
  // Takes the reading role back from the poller, if it has it. The watch's
  // hold on the connection comes back, to be let go of outside m_mutex.
  std::function<void()> UnparkLocked();
  // On the poller's thread: the parked socket has something to read.
  void Readable();
  void ServiceLoop(std::shared_ptr<void> hold, ServiceThread* me);
  void HoldReadingRole(std::unique_lock<std::mutex>& lock, ServiceThread* me, std::vector<std::uint8_t>& call);
  void WatchInlineCall(std::unique_lock<std::mutex>& lock, ServiceThread* me, std::vector<std::uint8_t>& call);
  // With the reading role free, hands it to a caller waiting for a reply,
  // or wakes a sleeping watcher so that somebody reads.
  void PassRoleLocked();
  void ParkWhileCallersRead(std::unique_lock<std::mutex>& lock);

  ReadingHost& m_host;
  FrameChannel& m_channel;
  const ConnectionOptions& m_options;

  std::mutex m_mutex;
  std::condition_variable m_roleFree;
  std::condition_variable m_threadsEnded;
  bool m_closed = false;
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
};

}  // namespace ps
