#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "contract/interfaces.h"
#include "proxystub/connection.h"
#include "proxystub/proxies.h"
#include "proxystub/status_channel.h"

namespace ps {

class ServerSession;

// A client's sink as the engine sees it. Each event is one call; through
// IPipelinedCallback the engine sends an event to every sink before it
// waits for the first answer. A sink that does not answer within the
// connection's time limit is disconnected: the engine stops calling it and
// closes that client's connection.
//
// Once the client took a shared memory status channel for the sink
// (OpenStatusChannel), every status call goes over it, so that the sink
// gets them in the order the engine made them; the socket serves a client
// that refused one.
class CSinkProxy final : public ICallbackItf,
                         public IPipelinedCallback,
                         public std::enable_shared_from_this<CSinkProxy>,
                         private RemoteReference {
 public:
  CSinkProxy(std::shared_ptr<Connection> connection, std::uint32_t objectId, std::weak_ptr<ServerSession> session)
      : RemoteReference(std::move(connection), objectId), m_session(std::move(session)) {}
  ~CSinkProxy();

  // Offers the client a status channel for this sink; before the engine
  // knows the sink, as the calls' road is fixed from then on. Without it
  // (refused, not understood, no answer in time) the socket serves.
  void OpenStatusChannel();

  PW_CALLBACK_METHODS(PS_DECLARE_PROXY_METHOD, _)
  std::unique_ptr<PendingCall> BeginDownloadStatus(std::uint32_t dwStatus, const char* pszStatus,
                                                   const _LinkStructType& ls) override;

  // Later events fail at once without a call.
  void Disconnect() { m_disconnected = true; }
  bool IsDisconnected() const { return m_disconnected; }

 private:
  class PendingStatus;
  class ChannelPendingStatus;
  static constexpr std::uint32_t kChannelSlots = 16;

  std::unique_ptr<PendingCall> BeginOnChannel(std::uint32_t dwStatus, const char* pszStatus,
                                              const _LinkStructType& ls);
  void SlotFreed();
  // Stops calling a sink that missed its time or broke the channel's rules.
  void Drop();

  std::weak_ptr<ServerSession> m_session;
  std::atomic<bool> m_disconnected{false};
  // Set before the engine knows the sink, never changed after.
  std::shared_ptr<StatusChannel> m_channel;
  // Engine threads that found every slot taken wait here for an answer.
  std::mutex m_slotMutex;
  std::condition_variable m_slotFreed;
  std::uint64_t m_answers = 0;
};

}  // namespace ps
