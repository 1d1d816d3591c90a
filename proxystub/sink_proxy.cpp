#include "proxystub/sink_proxy.h"

#include <cstring>

#include "proxystub/marshal.h"
#include "proxystub/server_session.h"

namespace ps {

class CSinkProxy::PendingStatus final : public IPipelinedCallback::PendingCall {
 public:
  explicit PendingStatus(std::shared_ptr<CSinkProxy> sink) : m_sink(std::move(sink)) {}
  ~PendingStatus() override {
    if (m_sent && !m_waited) m_sink->connection().AbandonReply(m_slot);
  }

  bool Send(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
    Connection& connection = m_sink->connection();
    wire::FrameBuilder& args = connection.BeginCall(m_sink->objectId(), wire::Method::DownloadStatus, m_slot);
    args.Number(dwStatus);
    // A status text is for reading, not an identity: one longer than the
    // wire carries is cut rather than losing the event (the record has the
    // whole name).
    if (pszStatus && !args.Text(pszStatus)) args.Text(std::string_view(pszStatus, ::strnlen(pszStatus, wire::kMaxTextLength)));
    else if (!pszStatus) args.Text(static_cast<const char*>(nullptr));
    args.Record(ls);
    m_sent = connection.SendCall(m_slot);
    return m_sent;
  }

  HRESULT Wait() override {
    if (!m_sent || m_waited) return RPC_E_DISCONNECTED;
    m_waited = true;
    const HRESULT hr = m_sink->connection().WaitReply(m_slot);
    if (m_slot.state.load() == ReplySlot::TimedOut) m_sink->Drop();
    return hr;
  }

 private:
  std::shared_ptr<CSinkProxy> m_sink;
  ReplySlot m_slot;
  bool m_sent = false;
  bool m_waited = false;
};

// A status call in a slot of the sink's channel. The answer is awaited as
// long as on the socket; a sink that misses that time, or whose channel
// closes or breaks its rules meanwhile, is dropped.
class CSinkProxy::ChannelPendingStatus final : public IPipelinedCallback::PendingCall {
 public:
  ChannelPendingStatus(std::shared_ptr<CSinkProxy> sink, const StatusChannel::Ticket& ticket)
      : m_sink(std::move(sink)), m_ticket(ticket) {}
  ~ChannelPendingStatus() override {
    if (!m_waited) m_sink->m_channel->Abandon(m_ticket);
  }

  HRESULT Wait() override {
    if (m_waited) return RPC_E_DISCONNECTED;
    m_waited = true;
    HRESULT hr = RPC_E_DISCONNECTED;
    const auto deadline = std::chrono::steady_clock::now() + m_sink->connection().options().callTimeout;
    const StatusChannel::Outcome outcome = m_sink->m_channel->WaitReply(m_ticket, deadline, hr);
    m_sink->SlotFreed();
    if (outcome == StatusChannel::Outcome::Answered) return hr;
    m_sink->Drop();
    return RPC_E_DISCONNECTED;
  }

 private:
  std::shared_ptr<CSinkProxy> m_sink;
  StatusChannel::Ticket m_ticket;
  bool m_waited = false;
};

CSinkProxy::~CSinkProxy() {
  // The client's thread serving the channel ends with it.
  if (m_channel) m_channel->Close();
}

void CSinkProxy::OpenStatusChannel() {
  std::shared_ptr<StatusChannel> channel = StatusChannel::Create(kChannelSlots);
  if (!channel) return;
  Connection& link = connection();
  ReplySlot slot;
  link.BeginCall(objectId(), wire::Method::OpenStatusChannel, slot).Number(channel->slotCount());
  if (!link.SendCallWithFd(slot, channel->fd()) || link.WaitReply(slot) != S_OK) return;
  // A client that goes away closes the channel with its socket, which
  // wakes every engine thread waiting on it.
  link.AddCloseHook([weak = std::weak_ptr<StatusChannel>(channel)] {
    if (const auto closing = weak.lock()) closing->Close();
  });
  m_channel = std::move(channel);
}

void CSinkProxy::SlotFreed() {
  {
    std::lock_guard lock(m_slotMutex);
    ++m_answers;
  }
  m_slotFreed.notify_all();
}

std::unique_ptr<IPipelinedCallback::PendingCall> CSinkProxy::BeginOnChannel(std::uint32_t dwStatus,
                                                                            const char* pszStatus,
                                                                            const _LinkStructType& ls) {
  const auto deadline = std::chrono::steady_clock::now() + connection().options().callTimeout;
  StatusChannel::Ticket ticket;
  for (;;) {
    std::uint64_t answers;
    {
      std::lock_guard lock(m_slotMutex);
      answers = m_answers;
    }
    if (m_channel->Post(dwStatus, pszStatus, ls, ticket))
      return std::make_unique<ChannelPendingStatus>(shared_from_this(), ticket);
    // Every slot is taken by other engine threads' calls: this one waits
    // for a slot rather than take the socket and overtake them. A slot
    // given up without waiting frees itself without a signal, hence the
    // short step.
    if (!m_channel->IsOpen() || std::chrono::steady_clock::now() >= deadline) break;
    std::unique_lock lock(m_slotMutex);
    m_slotFreed.wait_for(lock, std::chrono::milliseconds(1), [&] { return m_answers != answers; });
  }
  Drop();
  return nullptr;
}

std::unique_ptr<IPipelinedCallback::PendingCall> CSinkProxy::BeginDownloadStatus(std::uint32_t dwStatus,
                                                                                 const char* pszStatus,
                                                                                 const _LinkStructType& ls) {
  if (m_disconnected || !connection().IsOpen()) return nullptr;
  if (m_channel) return BeginOnChannel(dwStatus, pszStatus, ls);
  auto pending = std::make_unique<PendingStatus>(shared_from_this());
  if (!pending->Send(dwStatus, pszStatus, ls)) return nullptr;
  return pending;
}

// A status call is the pipelined one with its answer awaited at once.
template <>
struct ProxyCall<wire::Method::DownloadStatus> {
  CSinkProxy& self;

  HRESULT operator()(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) const {
    auto pending = self.BeginDownloadStatus(dwStatus, pszStatus, ls);
    return pending ? pending->Wait() : RPC_E_DISCONNECTED;
  }
};

PW_CALLBACK_METHODS(PS_DEFINE_PROXY_METHOD, CSinkProxy)

void CSinkProxy::Drop() {
  if (m_disconnected.exchange(true)) return;
  if (const auto session = m_session.lock()) session->DisconnectSink(this);
  // The client would otherwise wait for ever for events that no longer
  // come: its connection goes too, so that it sees the engine go away.
  connection().Close();
}

}  // namespace ps
