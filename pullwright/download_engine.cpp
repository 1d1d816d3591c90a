#include "pullwright/download_engine.h"

#include <sys/stat.h>

#include <cstring>

#include "contract/status.h"
#include "pullwright/enum_files.h"
#include "pullwright/file_helpers.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

namespace {

bool FitsRecord(const char* text) { return text && std::strlen(text) < kMaxTextBytes; }

}  // namespace

std::shared_ptr<CDownloadEngine> CDownloadEngine::Create(EngineOptions options, std::function<void(bool)> serverLock) {
  std::shared_ptr<CDownloadEngine> engine(new CDownloadEngine(options, std::move(serverLock)));
  engine->Start();
  return engine;
}

CDownloadEngine::CDownloadEngine(EngineOptions options, std::function<void(bool)> serverLock)
    : m_serverLock(std::move(serverLock)) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  std::string directory = ReadDownloadDirectory(key.get());
  // A relative folder stored by an older version would be taken from the
  // server's own working folder.
  if (directory.front() != '/') directory = DefaultDownloadDirectory();
  m_dwThreadCount = ReadSetting(key.get(), setting::kThreadCount);
  // One level only, as the folder is made whole when a transfer needs it.
  ::mkdir(directory.c_str(), 0777);
  m_core = std::make_unique<EngineCore>(options, m_dwThreadCount, std::move(directory),
                                        ReadSetting(key.get(), setting::kMaxRetries));
}

void CDownloadEngine::Start() {
  m_workers.reserve(m_dwThreadCount);
  for (std::uint32_t index = 0; index < m_dwThreadCount; ++index) {
    auto slot = std::make_unique<WorkerSlot>();
    slot->nIndex = index;
    slot->pEngine = m_core.get();
    m_workers.push_back(std::move(slot));
  }
  for (auto& slot : m_workers) slot->hThread = std::thread(WorkerLoop, std::ref(*slot));
}

CDownloadEngine::~CDownloadEngine() { Shutdown(); }

void CDownloadEngine::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  StopAllDownloads();
  m_core->m_signal.SetStop();
  for (auto& slot : m_workers)
    if (slot->hThread.joinable()) slot->hThread.join();
  m_workers.clear();
}

HRESULT CDownloadEngine::DownloadFile(const char* pszFile, const char* pszHref) {
  if (!pszFile || !pszHref) return E_POINTER;
  // A text the record cannot hold is refused, not cut: a cut address would
  // fetch something else.
  if (!FitsRecord(pszFile) || !FitsRecord(pszHref)) return E_INVALIDARG;
  QueuedRecord record;
  CopyRecordText(record.ls.szHref, pszHref);
  CopyRecordText(record.ls.szFileName, SafeFileName(pszFile, pszHref));
  const _LinkStructType queued = record.ls;
  m_core->m_queue.Append(std::move(record));
  FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, queued);
  m_core->m_signal.SetWork();
  return S_OK;
}

HRESULT CDownloadEngine::CancelDownloadFile(const char* pszHref) {
  if (!pszHref) return E_POINTER;
  if (const auto cancelled = m_core->m_queue.Cancel(pszHref)) {
    const std::string text = FormatText(status_text::kCanceled, cancelled->szFileName);
    FireDownloadStatus(STATUS_DONE, text.c_str(), *cancelled);
  }
  return S_OK;
}

// Each aborted transfer ends with its own report; the records still waiting
// vanish without one.
HRESULT CDownloadEngine::StopAllDownloads() {
  m_core->m_queue.StopAll();
  return S_OK;
}

HRESULT CDownloadEngine::IsDownloading(std::int32_t* pfDownloading) {
  if (!pfDownloading) return E_POINTER;
  *pfDownloading = m_core->m_nActive.load() != 0 ? 1 : 0;
  return S_OK;
}

HRESULT CDownloadEngine::SetDLDir(const char* pszFile) {
  if (!pszFile) return E_POINTER;
  // A folder that is not absolute would be taken from wherever the server
  // happens to run, not from where the caller meant.
  if (*pszFile != '/' || !FitsRecord(pszFile)) return E_INVALIDARG;
  const auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  if (!key || !WriteDownloadDirectory(*key, pszFile)) return E_FAIL;
  if (FileSizeIfExists(pszFile) == 0) ::mkdir(pszFile, 0777);
  std::string directory = pszFile;
  // Target paths are folder + name, so the folder must end with a separator.
  if (directory.back() != '/') directory += '/';
  m_core->m_queue.SetDirectory(std::move(directory));
  return S_OK;
}

HRESULT CDownloadEngine::GetDLDir(std::uint32_t dwLen, char* pszFile) {
  if (!pszFile) return E_FAIL;
  const std::string directory = m_core->m_queue.Directory();
  if (directory.size() + 1 > dwLen) return E_FAIL;
  std::memcpy(pszFile, directory.c_str(), directory.size() + 1);
  return S_OK;
}

HRESULT CDownloadEngine::SetThreadCount(std::uint32_t dwThreadCount) {
  const auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  if (!key || !WriteSetting(*key, setting::kThreadCount, dwThreadCount)) return E_FAIL;
  return S_OK;
}

HRESULT CDownloadEngine::SetMaxRetries(std::uint32_t dwMaxRetries) {
  const auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  if (!key || !WriteSetting(*key, setting::kMaxRetries, dwMaxRetries)) return E_FAIL;
  m_core->m_dwMaxRetries = dwMaxRetries;
  return S_OK;
}

std::shared_ptr<IEnumFiles> CDownloadEngine::MakeEnumerator(DownloadQueue::Listing listing) {
  std::weak_ptr<CDownloadEngine> weak = weak_from_this();
  auto snapshot = [weak, listing]() -> std::vector<_LinkStructType> {
    auto engine = weak.lock();
    return engine ? engine->m_core->m_queue.Snapshot(listing) : std::vector<_LinkStructType>{};
  };
  auto enumerator = std::make_shared<CEnumFiles>(std::move(snapshot), m_serverLock);
  enumerator->Reset();
  return enumerator;
}

HRESULT CDownloadEngine::EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(DownloadQueue::Listing::All);
  return S_OK;
}

HRESULT CDownloadEngine::EnumPending(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(DownloadQueue::Listing::Pending);
  return S_OK;
}

HRESULT CDownloadEngine::EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(DownloadQueue::Listing::Active);
  return S_OK;
}

HRESULT CDownloadEngine::FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) {
  if (!ppCP) return E_POINTER;
  if (!(riid == IID_ICallbackItf)) return CONNECT_E_NOCONNECTION;
  *ppCP = std::shared_ptr<IConnectionPoint>(shared_from_this(), static_cast<IConnectionPoint*>(this));
  return S_OK;
}

HRESULT CDownloadEngine::Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) {
  return m_core->m_sinks.Advise(std::move(pUnkSink), pdwCookie);
}

HRESULT CDownloadEngine::Unadvise(std::uint32_t dwCookie) { return m_core->m_sinks.Unadvise(dwCookie); }

void CDownloadEngine::FireDownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
  m_core->FireDownloadStatus(dwStatus, pszStatus, ls);
}
