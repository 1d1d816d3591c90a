#pragma once

#include <cstdint>
#include <memory>

#include "contract/hresult.h"
#include "contract/identities.h"
#include "contract/interface_methods.h"
#include "contract/link_record.h"

// The engine's interfaces in their in-process form. Objects are held by
// std::shared_ptr; across processes the same classes are implemented by
// proxies. Texts are 8-bit, zero-terminated, and travel as they are.

// The methods are declared from their lists in interface_methods.h, which
// also give each its number on the wire.
class IEnumFiles {
 public:
  virtual ~IEnumFiles() = default;
  PW_ENUM_FILES_METHODS(PW_DECLARE_METHOD, IEnumFiles)
};

// The outgoing interface: one call per engine event.
class ICallbackItf {
 public:
  virtual ~ICallbackItf() = default;
  PW_CALLBACK_METHODS(PW_DECLARE_METHOD, ICallbackItf)
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
  PW_CONNECTION_POINT_METHODS(PW_DECLARE_METHOD, IConnectionPoint)
};

// The engine, and its connection point container.
class IDownloadEngine {
 public:
  virtual ~IDownloadEngine() = default;
  PW_DOWNLOAD_ENGINE_METHODS(PW_DECLARE_METHOD, IDownloadEngine)
  PW_CONNECTION_POINT_CONTAINER_METHODS(PW_DECLARE_METHOD, IDownloadEngine)
};
