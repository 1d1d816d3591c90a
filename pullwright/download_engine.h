#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/interfaces.h"
#include "pullwright/engine_core.h"
#include "pullwright/worker_slot.h"

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
  CDownloadEngine(EngineOptions options, std::function<void(bool)> serverLock);
  void Start();
  void Shutdown();
  std::shared_ptr<IEnumFiles> MakeEnumerator(DownloadQueue::Listing listing);

  const std::function<void(bool)> m_serverLock;
  std::uint32_t m_dwThreadCount = 5;
  // The queue, the sinks and all the workers share; created once the
  // settings are read.
  std::unique_ptr<EngineCore> m_core;
  std::vector<std::unique_ptr<WorkerSlot>> m_workers;
  bool m_shutDown = false;
};
