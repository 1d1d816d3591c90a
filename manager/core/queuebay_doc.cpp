#include "manager/core/queuebay_doc.h"

#include "contract/settings.h"
#include "contract/settings_key.h"
#include "manager/core/download_status_sink.h"

namespace {

// After a failed attempt to connect again, commands within this time go
// without the engine rather than each waiting for another start to fail.
constexpr std::chrono::seconds kReconnectPause{2};

}  // namespace

CQueuebayDoc::CQueuebayDoc(IQueuebayHost& host, ManagerDocOptions options)
    : m_host(host), m_activation(std::move(options.activation)) {
  if (options.createEngine) ConnectEngine();
}

void CQueuebayDoc::ConnectEngine() {
  // A failure leaves the document without an engine, and without a word:
  // the list stays empty.
  if (FAILED(m_engineConnection.CreateEngine(m_activation))) return;
  m_pEngine = m_engineConnection.engine();
  m_bHadEngine = true;
  RefreshDownloadingState();
  m_pSink = std::make_unique<CDownloadStatusSink>(this);
  Checked(m_engineConnection.AdviseSink(m_pSink.get(), [this] { OnEngineLost(); }));
}

IDownloadEngine* CQueuebayDoc::ReadyEngine() {
  const bool lost = m_bEngineLost.load();
  if (!lost && (m_pEngine || !m_bHadEngine)) return m_pEngine;
  const auto now = std::chrono::steady_clock::now();
  if (!lost && now < m_nextReconnect) return nullptr;
  // The dead connection goes first: once Disconnect returns, no event of it
  // is being delivered, so nothing of it can change the flag or the engine
  // pointer below, and none of its events reaches the hand-over any more.
  m_engineConnection.Disconnect();
  m_pEngine = nullptr;
  m_bDownloading.Set(false);
  m_bEngineLost = false;
  ConnectEngine();
  if (!m_pEngine) {
    m_nextReconnect = now + kReconnectPause;
    return nullptr;
  }
  // One that went away again at once has said so already.
  if (m_bEngineLost) return m_pEngine;
  m_bListOutdated = true;
  {
    // The pane no longer says that the engine stopped.
    std::lock_guard lock(m_csStatus);
    if (m_strDownloadStatus == ps::EngineConnection::kEngineStopped) m_strDownloadStatus.clear();
  }
  m_host.WakeIdleRefresh();
  if (m_host.HasView()) m_host.WakeView();
  return m_pEngine;
}

void CQueuebayDoc::OnEngineLost() {
  // Said once per connection: whichever of the dropped sink and a failed
  // call comes first.
  if (m_bEngineLost.exchange(true)) return;
  SetDownloadStatus(ps::EngineConnection::kEngineStopped);
  // The view shows the caption and the animation anew when it is woken.
  if (m_host.HasView()) m_host.WakeView();
}

HRESULT CQueuebayDoc::Checked(HRESULT hr) {
  if (hr == RPC_E_DISCONNECTED) OnEngineLost();
  return hr;
}

CQueuebayDoc::~CQueuebayDoc() {
  // Once Disconnect returns no event touches the document.
  m_engineConnection.Disconnect();
  m_pEngine = nullptr;
}

void CQueuebayDoc::RefreshDownloadingState() {
  // The engine pointer changes only while no event is being delivered.
  IDownloadEngine* engine = m_pEngine;
  if (!engine) return;
  HRESULT hr = S_OK;
  m_bDownloading.Refresh([&](std::int32_t* downloading) { return hr = engine->IsDownloading(downloading); });
  Checked(hr);
}

std::vector<_LinkStructType> CQueuebayDoc::LoadFileList() {
  std::vector<_LinkStructType> records;
  IDownloadEngine* engine = ReadyEngine();
  // What is loaded now is the current engine's list.
  m_bListOutdated = false;
  if (!engine) return records;
  std::shared_ptr<IEnumFiles> files;
  if (FAILED(Checked(engine->EnumFiles(&files))) || !files) return records;
  files->Reset();
  constexpr std::uint32_t kBatch = 5;
  _LinkStructType batch[kBatch];
  for (;;) {
    std::uint32_t fetched = 0;
    const HRESULT hr = Checked(files->Next(kBatch, batch, &fetched));
    if (FAILED(hr)) break;
    records.insert(records.end(), batch, batch + std::min(fetched, kBatch));
    if (hr != S_OK) break;
  }
  return records;
}

std::string CQueuebayDoc::DownloadStatus() const {
  std::lock_guard lock(m_csStatus);
  return m_strDownloadStatus;
}

void CQueuebayDoc::SetDownloadStatus(std::string text) {
  {
    std::lock_guard lock(m_csStatus);
    m_strDownloadStatus = std::move(text);
  }
  m_host.WakeIdleRefresh();
}

void CQueuebayDoc::AddDownload(const std::string& fileName, const std::string& url) {
  IDownloadEngine* engine = ReadyEngine();
  if (!engine) {
    // Without an engine from the start nothing happens; one that went away
    // and could not be started again has failed this download.
    if (m_bHadEngine) SetDownloadStatus(kCouldNotStart);
    return;
  }
  // An engine found gone says so instead.
  const HRESULT hr = Checked(engine->DownloadFile(fileName.c_str(), url.c_str()));
  if (FAILED(hr) && hr != RPC_E_DISCONNECTED) SetDownloadStatus(kCouldNotStart);
}

void CQueuebayDoc::CancelDownload(const std::string& url) {
  if (IDownloadEngine* engine = ReadyEngine()) Checked(engine->CancelDownloadFile(url.c_str()));
}

void CQueuebayDoc::StopDownloads() {
  if (IDownloadEngine* engine = ReadyEngine()) Checked(engine->StopAllDownloads());
}

std::optional<std::string> CQueuebayDoc::DownloadFolder() {
  IDownloadEngine* engine = ReadyEngine();
  if (!engine) return std::nullopt;
  char folder[kMaxTextBytes] = {};
  if (FAILED(Checked(engine->GetDLDir(sizeof folder, folder)))) return std::nullopt;
  return std::string(folder);
}

DownloadOptions CQueuebayDoc::ReadStoredOptions() {
  DownloadOptions options;
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  if (!key) return options;
  if (auto folder = key->ReadString(setting::kDownloadDirectory); folder && !folder->empty()) {
    options.downloadDir = std::move(*folder);
    if (options.downloadDir.back() != '/') options.downloadDir += '/';
  }
  // As stored, unchecked: the dialog shows what is there.
  options.threadCount = setting::kThreadCount.defaultValue;
  key->ReadDword(setting::kThreadCount.name, options.threadCount);
  options.maxRetries = setting::kMaxRetries.defaultValue;
  key->ReadDword(setting::kMaxRetries.name, options.maxRetries);
  return options;
}

void CQueuebayDoc::ApplyOptions(const DownloadOptions& options) {
  IDownloadEngine* engine = ReadyEngine();
  if (!engine) return;
  std::string folder = options.downloadDir;
  if (folder.empty() || folder.back() != '/') folder += '/';
  Checked(engine->SetDLDir(folder.c_str()));
  Checked(engine->SetThreadCount(options.threadCount));
  Checked(engine->SetMaxRetries(options.maxRetries));
}
