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
    if (m_slot.state.load() == ReplySlot::TimedOut) m_sink->TimedOut();
    return hr;
  }

 private:
  std::shared_ptr<CSinkProxy> m_sink;
  ReplySlot m_slot;
  bool m_sent = false;
  bool m_waited = false;
};

std::unique_ptr<IPipelinedCallback::PendingCall> CSinkProxy::BeginDownloadStatus(std::uint32_t dwStatus,
                                                                                 const char* pszStatus,
                                                                                 const _LinkStructType& ls) {
  if (m_disconnected || !connection().IsOpen()) return nullptr;
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

void CSinkProxy::TimedOut() {
  if (m_disconnected.exchange(true)) return;
  if (const auto session = m_session.lock()) session->DisconnectSink(this);
  // The client would otherwise wait for ever for events that no longer
  // come: its connection goes too, so that it sees the engine go away.
  connection().Close();
}

}  // namespace ps
