#pragma once

#include <cstdint>
#include <memory>

#include "contract/interfaces.h"
#include "proxystub/activation.h"

namespace ps {

class CForwardingSink;

// How a program connects to the engine, in the three steps every client
// takes: create the engine; create a sink and advise it on the engine's
// connection point; at the end unadvise it and release the engine.
//
// The sink forwards each event to the owner given to AdviseSink. Events
// come on the connection's threads, also while the owner waits in a call to
// the engine. Disconnect() (and the destructor) cut the owner off before
// unadvising and wait for events already being delivered to it, so the
// owner is never called once Disconnect has returned, even though the
// engine may still hold the sink for a moment. Hence the owner's
// DownloadStatus must not wait for the thread that calls Disconnect.
class EngineConnection {
 public:
  EngineConnection();
  ~EngineConnection();
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;

  // Step 1. On failure there is no engine and the other steps do nothing.
  HRESULT CreateEngine(const ActivationOptions& options = {});
  // Step 2; the owner is not owned. Failures leave the engine connected
  // without status events.
  HRESULT AdviseSink(ICallbackItf* owner);
  // Step 3.
  void Disconnect();

  // Null when the engine could not be created or after Disconnect.
  IDownloadEngine* engine() const { return m_engine.get(); }
  const std::shared_ptr<IDownloadEngine>& sharedEngine() const { return m_engine; }
  bool advised() const { return m_cookie != 0; }

 private:
  std::shared_ptr<IDownloadEngine> m_engine;
  std::shared_ptr<CForwardingSink> m_sink;
  std::uint32_t m_cookie = 0;
};

}  // namespace ps
