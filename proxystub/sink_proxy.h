#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "contract/interfaces.h"
#include "proxystub/connection.h"
#include "proxystub/proxies.h"

namespace ps {

class ServerSession;

// A client's sink as the engine sees it. Each event is one call; through
// IPipelinedCallback the engine sends an event to every sink before it
// waits for the first answer. A sink that does not answer within the
// connection's time limit is disconnected: the engine stops calling it and
// closes that client's connection.
class CSinkProxy final : public ICallbackItf,
                         public IPipelinedCallback,
                         public std::enable_shared_from_this<CSinkProxy>,
                         private RemoteReference {
 public:
  CSinkProxy(std::shared_ptr<Connection> connection, std::uint32_t objectId, std::weak_ptr<ServerSession> session)
      : RemoteReference(std::move(connection), objectId), m_session(std::move(session)) {}

  PW_CALLBACK_METHODS(PS_DECLARE_PROXY_METHOD, _)
  std::unique_ptr<PendingCall> BeginDownloadStatus(std::uint32_t dwStatus, const char* pszStatus,
                                                   const _LinkStructType& ls) override;

  // Later events fail at once without a call.
  void Disconnect() { m_disconnected = true; }
  bool IsDisconnected() const { return m_disconnected; }

 private:
  class PendingStatus;
  void TimedOut();

  std::weak_ptr<ServerSession> m_session;
  std::atomic<bool> m_disconnected{false};
};

}  // namespace ps
