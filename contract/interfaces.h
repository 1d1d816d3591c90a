#pragma once

#include <cstdint>
#include <memory>

#include "contract/hresult.h"
#include "contract/identities.h"
#include "contract/link_record.h"

// The engine's interfaces in their in-process form. Objects are held by
// std::shared_ptr; across processes the same classes are implemented by
// proxies. Texts are 8-bit, zero-terminated, and travel as they are.

// Method slots as numbered on the wire (after the base interface's slots).
enum class EngineSlot : std::uint32_t {
  DownloadFile = 3,
  CancelDownloadFile = 4,
  StopAllDownloads = 5,
  IsDownloading = 6,
  SetDLDir = 7,
  GetDLDir = 8,
  SetThreadCount = 9,
  SetMaxRetries = 10,
  EnumFiles = 11,
  EnumPending = 12,
  EnumDownloading = 13,
};

enum class EnumFilesSlot : std::uint32_t {
  Next = 3,
  Skip = 4,
  Reset = 5,
  Clone = 6,
};

enum class CallbackSlot : std::uint32_t {
  DownloadStatus = 7,
};

class IEnumFiles {
 public:
  virtual ~IEnumFiles() = default;
  // Delivers up to `celt` records into `rgelt`; S_OK when all `celt` were
  // delivered, S_FALSE when fewer were left. `pceltFetched` may be null.
  virtual HRESULT Next(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) = 0;
  virtual HRESULT Skip(std::uint32_t celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(std::shared_ptr<IEnumFiles>* ppenum) = 0;
};

// The outgoing interface: one call per engine event.
class ICallbackItf {
 public:
  virtual ~ICallbackItf() = default;
  virtual HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) = 0;
};

// Optional second face of a sink that lives in another process: the event is
// sent at once and its answer awaited later, so that an engine thread can
// have one event in flight to every connected sink at the same time instead
// of paying one round trip per sink. Each sink still gets its events in order.
class IPipelinedCallback {
 public:
  class PendingCall {
   public:
    virtual ~PendingCall() = default;
    // Waits for the sink's answer (or for the connection's time limit).
    virtual HRESULT Wait() = 0;
  };
  virtual ~IPipelinedCallback() = default;
  virtual std::unique_ptr<PendingCall> BeginDownloadStatus(std::uint32_t dwStatus, const char* pszStatus,
                                                           const _LinkStructType& ls) = 0;
};

class IConnectionPoint {
 public:
  virtual ~IConnectionPoint() = default;
  // Connects a sink; the cookie identifies the connection for Unadvise.
  virtual HRESULT Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t dwCookie) = 0;
};

class IDownloadEngine {
 public:
  virtual ~IDownloadEngine() = default;
  virtual HRESULT DownloadFile(const char* pszFile, const char* pszHref) = 0;
  virtual HRESULT CancelDownloadFile(const char* pszHref) = 0;
  virtual HRESULT StopAllDownloads() = 0;
  virtual HRESULT IsDownloading(std::int32_t* pfDownloading) = 0;
  virtual HRESULT SetDLDir(const char* pszFile) = 0;
  virtual HRESULT GetDLDir(std::uint32_t dwLen, char* pszFile) = 0;
  virtual HRESULT SetThreadCount(std::uint32_t dwThreadCount) = 0;
  virtual HRESULT SetMaxRetries(std::uint32_t dwMaxRetries) = 0;
  virtual HRESULT EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) = 0;
  virtual HRESULT EnumPending(std::shared_ptr<IEnumFiles>* pEnum) = 0;
  virtual HRESULT EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) = 0;

  // The connection point container: the engine has one connection point,
  // for IID_ICallbackItf; any other identity gives CONNECT_E_NOCONNECTION.
  virtual HRESULT FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) = 0;
};
