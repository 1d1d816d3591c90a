// CFetchwickDoc: the engine connection. It is made with the document; when
// the engine goes away (killed, crashed, or it dropped the callback object)
// the document says so, and the next command that needs the engine connects
// again.

#include "crawler/core/callback_itf.h"
#include "crawler/core/fetchwick_doc.h"

namespace {

// After a failed attempt to connect again, commands within this time go
// without the engine rather than each waiting for another start to fail
// (Download File(s) asks once per row).
constexpr std::chrono::seconds kReconnectPause{2};

}  // namespace

void CFetchwickDoc::ConnectEngine(const ps::ActivationOptions& activation) {
  if (FAILED(m_engineConnection.CreateEngine(activation))) return;  // the own downloader serves
  m_pEngine = m_engineConnection.engine();
  m_bHadEngine = true;
  RefreshDownloading();
  // Failures to advise are not reported: downloads work, only their
  // progress is not shown. An engine found gone is, as after any call.
  m_pSink = std::make_unique<CallbackItf>(this);
  Checked(m_engineConnection.AdviseSink(m_pSink.get(), [this] { OnEngineLost(); }));
}

void CFetchwickDoc::RefreshDownloading() {
  // The engine pointer changes only while no event is being delivered.
  IDownloadEngine* engine = m_pEngine;
  if (!engine) return;
  HRESULT hr = S_OK;
  m_bDownloading.Refresh([&](std::int32_t* downloading) { return hr = engine->IsDownloading(downloading); });
  Checked(hr);
}

HRESULT CFetchwickDoc::Checked(HRESULT hr) {
  if (hr == RPC_E_DISCONNECTED) OnEngineLost();
  return hr;
}

void CFetchwickDoc::OnEngineLost() {
  // Said once per connection: whichever of the dropped sink and a failed
  // call comes first.
  if (m_bClosing || m_bEngineLost.exchange(true)) return;
  SetDownloadStatus(ps::EngineConnection::kEngineStopped);
}

IDownloadEngine* CFetchwickDoc::ReadyEngine() {
  const bool lost = m_bEngineLost.load();
  if (m_bClosing || (!lost && (m_pEngine || !m_bHadEngine))) return m_pEngine;
  const auto now = std::chrono::steady_clock::now();
  if (!lost && now < m_nextReconnect) return nullptr;
  // The dead connection goes first: once Disconnect returns, no event of it
  // is being delivered, so nothing of it can change the flag or the engine
  // pointer below.
  m_engineConnection.Disconnect();
  if (m_pEngine) m_bDownloading.Set(false);
  m_pEngine = nullptr;
  m_bEngineLost = false;
  ConnectEngine(m_activation);
  if (!m_pEngine) {
    m_nextReconnect = now + kReconnectPause;
    return nullptr;
  }
  // One that went away again at once has said so already.
  if (m_bEngineLost) return m_pEngine;
  {
    // The pane no longer says that the engine stopped.
    std::lock_guard lock(m_csStatus);
    if (m_strDownloadStatus == ps::EngineConnection::kEngineStopped) m_strDownloadStatus.clear();
  }
  if (m_host.HasMainWindow()) m_host.WakeIdleRefresh();
  return m_pEngine;
}
