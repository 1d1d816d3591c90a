#include "proxystub/connection.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ps {

namespace {

// Calls are built into a buffer of the calling thread, replies into another:
// a stub's engine call may itself call out (a status report) before the
// stub writes its reply.
thread_local std::vector<std::uint8_t> t_callFrame;
thread_local wire::FrameBuilder t_callBuilder(t_callFrame);
// The id of the call this thread runs, for the descriptor kept for it.
thread_local std::uint32_t t_runningCallId = 0;

}  // namespace

std::shared_ptr<Connection> Connection::Start(int fd, wire::Side side, ConnectionOptions options,
                                              const std::function<void(Connection&)>& prepare) {
  // One thread reads while another runs a call.
  options.maxServiceThreads = std::max(options.maxServiceThreads, 2u);
  std::shared_ptr<Connection> connection(new Connection(fd, side, options));
  // A caller reading its own reply blocks in recv, and so does a reader
  // that hands a quiet socket to the poller: they wake this often to look
  // at their time limits.
  std::chrono::milliseconds step{0};
  if (options.callerReadsReply) step = options.callTimeout / 4;
  if (options.parkAfter.count() > 0)
    step = step.count() > 0 ? std::min(step, options.parkAfter / 4) : options.parkAfter / 4;
  if (step.count() > 0)
    step = std::clamp<std::chrono::milliseconds>(step, std::chrono::milliseconds(10), std::chrono::milliseconds(1000));
  connection->m_channel.SetLimits(options.callTimeout, step);
  // Whatever the first call needs (the class factory, the close hook) is in
  // place before any thread reads from the peer.
  if (prepare) prepare(*connection);
  connection->m_schedule.Begin();
  return connection;
}

// The read buffer is taken when the first frame comes, and given back
// while the connection is parked.
Connection::Connection(int fd, wire::Side side, ConnectionOptions options)
    : m_side(side), m_options(options), m_channel(fd) {
  if (m_options.parkAfter.count() > 0) m_channel.TrackInput();
}

Connection::~Connection() {
  Close();
  m_schedule.EndThreads();
}

ReadingHost::ReadOutcome Connection::ReadFrames(std::vector<std::uint8_t>& call, ReplySlot* awaited,
                                                std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    wire::FrameHeader header;
    std::span<const std::uint8_t> frame;
    const FrameChannel::Received received = m_channel.Next(header, frame);
    if (received == FrameChannel::Received::Broken) return ReadOutcome::Closed;
    if (received == FrameChannel::Received::Waited) {
      // The receive wake-up step: a caller looks at its deadline, a service
      // thread at how long the peer has been quiet.
      const auto now = std::chrono::steady_clock::now();
      if (awaited) {
        if (now >= deadline) return ReadOutcome::TimedOut;
      } else if (m_options.parkAfter.count() > 0 && now - m_channel.LastInputAt() >= m_options.parkAfter) {
        return ReadOutcome::Quiet;
      }
      continue;
    }
    if (!m_spoken.load(std::memory_order_relaxed)) m_spoken.store(true, std::memory_order_relaxed);
    if (m_channel.HasFd()) ReceiveFd(header);
    const std::span<const std::uint8_t> payload = frame.subspan(wire::kHeaderBytes);
    switch (header.kind) {
      case wire::FrameKind::Reply:
        if (!m_pending.Deliver(header, payload)) return ReadOutcome::Closed;
        if (awaited) {
          if (awaited->state.load(std::memory_order_acquire) != ReplySlot::Waiting) return ReadOutcome::Answered;
        } else if (m_options.callerReadsReply && !m_channel.HasBuffered()) {
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
          m_schedule.QueueCall(frame);
          break;
        }
        call.assign(frame.begin(), frame.end());
        return ReadOutcome::Call;
      }
    }
  }
}

void Connection::ReceiveFd(const wire::FrameHeader& header) {
  const int fd = m_channel.TakeFd();
  FdReceiver receiver;
  {
    std::lock_guard lock(m_mutex);
    receiver = m_fdReceiver;
  }
  if (receiver)
    receiver(header, fd);
  else
    ::close(fd);
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
  const std::uint32_t outerCallId = std::exchange(t_runningCallId, header.callId);
  if (const std::shared_ptr<Stub> stub = m_objects.Find(header.objectId)) {
    if (!wire::Answers(stub->Kind(), wire::TagOf(header.method))) {
      hr = E_NOINTERFACE;
    } else {
      wire::PayloadReader in(payload);
      hr = stub->Invoke(*this, method, in, reply);
    }
  }
  if (const int unused = TakeCallFd(); unused >= 0) ::close(unused);
  t_runningCallId = outerCallId;
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

bool Connection::Send(std::span<const std::uint8_t> frame, int fd) {
  if (m_closed) return false;
  if (fd < 0 ? m_channel.Send(frame) : m_channel.SendWithFd(frame, fd)) return true;
  // Broken, or no room for a whole time limit: the peer is gone.
  Close();
  return false;
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

bool Connection::SendCall(ReplySlot& slot) { return SendCallFrame(slot, -1); }

bool Connection::SendCallWithFd(ReplySlot& slot, int fd) {
  if (fd < 0 || !m_channel.CarriesFds()) return false;
  return SendCallFrame(slot, fd);
}

bool Connection::SendCallFrame(ReplySlot& slot, int fd) {
  if (!m_pending.Add(slot)) return false;
  if (Send(t_callBuilder.Finish(), fd)) return true;
  // Close() failed the slot already, or is about to; either way it is out.
  WaitReply(slot);
  return false;
}

HRESULT Connection::WaitReply(ReplySlot& slot) {
  ReaderSchedule::LeaveInlineCall();
  const auto deadline = std::chrono::steady_clock::now() + m_options.callTimeout;
  if (m_options.callerReadsReply && !m_schedule.ReadOwnReply(slot, deadline)) return m_pending.GiveUp(slot);
  return m_pending.Wait(slot, deadline);
}

void Connection::AbandonReply(ReplySlot& slot) { m_pending.Abandon(slot); }

void Connection::SetFdReceiver(FdReceiver receiver) {
  {
    std::lock_guard lock(m_mutex);
    m_fdReceiver = std::move(receiver);
  }
  m_channel.AcceptFds();
}

void Connection::KeepCallFd(const wire::FrameHeader& frame, int fd) {
  {
    std::lock_guard lock(m_mutex);
    if (frame.kind == wire::FrameKind::Call && !m_closed) {
      auto it = std::find_if(m_callFds.begin(), m_callFds.end(),
                             [&](const auto& kept) { return kept.first == frame.callId; });
      if (it == m_callFds.end()) it = m_callFds.emplace(it, frame.callId, -1);
      fd = std::exchange(it->second, fd);
    }
  }
  if (fd >= 0) ::close(fd);
}

int Connection::TakeCallFd() {
  std::lock_guard lock(m_mutex);
  const auto it = std::find_if(m_callFds.begin(), m_callFds.end(),
                               [](const auto& kept) { return kept.first == t_runningCallId; });
  if (t_runningCallId == 0 || it == m_callFds.end()) return -1;
  const int fd = it->second;
  m_callFds.erase(it);
  return fd;
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
    // Refused first, so that no call registers after the pending calls failed.
    m_pending.Refuse();
    m_closed = true;
    hooks.swap(m_closeHooks);
    for (const auto& kept : m_callFds) ::close(kept.second);
    m_callFds.clear();
  }
  watch = m_schedule.Close();
  m_channel.Shutdown();
  m_pending.FailAll();
  for (auto& hook : hooks) hook();
  m_objects.Clear();
}

}  // namespace ps
