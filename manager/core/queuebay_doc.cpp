#include "manager/core/queuebay_doc.h"

#include "manager/core/download_status_sink.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

// Without an engine the list stays empty, and nothing says why.
CQueuebayDoc::CQueuebayDoc(IQueuebayHost& host, ManagerDocOptions options)
    : m_host(host), m_link(LinkOptions(options)) {}

ps::EngineLinkOptions CQueuebayDoc::LinkOptions(ManagerDocOptions& options) {
  return {
      .connect = options.createEngine,
      .activation = std::move(options.activation),
      .makeSink = [this] { return std::make_unique<CDownloadStatusSink>(this); },
      .onLost =
          [this] {
            m_host.WakeIdleRefresh();
            // The view shows the caption and the animation anew when woken.
            if (m_host.HasView()) m_host.WakeView();
          },
      // The list shows a queue that is gone.
      .onBack =
          [this] {
            m_bListOutdated = true;
            m_host.WakeIdleRefresh();
            if (m_host.HasView()) m_host.WakeView();
          },
  };
}

CDownloadStatusSink* CQueuebayDoc::Sink() const { return static_cast<CDownloadStatusSink*>(m_link.Sink()); }

CQueuebayDoc::~CQueuebayDoc() {
  // Once Disconnect returns no event touches the document.
  m_link.Disconnect();
}

void CQueuebayDoc::RefreshDownloadingState() { m_link.RefreshDownloading(); }

std::vector<_LinkStructType> CQueuebayDoc::LoadFileList() {
  std::vector<_LinkStructType> records;
  IDownloadEngine* engine = m_link.ReadyEngine();
  // What is loaded now is the current engine's list.
  m_bListOutdated = false;
  if (!engine) return records;
  std::shared_ptr<IEnumFiles> files;
  if (FAILED(m_link.Checked(engine->EnumFiles(&files))) || !files) return records;
  files->Reset();
  constexpr std::uint32_t kBatch = 5;
  _LinkStructType batch[kBatch];
  for (;;) {
    std::uint32_t fetched = 0;
    const HRESULT hr = m_link.Checked(files->Next(kBatch, batch, &fetched));
    if (FAILED(hr)) break;
    records.insert(records.end(), batch, batch + std::min(fetched, kBatch));
    if (hr != S_OK) break;
  }
  return records;
}

std::string CQueuebayDoc::DownloadStatus() const { return m_link.Status(); }

void CQueuebayDoc::SetDownloadStatus(std::string text) {
  m_link.SetStatus(std::move(text));
  m_host.WakeIdleRefresh();
}

void CQueuebayDoc::AddDownload(const std::string& fileName, const std::string& url) {
  IDownloadEngine* engine = m_link.ReadyEngine();
  if (!engine) {
    // Without an engine from the start nothing happens; one that went away
    // and could not be started again has failed this download.
    if (m_link.HadEngine()) SetDownloadStatus(kCouldNotStart);
    return;
  }
  // An engine found gone says so instead.
  const HRESULT hr = m_link.Checked(engine->DownloadFile(fileName.c_str(), url.c_str()));
  if (FAILED(hr) && hr != RPC_E_DISCONNECTED) SetDownloadStatus(kCouldNotStart);
}

void CQueuebayDoc::CancelDownload(const std::string& url) {
  if (IDownloadEngine* engine = m_link.ReadyEngine()) m_link.Checked(engine->CancelDownloadFile(url.c_str()));
}

void CQueuebayDoc::StopDownloads() {
  if (IDownloadEngine* engine = m_link.ReadyEngine()) m_link.Checked(engine->StopAllDownloads());
}

std::optional<std::string> CQueuebayDoc::DownloadFolder() {
  IDownloadEngine* engine = m_link.ReadyEngine();
  if (!engine) return std::nullopt;
  char folder[kMaxTextBytes] = {};
  if (FAILED(m_link.Checked(engine->GetDLDir(sizeof folder, folder)))) return std::nullopt;
  return std::string(folder);
}

DownloadOptions CQueuebayDoc::ReadStoredOptions() {
  DownloadOptions options;
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  options.notices = ReadSetting(key.get(), setting::kManagerNotices) != 0;
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
  if (const auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick))
    WriteSetting(*key, setting::kManagerNotices, options.notices ? 1 : 0);
  IDownloadEngine* engine = m_link.ReadyEngine();
  if (!engine) return;
  std::string folder = options.downloadDir;
  if (folder.empty() || folder.back() != '/') folder += '/';
  m_link.Checked(engine->SetDLDir(folder.c_str()));
  m_link.Checked(engine->SetThreadCount(options.threadCount));
  m_link.Checked(engine->SetMaxRetries(options.maxRetries));
}
