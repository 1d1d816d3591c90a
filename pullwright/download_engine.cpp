#include "pullwright/download_engine.h"

#include <sys/stat.h>

#include <cstring>

#include "contract/settings.h"
#include "contract/settings_key.h"
#include "contract/status.h"
#include "pullwright/enum_files.h"
#include "pullwright/file_helpers.h"

namespace {

// The connection slots grow from one to four and then double.
std::size_t GrownSlotCount(std::size_t count) { return count == 0 ? 1 : count == 1 ? 4 : count * 2; }

bool SameHref(const _LinkStructType& record, const char* href) {
  return std::strncmp(record.szHref, href, kMaxTextBytes) == 0;
}

bool FitsRecord(const char* text) { return text && std::strlen(text) < kMaxTextBytes; }

}  // namespace

std::shared_ptr<CDownloadEngine> CDownloadEngine::Create(EngineOptions options, std::function<void(bool)> serverLock) {
  std::shared_ptr<CDownloadEngine> engine(new CDownloadEngine(options, std::move(serverLock)));
  engine->Start();
  return engine;
}

CDownloadEngine::CDownloadEngine(EngineOptions options, std::function<void(bool)> serverLock)
    : m_options(options), m_serverLock(std::move(serverLock)) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  m_szDLDir = ReadDownloadDirectory(key.get());
  // A relative folder stored by an older version would be taken from the
  // server's own working folder.
  if (m_szDLDir.front() != '/') m_szDLDir = DefaultDownloadDirectory();
  m_dwThreadCount = ReadSetting(key.get(), setting::kThreadCount);
  m_dwMaxRetries = ReadSetting(key.get(), setting::kMaxRetries);
  // One level only, as the folder is made whole when a transfer needs it.
  ::mkdir(m_szDLDir.c_str(), 0777);
}

void CDownloadEngine::Start() {
  m_workers.reserve(m_dwThreadCount);
  for (std::uint32_t index = 0; index < m_dwThreadCount; ++index) {
    auto slot = std::make_unique<WorkerSlot>();
    slot->nIndex = index;
    slot->pEngine = this;
    m_workers.push_back(std::move(slot));
  }
  for (auto& slot : m_workers) slot->hThread = std::thread(WorkerLoop, std::ref(*slot));
}

CDownloadEngine::~CDownloadEngine() { Shutdown(); }

void CDownloadEngine::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  StopAllDownloads();
  m_signal.SetStop();
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
  {
    std::lock_guard lock(m_csQueue);
    m_pending.push_back(record);
  }
  FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, record.ls);
  m_signal.SetWork();
  return S_OK;
}

HRESULT CDownloadEngine::CancelDownloadFile(const char* pszHref) {
  if (!pszHref) return E_POINTER;
  bool matched = false;
  _LinkStructType cancelled{};
  {
    std::lock_guard lock(m_csQueue);
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
      if (!SameHref(it->ls, pszHref)) continue;
      cancelled = it->ls;
      m_pending.erase(it);
      matched = true;
      break;
    }
    if (!matched) {
      for (auto& slot : m_workers) {
        if (!slot->pCurrent || !SameHref(slot->pCurrent->ls, pszHref)) continue;
        if (slot->hInternet) {
          slot->hInternet->Close();
          slot->hInternet.reset();
        }
        // Marked even before the worker opened its session, so that the
        // transfer neither starts nor comes back.
        slot->bCancelled = true;
        slot->cancelCause = WorkerSlot::Cause::Canceled;
        m_active.erase(slot->pCurrent);
        if (!matched) cancelled = slot->pCurrent->ls;
        matched = true;
      }
    }
  }
  if (matched) {
    const std::string text = FormatText(status_text::kCanceled, cancelled.szFileName);
    FireDownloadStatus(STATUS_DONE, text.c_str(), cancelled);
  }
  return S_OK;
}

HRESULT CDownloadEngine::StopAllDownloads() {
  std::lock_guard lock(m_csQueue);
  for (auto& slot : m_workers) {
    if (slot->hInternet) {
      slot->hInternet->Close();
      slot->hInternet.reset();
    }
    // A file cancelled just before keeps saying so.
    if (slot->pCurrent && !slot->bCancelled) {
      slot->bCancelled = true;
      slot->cancelCause = WorkerSlot::Cause::Stopped;
    }
  }
  m_pending.clear();
  return S_OK;
}

HRESULT CDownloadEngine::IsDownloading(std::int32_t* pfDownloading) {
  if (!pfDownloading) return E_POINTER;
  *pfDownloading = m_nActive.load() != 0 ? 1 : 0;
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
  std::lock_guard lock(m_csQueue);
  m_szDLDir = std::move(directory);
  return S_OK;
}

