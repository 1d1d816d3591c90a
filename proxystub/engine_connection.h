#pragma once

#include <cstdint>
#include <functional>
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
//
// An engine that dies, or that drops the sink, lets go of it without an
// Unadvise: the owner hears of it through `onDropped`, under the same rule,
// so that its window can say so and connect again on the next command.
class EngineConnection {
 public:
  // What a window shows once its engine has gone away.
  static constexpr char kEngineStopped[] = "Download engine stopped";

  EngineConnection();
  ~EngineConnection();
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;

  // Step 1. On failure there is no engine and the other steps do nothing.
  HRESULT CreateEngine(const ActivationOptions& options = {});
  // Step 2; the owner is not owned. Failures leave the engine connected
  // without status events. `onDropped` runs at most once, on any thread,
  // when the engine lets go of the sink before Disconnect (it died, closed
  // the connection or dropped the sink); it must neither block nor call the
  // engine.
  // `pace` tells whether the owner's DownloadStatus returns at once,
  // waiting for nothing but short locks (it copies the event and hands it
  // over): its events may then be delivered by a thread that serves the
  // process's other sinks too, which saves a polling thread per sink.
  enum class Pace { MayWait, ReturnsAtOnce };
  HRESULT AdviseSink(ICallbackItf* owner, std::function<void()> onDropped = {}, Pace pace = Pace::MayWait);
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
