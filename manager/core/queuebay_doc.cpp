#include "manager/core/queuebay_doc.h"

#include "contract/settings.h"
#include "contract/settings_key.h"
#include "manager/core/download_status_sink.h"

CQueuebayDoc::CQueuebayDoc(IQueuebayHost& host, ManagerDocOptions options) : m_host(host) {
  if (!options.createEngine) return;
  // A failure leaves the document without an engine, and without a word:
  // the list stays empty.
  if (FAILED(m_engineConnection.CreateEngine(options.activation))) return;
  m_pEngine = m_engineConnection.engine();
  RefreshDownloadingState();
  m_pSink = std::make_unique<CDownloadStatusSink>(this);
  m_engineConnection.AdviseSink(m_pSink.get());
}

CQueuebayDoc::~CQueuebayDoc() {
  // Once Disconnect returns no event touches the document.
  m_engineConnection.Disconnect();
  m_pEngine = nullptr;
}

void CQueuebayDoc::RefreshDownloadingState() {
  if (!m_pEngine) return;
  m_bDownloading.Refresh([&](std::int32_t* downloading) { return m_pEngine->IsDownloading(downloading); });
}

std::vector<_LinkStructType> CQueuebayDoc::LoadFileList() {
  std::vector<_LinkStructType> records;
  if (!m_pEngine) return records;
  std::shared_ptr<IEnumFiles> files;
  if (FAILED(m_pEngine->EnumFiles(&files)) || !files) return records;
  files->Reset();
  constexpr std::uint32_t kBatch = 5;
  _LinkStructType batch[kBatch];
  for (;;) {
    std::uint32_t fetched = 0;
    const HRESULT hr = files->Next(kBatch, batch, &fetched);
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
  if (!m_pEngine) return;
  if (FAILED(m_pEngine->DownloadFile(fileName.c_str(), url.c_str()))) SetDownloadStatus(kCouldNotStart);
}

void CQueuebayDoc::CancelDownload(const std::string& url) {
  if (m_pEngine) m_pEngine->CancelDownloadFile(url.c_str());
}

void CQueuebayDoc::StopDownloads() {
  if (m_pEngine) m_pEngine->StopAllDownloads();
}

std::optional<std::string> CQueuebayDoc::DownloadFolder() {
  if (!m_pEngine) return std::nullopt;
  char folder[kMaxTextBytes] = {};
  if (FAILED(m_pEngine->GetDLDir(sizeof folder, folder))) return std::nullopt;
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
  if (!m_pEngine) return;
  std::string folder = options.downloadDir;
  if (folder.empty() || folder.back() != '/') folder += '/';
  m_pEngine->SetDLDir(folder.c_str());
  m_pEngine->SetThreadCount(options.threadCount);
  m_pEngine->SetMaxRetries(options.maxRetries);
}