HRESULT CDownloadEngine::GetDLDir(std::uint32_t dwLen, char* pszFile) {
  if (!pszFile) return E_FAIL;
  const std::string directory = DownloadDirectory();
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
  m_dwMaxRetries = dwMaxRetries;
  return S_OK;
}

std::vector<_LinkStructType> CDownloadEngine::Snapshot(Listing listing) {
  std::vector<_LinkStructType> records;
  std::lock_guard lock(m_csQueue);
  records.reserve(m_active.size() + m_pending.size());
  if (listing != Listing::Pending)
    for (const QueuedRecord* active : m_active) records.push_back(active->ls);
  if (listing != Listing::Active)
    for (const QueuedRecord& pending : m_pending) records.push_back(pending.ls);
  return records;
}

std::shared_ptr<IEnumFiles> CDownloadEngine::MakeEnumerator(Listing listing) {
  std::weak_ptr<CDownloadEngine> weak = weak_from_this();
  auto snapshot = [weak, listing]() -> std::vector<_LinkStructType> {
    auto engine = weak.lock();
    return engine ? engine->Snapshot(listing) : std::vector<_LinkStructType>{};
  };
  auto enumerator = std::make_shared<CEnumFiles>(std::move(snapshot), m_serverLock);
  enumerator->Reset();
  return enumerator;
}

HRESULT CDownloadEngine::EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(Listing::All);
  return S_OK;
}

HRESULT CDownloadEngine::EnumPending(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(Listing::Pending);
  return S_OK;
}

HRESULT CDownloadEngine::EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  *pEnum = MakeEnumerator(Listing::Active);
  return S_OK;
}

HRESULT CDownloadEngine::FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) {
  if (!ppCP) return E_POINTER;
  if (!(riid == IID_ICallbackItf)) return CONNECT_E_NOCONNECTION;
  *ppCP = std::shared_ptr<IConnectionPoint>(shared_from_this(), static_cast<IConnectionPoint*>(this));
  return S_OK;
}

HRESULT CDownloadEngine::Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard lock(m_csSinks);
  std::size_t free = 0;
  while (free < m_sinks.size() && m_sinks[free]) ++free;
  if (free == m_sinks.size()) m_sinks.resize(GrownSlotCount(m_sinks.size()));
  m_sinks[free] = std::move(pUnkSink);
  *pdwCookie = static_cast<std::uint32_t>(free + 1);
  return S_OK;
}

HRESULT CDownloadEngine::Unadvise(std::uint32_t dwCookie) {
  std::shared_ptr<ICallbackItf> released;  // released after the lock is left
  std::lock_guard lock(m_csSinks);
  if (dwCookie == 0 || dwCookie > m_sinks.size() || !m_sinks[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
  released = std::move(m_sinks[dwCookie - 1]);
  if (m_sinks.size() == 1) m_sinks.clear();
  return S_OK;
}

void CDownloadEngine::FireDownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
  // Sinks in other processes take the event without an immediate wait, so
  // every sink has it in flight at once; the thread goes on only after all
  // of them answered.
  std::vector<std::unique_ptr<IPipelinedCallback::PendingCall>> pending;
  for (std::size_t index = 0;; ++index) {
    std::shared_ptr<ICallbackItf> sink;
    {
      std::lock_guard lock(m_csSinks);
      if (index >= m_sinks.size()) break;
      sink = m_sinks[index];
    }
    if (sink) {
      if (auto* pipelined = dynamic_cast<IPipelinedCallback*>(sink.get()))
        pending.push_back(pipelined->BeginDownloadStatus(dwStatus, pszStatus, ls));
      else
        sink->DownloadStatus(dwStatus, pszStatus, ls);
    }
    if (dwStatus == STATUS_ERROR) break;  // errors reach the first connection only
  }
  // The last sink called answers last, most likely: waiting for it first
  // finds the others' answers already in, so the thread sleeps once.
  for (auto call = pending.rbegin(); call != pending.rend(); ++call)
    if (*call) (*call)->Wait();
}

std::string CDownloadEngine::DownloadDirectory() {
  std::lock_guard lock(m_csQueue);
  return m_szDLDir;
}

bool CDownloadEngine::PutBack(WorkerSlot& slot, const QueuedRecord& record, bool wakeWorker) {
  {
    std::lock_guard lock(m_csQueue);
    if (slot.bCancelled) return false;
    m_pending.push_back(record);
  }
  FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, record.ls);
  if (wakeWorker) m_signal.SetWork();
  return true;
}
