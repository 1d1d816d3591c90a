#include "proxystub/engine_link.h"

namespace ps {

namespace {

// After a failed attempt to connect again, commands within this time go
// without the engine rather than each waiting for another start to fail
// (the crawler's Download File(s) asks once per row).
constexpr std::chrono::seconds kReconnectPause{2};

}  // namespace

EngineLink::EngineLink(EngineLinkOptions options) : m_options(std::move(options)) {
  if (m_options.connect) Connect();
}

EngineLink::~EngineLink() { Disconnect(); }

void EngineLink::Connect() {
  // A failure leaves the client without an engine, and without a word.
  if (FAILED(m_engineConnection.CreateEngine(m_options.activation))) return;
  m_pEngine = m_engineConnection.engine();
  m_bHadEngine = true;
  RefreshDownloading();
  // The same sink serves every connection: the previous one has let go of
  // it by now. Failures to advise are not reported: downloads work, only
  // their progress is not shown. An engine found gone is, as after any call.
  if (!m_pSink && m_options.makeSink) m_pSink = m_options.makeSink();
  // Both windows' sinks copy an event and hand it over to their view; at
  // a transfer's start and end they ask the engine whether it downloads,
  // which it answers without waiting for any sink.
  if (m_pSink)
    Checked(m_engineConnection.AdviseSink(m_pSink.get(), [this] { OnEngineLost(); },
                                          EngineConnection::Pace::ReturnsAtOnce));
}

IDownloadEngine* EngineLink::ReadyEngine() {
  const bool lost = m_bEngineLost.load();
  if (m_bClosed || (!lost && (m_pEngine || !m_bHadEngine))) return m_pEngine;
  const auto now = std::chrono::steady_clock::now();
  if (!lost && now < m_nextReconnect) return nullptr;
  // The dead connection goes first: once Disconnect returns, no event of it
  // is being delivered, so nothing of it can change the flag or the engine
  // pointer below. Without an engine the flag may be the client's own.
  m_engineConnection.Disconnect();
  if (m_pEngine) m_bDownloading.Set(false);
  m_pEngine = nullptr;
  m_bEngineLost = false;
  Connect();
  if (!m_pEngine) {
    m_nextReconnect = now + kReconnectPause;
    return nullptr;
  }
  // One that went away again at once has said so already.
  if (m_bEngineLost) return m_pEngine;
  {
    // The pane no longer says that the engine stopped.
    std::lock_guard lock(m_csStatus);
    if (m_strDownloadStatus == EngineConnection::kEngineStopped) m_strDownloadStatus.clear();
  }
  if (m_options.onBack) m_options.onBack();
  return m_pEngine;
}

HRESULT EngineLink::Checked(HRESULT hr) {
  if (hr == RPC_E_DISCONNECTED) OnEngineLost();
  return hr;
}

void EngineLink::OnEngineLost() {
  // Said once per connection: whichever of the dropped sink and a failed
  // call comes first.
  if (m_bClosed || m_bEngineLost.exchange(true)) return;
  SetStatus(EngineConnection::kEngineStopped);
  if (m_options.onLost) m_options.onLost();
}

void EngineLink::Disconnect() {
  m_bClosed = true;
  m_engineConnection.Disconnect();
  m_pEngine = nullptr;
}

void EngineLink::RefreshDownloading() {
  // The engine pointer changes only while no event is being delivered.
  IDownloadEngine* engine = m_pEngine;
  if (!engine) return;
  HRESULT hr = S_OK;
  m_bDownloading.Refresh([&](std::int32_t* downloading) { return hr = engine->IsDownloading(downloading); });
  Checked(hr);
}

std::string EngineLink::Status() const {
  std::lock_guard lock(m_csStatus);
  return m_strDownloadStatus;
}

void EngineLink::SetStatus(std::string text) {
  std::lock_guard lock(m_csStatus);
  m_strDownloadStatus = std::move(text);
}

}  // namespace ps
