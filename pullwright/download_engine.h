#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "contract/interfaces.h"
#include "pullwright/queued_record.h"
#include "pullwright/work_signal.h"
#include "pullwright/worker_slot.h"

// Time limits of the workers' HTTP sessions. Real servers get generous
// defaults; tests use short ones.
struct EngineOptions {
  std::chrono::milliseconds connectTimeout{30000};
  std::chrono::milliseconds dataTimeout{60000};
  // Downloads go through the proxy the user's environment names, as the
  // crawler's page fetches and size queries do, so nothing bypasses it.
  http::ProxyMode proxy = http::ProxyMode::System;
  // The first wait before asking a refusing or busy server again; each
  // further retry waits twice as long.
  std::chrono::milliseconds firstRetryWait{1000};
};

// The download engine: one queue of records shared by every client, a fixed
// pool of workers that transfer them, and the connection point through which
// every event reaches the connected sinks. Create it with Create(); its
// destruction stops every transfer and joins the workers.
class CDownloadEngine final : public IDownloadEngine,
                              public IConnectionPoint,
                              public std::enable_shared_from_this<CDownloadEngine> {
 public:
  // Reads the settings (download folder, thread count, retry limit) and
  // starts the worker pool. `serverLock` is told when enumerators come and
  // go, since each keeps the server process alive.
  static std::shared_ptr<CDownloadEngine> Create(EngineOptions options = {},
                                                 std::function<void(bool)> serverLock = {});
  ~CDownloadEngine() override;

  // IDownloadEngine
  HRESULT DownloadFile(const char* pszFile, const char* pszHref) override;
  HRESULT CancelDownloadFile(const char* pszHref) override;
  HRESULT StopAllDownloads() override;
  HRESULT IsDownloading(std::int32_t* pfDownloading) override;
  HRESULT SetDLDir(const char* pszFile) override;
  HRESULT GetDLDir(std::uint32_t dwLen, char* pszFile) override;
  HRESULT SetThreadCount(std::uint32_t dwThreadCount) override;
  HRESULT SetMaxRetries(std::uint32_t dwMaxRetries) override;
  HRESULT EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT EnumPending(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) override;

  // IConnectionPoint
  HRESULT Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) override;
  HRESULT Unadvise(std::uint32_t dwCookie) override;

  // Sends one event to the connected sinks: an error only to the first
  // slot, everything else to every slot in order. Never called under a lock.
  void FireDownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls);

  std::uint32_t ThreadCount() const { return m_dwThreadCount; }

 private:
  friend void WorkerLoop(WorkerSlot& slot);
  friend class TransferAttempt;

  enum class Listing { All, Pending, Active };

  CDownloadEngine(EngineOptions options, std::function<void(bool)> serverLock);
  void Start();
  void Shutdown();
  std::vector<_LinkStructType> Snapshot(Listing listing);
  std::shared_ptr<IEnumFiles> MakeEnumerator(Listing listing);
  std::string DownloadDirectory();
  // Puts a record at the back of the queue unless its transfer was cancelled;
  // reports it queued and, when asked, wakes a worker.
  bool PutBack(WorkerSlot& slot, const QueuedRecord& record, bool wakeWorker);

  const EngineOptions m_options;
  const std::function<void(bool)> m_serverLock;

  // Connection slots, guarded by m_csSinks (the object lock).
  std::mutex m_csSinks;
  std::vector<std::shared_ptr<ICallbackItf>> m_sinks;

  // Guards m_pending, m_active, m_szDLDir and each slot's hInternet,
  // pCurrent and bCancelled. Never held across a network call, a file
  // operation or a status report.
  std::mutex m_csQueue;
  std::list<QueuedRecord> m_pending;
  std::set<QueuedRecord*> m_active;
  std::string m_szDLDir;

  WorkSignal m_signal;  // m_hStopEvent and m_hWorkEvent
  std::vector<std::unique_ptr<WorkerSlot>> m_workers;
  std::atomic<std::uint32_t> m_nActive{0};
  std::atomic<std::uint32_t> m_dwMaxRetries{5};
  std::uint32_t m_dwThreadCount = 5;
  bool m_shutDown = false;
};
