#include "proxystub/connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "proxystub/poller.h"

namespace ps {

namespace {

// Calls are built into a buffer of the calling thread, replies into another:
// a stub's engine call may itself call out (a status report) before the
// stub writes its reply.
thread_local std::vector<std::uint8_t> t_callFrame;
thread_local wire::FrameBuilder t_callBuilder(t_callFrame);

// The connection whose call this thread runs inline while holding its
// reading role, if any.
thread_local Connection* t_inlineConnection = nullptr;

bool IsMessageSocket(int fd) {
  int type = 0;
  socklen_t size = sizeof type;
  return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_SEQPACKET;
}

}  // namespace

std::shared_ptr<Connection> Connection::Start(int fd, wire::Side side, ConnectionOptions options,
                                              const std::function<void(Connection&)>& prepare) {
  // One thread reads while another runs a call.
  options.maxServiceThreads = std::max(options.maxServiceThreads, 2u);
  std::shared_ptr<Connection> connection(new Connection(fd, side, options));
  // A peer that stops reading must not hold a sender for ever.
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(options.callTimeout.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>((options.callTimeout.count() % 1000) * 1000);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  // Every frame goes as one message: the largest must fit the send buffer.
  const int sendBuffer = static_cast<int>(wire::kMaxFrameBytes + 4096);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  // A caller reading its own reply blocks in recv, and so does a reader
  // that hands a quiet socket to the poller: they wake this often to look
  // at their time limits.
  std::chrono::milliseconds step{0};
  if (options.callerReadsReply) step = options.callTimeout / 4;
  if (options.parkAfter.count() > 0)
    step = step.count() > 0 ? std::min(step, options.parkAfter / 4) : options.parkAfter / 4;
  if (step.count() > 0) {
    step = std::clamp<std::chrono::milliseconds>(step, std::chrono::milliseconds(10), std::chrono::milliseconds(1000));
    timeval wake{};
    wake.tv_sec = static_cast<time_t>(step.count() / 1000);
    wake.tv_usec = static_cast<suseconds_t>((step.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
  }
  // Whatever the first call needs (the class factory, the close hook) is in
  // place before any thread reads from the peer.
  if (prepare) prepare(*connection);
  std::lock_guard lock(connection->m_mutex);
  if (options.parkAfter.count() > 0)
    connection->ParkLocked();
  else
    connection->SpawnLocked();
  return connection;
}

// The read buffer is taken when the first frame comes, and given back
// while the connection is parked.
Connection::Connection(int fd, wire::Side side, ConnectionOptions options)
    : m_fd(fd), m_side(side), m_options(options), m_messages(IsMessageSocket(fd)) {}

Connection::~Connection() {
  Close();
  for (ServiceThread& service : m_serviceThreads) {
    if (!service.thread.joinable()) continue;
    // The last reference may be dropped by a service thread on its way out.
    if (service.thread.get_id() == std::this_thread::get_id())
      service.thread.detach();
    else
      service.thread.join();
  }
  ::close(m_fd);
}

bool Connection::SpawnLocked() {
  // Threads that ended (surplus idle ones) are joined here, so the list
  // does not grow over a long life.
  for (auto it = m_serviceThreads.begin(); it != m_serviceThreads.end();) {
    if (it->done && it->thread.joinable() && it->thread.get_id() != std::this_thread::get_id()) {
      it->thread.join();
      it = m_serviceThreads.erase(it);
    } else {
      ++it;
    }
  }
  ServiceThread& service = m_serviceThreads.emplace_back();
  try {
    service.thread = std::thread(&Connection::ServiceLoop, this, shared_from_this(), &service);
  } catch (const std::system_error&) {
    m_serviceThreads.pop_back();
    return false;
  }
  ++m_threads;
  return true;
}

void Connection::ParkLocked() {
  m_parked = true;
  m_lentOut = false;
  if (m_inStart == m_inEnd) {
    std::vector<std::uint8_t>().swap(m_in);
    m_inStart = m_inEnd = 0;
  }
  // The watch holds the connection: nothing else may while it is quiet.
  m_watch = Poller::Shared().WatchOnce(m_fd, [self = shared_from_this()] { self->Readable(); });
  if (m_watch == 0) {
    m_parked = false;
    SpawnLocked();
  }
  // Idle threads see the role taken and end.
  m_watcherAsleep = false;
  m_roleFree.notify_all();
}

std::function<void()> Connection::UnparkLocked() {
  if (!m_parked) return {};
  m_parked = false;
  const auto watch = std::exchange(m_watch, 0);
  return Poller::Shared().Cancel(watch);
}

void Connection::Readable() {
  {
    std::lock_guard lock(m_mutex);
    // A caller took the role back meanwhile, or the connection closed.
    if (!m_parked || m_closed) return;
    m_parked = false;
    m_watch = 0;
    if (m_idle > 0) {
      m_watcherAsleep = false;
      m_roleFree.notify_all();
      return;
    }
    if (SpawnLocked()) return;
  }
  // Nobody could read it: closed rather than left hanging.
  Close();
}

bool Connection::HasInputWaiting() const {
  pollfd input{m_fd, POLLIN, 0};
  return ::poll(&input, 1, 0) == 1 && (input.revents & POLLIN);
}

void Connection::ServiceLoop(std::shared_ptr<Connection> self, ServiceThread* me) {
  thread_local std::vector<std::uint8_t> call;
  std::unique_lock lock(m_mutex);
  for (;;) {
    // Queued calls go first, but only while someone else reads (or the
    // poller watches) or callers read for themselves: the connection must
    // never stop reading.
    if (!m_queuedCalls.empty() && (m_reading || m_parked || m_options.callerReadsReply)) {
      call = std::move(m_queuedCalls.front());
      m_queuedCalls.pop_front();
      // Somebody must be left to take reading back from the callers.
      if (m_options.callerReadsReply && m_idle == 0 && m_threads < m_options.maxServiceThreads) SpawnLocked();
      lock.unlock();
      RunCall(call);
      lock.lock();
      continue;
    }
    if (m_closed) break;
    // The poller calls a thread back when the peer speaks.
    if (m_parked) break;
    if (!m_reading) {
      if (m_lentOut) {
        if (m_idle > 0) break;
        ParkWhileCallersRead(lock);
        continue;
      }
      m_reading = true;
      HoldReadingRole(lock, me, call);
      continue;
    }
    // One idle thread is kept: it watches calls run inline and takes the
    // next call; others end.
    if (m_idle > 0) break;
    WatchInlineCall(lock, me, call);
  }
  me->done = true;
  --m_threads;
  m_threadsEnded.notify_all();
  if (m_closed) return;
  // Another thread must take over reading if this one leaves it unread.
  if (!m_reading && !m_parked && m_idle > 0) m_roleFree.notify_one();
  // Nobody waits for a thread that ends while the connection stays: its
  // stack goes now, not at the next spawn, so a quiet connection keeps none.
  me->thread.detach();
  m_serviceThreads.remove_if([me](const ServiceThread& service) { return &service == me; });
}

void Connection::HoldReadingRole(std::unique_lock<std::mutex>& lock, ServiceThread* me,
                                 std::vector<std::uint8_t>& call) {
  // Entered and left with `lock` held; on return this thread no longer
  // reads (the role is free, another thread has it, or the poller).
  m_lastInputAt = std::chrono::steady_clock::now();
  for (;;) {
    if (m_closed) {
      m_reading = false;
      return;
    }
    lock.unlock();
    const ReadOutcome outcome = ReadFrames(call);
    if (outcome == ReadOutcome::Closed) Close();
    lock.lock();
    if (outcome == ReadOutcome::Closed) {
      m_reading = false;
      return;
    }
    if (outcome == ReadOutcome::Quiet && m_roleWaiters.empty()) {
      m_reading = false;
      ParkLocked();
      return;
    }
    // A caller waits to read its own reply: it reads next.
    if (outcome == ReadOutcome::Yield || outcome == ReadOutcome::Quiet) {
      m_reading = false;
      m_lentOut = true;
      PassRoleLocked();
      return;
    }
    if (m_idle == 0) {
      // Nobody would notice a long call: start a watcher, or, with every
      // thread busy, queue the call and keep reading.
      if (m_threads < m_options.maxServiceThreads) {
        SpawnLocked();
      } else {
        m_queuedCalls.push_back(std::move(call));
        call = {};
        continue;
      }
    } else if (m_watcherAsleep) {
      m_watcherAsleep = false;
      m_roleFree.notify_one();
    }
    m_inlineRunner = me;
    ++m_inlineCalls;
    lock.unlock();
    t_inlineConnection = this;
    RunCall(call);
    t_inlineConnection = nullptr;
    lock.lock();
    if (me->handedOver) {
      me->handedOver = false;
      return;
    }
    m_inlineRunner = nullptr;
  }
}

void Connection::WatchInlineCall(std::unique_lock<std::mutex>& lock, ServiceThread* me,
                                 std::vector<std::uint8_t>& call) {
  // A watcher that saw no call for this long sleeps until the next one, so
  // a quiet connection costs no periodic wake-ups.
  constexpr auto kQuiet = std::chrono::milliseconds(100);
  const auto limit = std::max(m_options.inlineCallLimit, std::chrono::microseconds(100));
  ++m_idle;
  std::uint64_t seenCalls = m_inlineCalls;
  auto seenAt = std::chrono::steady_clock::now();
  for (;;) {
    // The role is free (the caller takes it), or calls wait to be run.
    if (m_closed || !m_reading || !m_queuedCalls.empty()) break;
    const auto now = std::chrono::steady_clock::now();
    if (m_inlineCalls != seenCalls) {
      seenCalls = m_inlineCalls;
      seenAt = now;
    } else if (m_inlineRunner && now - seenAt >= limit) {
      // One call has run too long: this thread reads on while it runs.
      m_inlineRunner->handedOver = true;
      m_inlineRunner = nullptr;
      --m_idle;
      HoldReadingRole(lock, me, call);
      return;
    } else if (!m_inlineRunner && now - seenAt >= kQuiet) {
      m_watcherAsleep = true;
      m_roleFree.wait(lock, [&] { return !m_watcherAsleep || m_closed || !m_reading || !m_queuedCalls.empty(); });
      m_watcherAsleep = false;
      seenCalls = m_inlineCalls;
      seenAt = std::chrono::steady_clock::now();
      continue;
    }
    m_roleFree.wait_for(lock, limit);
  }
  --m_idle;
}

void Connection::LeaveInlineCall() {
  Connection* self = t_inlineConnection;
  if (!self) return;
  t_inlineConnection = nullptr;
  std::lock_guard lock(self->m_mutex);
  ServiceThread* runner = self->m_inlineRunner;
  // A watcher may have taken the role over already.
  if (!runner || runner->thread.get_id() != std::this_thread::get_id()) return;
  runner->handedOver = true;
  self->m_inlineRunner = nullptr;
  self->m_reading = false;
  if (self->m_closed) return;
  if (self->m_options.callerReadsReply) {
    // The caller reads its reply itself.
    self->m_lentOut = true;
    return;
  }
  if (self->m_idle > 0) {
    self->m_watcherAsleep = false;
    self->m_roleFree.notify_one();
  } else {
    // Even past the thread limit: the awaited reply must be read.
    self->SpawnLocked();
  }
}

void Connection::ParkWhileCallersRead(std::unique_lock<std::mutex>& lock) {
  // Long enough that a stream of calls keeps reading with the callers,
  // short enough that an incoming call is read soon after they stop.
  constexpr auto kQuietSpell = std::chrono::milliseconds(2);
  ++m_idle;
  for (;;) {
    const std::uint64_t seenTurns = m_callerTurns;
    m_roleFree.wait_for(lock, kQuietSpell, [&] { return m_closed || !m_queuedCalls.empty(); });
    if (m_closed || !m_queuedCalls.empty()) break;
    if (m_callerTurns == seenTurns) {
      m_lentOut = false;
      break;
    }
  }
  --m_idle;
}

void Connection::PassRoleLocked() {
  if (m_reading || m_closed) return;
  while (!m_roleWaiters.empty()) {
    ReplySlot* waiter = m_roleWaiters.front();
    m_roleWaiters.erase(m_roleWaiters.begin());
    std::lock_guard lock(waiter->mutex);
    if (waiter->state.load() != ReplySlot::Waiting) continue;
    waiter->roleOffered = true;
    waiter->answered.notify_one();
    return;
  }
  if (m_watcherAsleep) {
    m_watcherAsleep = false;
    m_roleFree.notify_all();
  }
}

void Connection::QueueCall(std::span<const std::uint8_t> frame) {
  std::lock_guard lock(m_mutex);
  m_queuedCalls.emplace_back(frame.begin(), frame.end());
  if (m_idle > 0) {
    m_watcherAsleep = false;
    m_roleFree.notify_all();
  } else if (m_threads < m_options.maxServiceThreads) {
    SpawnLocked();
  }
}

bool Connection::ReadOwnReply(ReplySlot& slot, std::chrono::steady_clock::time_point deadline) {
  std::function<void()> watch;  // let go of after m_mutex
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (slot.state.load(std::memory_order_acquire) != ReplySlot::Waiting || m_closed) {
      // A turn offered while the reply came in goes to the next caller.
      PassRoleLocked();
      return true;
    }
    if (!m_reading) {
      // Taken from the poller too: the reply is read where it is awaited.
      if (m_parked) watch = UnparkLocked();
      m_reading = true;
      lock.unlock();
      thread_local std::vector<std::uint8_t> noCall;
      const ReadOutcome outcome = ReadFrames(noCall, &slot, deadline);
      if (outcome == ReadOutcome::Closed) Close();
      lock.lock();
      m_reading = false;
      m_lentOut = true;
      ++m_callerTurns;
      PassRoleLocked();
      // A service thread takes reading back once the callers stop.
      if (m_threads == 0 && !m_closed) SpawnLocked();
      if (outcome == ReadOutcome::TimedOut) return false;
      continue;
    }
    // Another thread reads: it delivers this reply, or hands over reading.
    m_roleWaiters.push_back(&slot);
    lock.unlock();
    bool inTime;
    {
      std::unique_lock wait(slot.mutex);
      inTime = slot.answered.wait_until(wait, deadline, [&] {
        return slot.state.load() != ReplySlot::Waiting || slot.roleOffered;
      });
      slot.roleOffered = false;
    }
    lock.lock();
    std::erase(m_roleWaiters, &slot);
    if (!inTime) return false;
  }
}

Connection::ReadOutcome Connection::ReadFrames(std::vector<std::uint8_t>& call, ReplySlot* awaited,
                                               std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    wire::FrameHeader header;
    const std::span<const std::uint8_t> buffered(m_in.data() + m_inStart, m_inEnd - m_inStart);
    const wire::DecodeResult result = wire::DecodeFrame(buffered, header);
    if (result == wire::DecodeResult::Invalid) return ReadOutcome::Closed;
    if (result == wire::DecodeResult::Valid) {
      if (!m_spoken.load(std::memory_order_relaxed)) m_spoken.store(true, std::memory_order_relaxed);
      const std::size_t size = wire::FrameSize(header);
      const std::span<const std::uint8_t> frame = buffered.first(size);
      const std::span<const std::uint8_t> payload = frame.subspan(wire::kHeaderBytes);
      m_inStart += size;
      switch (header.kind) {
        case wire::FrameKind::Reply:
          if (!HandleReply(header, payload)) return ReadOutcome::Closed;
          if (awaited) {
            if (awaited->state.load(std::memory_order_acquire) != ReplySlot::Waiting) return ReadOutcome::Answered;
          } else if (m_options.callerReadsReply && m_inStart == m_inEnd) {
            return ReadOutcome::Yield;
          }
          break;
        case wire::FrameKind::Release:
          if (!HandleRelease(header)) return ReadOutcome::Closed;
          break;
        case wire::FrameKind::Call: {
          const wire::MethodForm* form = wire::FindIncomingMethod(m_side, header.method);
          if (!form || !wire::CheckCallPayload(*form, payload)) return ReadOutcome::Closed;
          if (awaited) {
            QueueCall(frame);
            break;
          }
          call.assign(frame.begin(), frame.end());
          return ReadOutcome::Call;
        }
      }
      continue;
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
    const ssize_t got = ::recv(m_fd, m_in.data() + m_inEnd, room, m_messages ? MSG_TRUNC : 0);
    if (got > 0) {
      // A message longer than any frame was cut: the peer broke the protocol.
      if (static_cast<std::size_t>(got) > room) return ReadOutcome::Closed;
      m_inEnd += static_cast<std::size_t>(got);
      if (m_options.parkAfter.count() > 0) m_lastInputAt = std::chrono::steady_clock::now();
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The receive time limit: a caller looks at its deadline, a service
      // thread at how long the peer has been quiet.
      const auto now = std::chrono::steady_clock::now();
      if (awaited) {
        if (now >= deadline) return ReadOutcome::TimedOut;
      } else if (m_options.parkAfter.count() > 0 && now - m_lastInputAt >= m_options.parkAfter) {
        return ReadOutcome::Quiet;
      }
    } else {
      return ReadOutcome::Closed;
    }
  }
}

bool Connection::HandleReply(const wire::FrameHeader& header, std::span<const std::uint8_t> payload) {
  ReplySlot* slot = nullptr;
  {
    std::lock_guard lock(m_pendingMutex);
    const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                 [&](const ReplySlot* pending) { return pending->callId == header.callId; });
    // A reply nobody waits for any more (its caller gave up) is dropped.
    if (it == m_pending.end()) return payload.size() >= 4;
    slot = *it;
    if (static_cast<std::uint32_t>(slot->form->method) != header.method ||
        !wire::CheckReplyPayload(*slot->form, payload))
      return false;
    m_pending.erase(it);
  }
  std::uint32_t hr;
  std::memcpy(&hr, payload.data(), sizeof hr);
  std::lock_guard lock(slot->mutex);
  slot->hr = static_cast<HRESULT>(hr);
  slot->outs.assign(payload.begin() + 4, payload.end());
  slot->state.store(ReplySlot::Answered, std::memory_order_release);
  slot->answered.notify_one();
  return true;
}

bool Connection::HandleRelease(const wire::FrameHeader& header) {
  if (m_objects.Release(header.objectId) == ObjectTable::ReleaseResult::Unknown) return false;
  CloseIfIdle();
  return true;
}

void Connection::RunCall(const std::vector<std::uint8_t>& frame) {
  thread_local std::vector<std::uint8_t> replyFrame;
  wire::FrameHeader header;
  wire::DecodeFrame(frame, header);
  const std::span<const std::uint8_t> payload(frame.data() + wire::kHeaderBytes, frame.size() - wire::kHeaderBytes);
  const wire::MethodForm& form = *wire::FindIncomingMethod(m_side, header.method);
  const auto method = static_cast<wire::Method>(header.method);

  wire::FrameBuilder reply(replyFrame);
  reply.Begin(wire::FrameKind::Reply, header.callId, header.objectId, header.method);
  reply.Number(0);  // the result, filled in below
  HRESULT hr = RPC_E_DISCONNECTED;  // no such object (any more)
  if (const std::shared_ptr<Stub> stub = m_objects.Find(header.objectId)) {
    if (!wire::Answers(stub->Kind(), wire::TagOf(header.method))) {
      hr = E_NOINTERFACE;
    } else {
      wire::PayloadReader in(payload);
      hr = stub->Invoke(*this, method, in, reply);
    }
  }
  const std::size_t resultOffset = wire::kHeaderBytes;
  auto written = std::span<const std::uint8_t>(replyFrame).subspan(resultOffset);
  if (!wire::CheckReplyPayload(form, written)) {
    // The stub wrote no (or partial) out-fields: send empty ones.
    replyFrame.resize(resultOffset + 4);
    for (wire::Field field : form.out) {
      if (field == wire::Field::Text) reply.Text(std::string_view{});
      else if (field != wire::Field::None && field != wire::Field::Guid && field != wire::Field::Record) reply.Number(0);
    }
  }
  const std::uint32_t result = static_cast<std::uint32_t>(hr);
  std::memcpy(replyFrame.data() + resultOffset, &result, sizeof result);
  Send(reply.Finish());
}

bool Connection::Send(std::span<const std::uint8_t> frame) {
  if (m_closed) return false;
  std::unique_lock lock(m_sendMutex);
  std::size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t wrote = ::send(m_fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      sent += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      // Broken, or no room for a whole time limit: the peer is gone.
      lock.unlock();
      Close();
      return false;
    }
  }
  return true;
}

bool Connection::TryAddProxy() {
  std::lock_guard lock(m_mutex);
  if (m_closed) return false;
  ++m_proxies;
  return true;
}

void Connection::RemoveProxy(std::uint32_t objectId) {
  if (objectId != wire::kFactoryObjectId && IsOpen()) {
    std::vector<std::uint8_t> frame;
    wire::FrameBuilder builder(frame);
    builder.Begin(wire::FrameKind::Release, 0, objectId, 0);
    Send(builder.Finish());
  }
  {
    std::lock_guard lock(m_mutex);
    if (m_proxies > 0) --m_proxies;
  }
  CloseIfIdle();
}

void Connection::CloseIfIdle() {
  if (m_side != wire::Side::Client) return;
  {
    std::lock_guard lock(m_mutex);
    if (m_proxies > 0 || m_closed) return;
  }
  if (m_objects.Count() == 0) Close();
}

wire::FrameBuilder& Connection::BeginCall(std::uint32_t objectId, wire::Method method, ReplySlot& slot) {
  slot.callId = m_nextCallId.fetch_add(1);
  slot.form = wire::FindOutgoingMethod(m_side, static_cast<std::uint32_t>(method));
  t_callBuilder.Begin(wire::FrameKind::Call, slot.callId, objectId, static_cast<std::uint32_t>(method));
  return t_callBuilder;
}

bool Connection::SendCall(ReplySlot& slot) {
  {
    std::lock_guard lock(m_pendingMutex);
    if (m_closed) return false;
    m_pending.push_back(&slot);
  }
  if (Send(t_callBuilder.Finish())) return true;
  // Close() failed the slot already, or is about to; either way it is out.
  WaitReply(slot);
  return false;
}

HRESULT Connection::WaitReply(ReplySlot& slot) {
  LeaveInlineCall();
  const auto deadline = std::chrono::steady_clock::now() + m_options.callTimeout;
  if (m_options.callerReadsReply && !ReadOwnReply(slot, deadline)) return GiveUpReply(slot);
  {
    std::unique_lock lock(slot.mutex);
    if (slot.answered.wait_until(lock, deadline, [&] { return slot.state.load() != ReplySlot::Waiting; }))
      return slot.state.load() == ReplySlot::Answered ? slot.hr : RPC_E_DISCONNECTED;
  }
  return GiveUpReply(slot);
}

HRESULT Connection::GiveUpReply(ReplySlot& slot) {
  {
    std::lock_guard pending(m_pendingMutex);
    const auto it = std::find(m_pending.begin(), m_pending.end(), &slot);
    if (it != m_pending.end()) {
      // Given up: a late reply finds no slot and is dropped.
      m_pending.erase(it);
      slot.state.store(ReplySlot::TimedOut);
      return RPC_E_DISCONNECTED;
    }
  }
  // The reply (or the close) is being delivered right now.
  std::unique_lock lock(slot.mutex);
  slot.answered.wait(lock, [&] { return slot.state.load() != ReplySlot::Waiting; });
  return slot.state.load() == ReplySlot::Answered ? slot.hr : RPC_E_DISCONNECTED;
}

void Connection::AbandonReply(ReplySlot& slot) {
  {
    std::lock_guard pending(m_pendingMutex);
    const auto it = std::find(m_pending.begin(), m_pending.end(), &slot);
    if (it != m_pending.end()) {
      m_pending.erase(it);
      return;
    }
  }
  std::unique_lock lock(slot.mutex);
  slot.answered.wait(lock, [&] { return slot.state.load() != ReplySlot::Waiting; });
}

void Connection::FailAllPending() {
  std::vector<ReplySlot*> failed;
  {
    std::lock_guard lock(m_pendingMutex);
    failed.swap(m_pending);
  }
  for (ReplySlot* slot : failed) {
    std::lock_guard lock(slot->mutex);
    slot->state.store(ReplySlot::Failed, std::memory_order_release);
    slot->answered.notify_one();
  }
}

void Connection::AddCloseHook(std::function<void()> hook) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_closed) {
      m_closeHooks.push_back(std::move(hook));
      return;
    }
  }
  hook();
}

void Connection::Close() {
  // The poller's watch may be the only other hold on a quiet connection:
  // this one keeps it alive to the end of the call (none in the destructor).
  const std::shared_ptr<Connection> keep = weak_from_this().lock();
  std::function<void()> watch;
  std::vector<std::function<void()>> hooks;
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return;
    {
      // Taken so that no call registers after the pending calls failed.
      std::lock_guard pending(m_pendingMutex);
      m_closed = true;
    }
    watch = UnparkLocked();
    hooks.swap(m_closeHooks);
    m_roleFree.notify_all();
  }
  ::shutdown(m_fd, SHUT_RDWR);
  FailAllPending();
  for (auto& hook : hooks) hook();
  m_objects.Clear();
}

void Connection::JoinThreads() {
  std::unique_lock lock(m_mutex);
  m_threadsEnded.wait(lock, [&] { return m_threads == 0; });
  for (ServiceThread& service : m_serviceThreads)
    if (service.thread.joinable()) service.thread.join();
  m_serviceThreads.clear();
}

}  // namespace ps
