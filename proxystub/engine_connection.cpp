#include "proxystub/engine_connection.h"

#include <shared_mutex>

#include "proxystub/prompt_sink.h"

namespace ps {

// Forwards events to an owner that may go away: events share the lock,
// cutting the owner off takes it alone, so it waits for events in progress.
class CForwardingSink final : public ICallbackItf, public PromptSink {
 public:
  CForwardingSink(ICallbackItf* owner, std::function<void()> onDropped, bool ownerReturnsAtOnce)
      : m_owner(owner), m_onDropped(std::move(onDropped)), m_ownerReturnsAtOnce(ownerReturnsAtOnce) {}

  // Its own lock is short: Detach holds it only to clear the owner.
  bool ReturnsAtOnce() const override { return m_ownerReturnsAtOnce; }

  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override {
    std::shared_lock lock(m_mutex);
    if (m_owner) m_owner->DownloadStatus(dwStatus, pszStatus, ls);
    return S_OK;
  }

  void Detach() {
    std::unique_lock lock(m_mutex);
    m_owner = nullptr;
  }

  // The engine's side let go of the sink: tells an owner still attached.
  void Released() {
    std::shared_lock lock(m_mutex);
    if (m_owner && m_onDropped) m_onDropped();
  }

 private:
  std::shared_mutex m_mutex;
  ICallbackItf* m_owner;
  const std::function<void()> m_onDropped;
  const bool m_ownerReturnsAtOnce;
};

EngineConnection::EngineConnection() = default;

EngineConnection::~EngineConnection() { Disconnect(); }

HRESULT EngineConnection::CreateEngine(const ActivationOptions& options) {
  Disconnect();
  return CreateDownloadEngine(&m_engine, options);
}

HRESULT EngineConnection::AdviseSink(ICallbackItf* owner, std::function<void()> onDropped, Pace pace) {
  if (!m_engine || !owner) return E_POINTER;
  if (m_sink) return CONNECT_E_ADVISELIMIT;
  std::shared_ptr<IConnectionPoint> cp;
  HRESULT hr = m_engine->FindConnectionPoint(IID_ICallbackItf, &cp);
  if (FAILED(hr)) return hr;
  auto sink = std::make_shared<CForwardingSink>(owner, std::move(onDropped), pace == Pace::ReturnsAtOnce);
  // The engine's side holds the sink through a reference of its own, whose
  // end is the engine letting go: when the engine releases the sink, or when
  // the connection closes and drops everything it carried.
  std::shared_ptr<ICallbackItf> advised(sink.get(), [sink](ICallbackItf*) { sink->Released(); });
  hr = cp->Advise(std::move(advised), &m_cookie);
  if (FAILED(hr)) {
    sink->Detach();
    m_cookie = 0;
    return hr;
  }
  m_sink = std::move(sink);
  return hr;
}

void EngineConnection::Disconnect() {
  if (m_sink) {
    m_sink->Detach();
    if (m_engine && m_cookie) {
      std::shared_ptr<IConnectionPoint> cp;
      if (SUCCEEDED(m_engine->FindConnectionPoint(IID_ICallbackItf, &cp))) cp->Unadvise(m_cookie);
    }
    m_sink.reset();
    m_cookie = 0;
  }
  m_engine.reset();
}

}  // namespace ps
