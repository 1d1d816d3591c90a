#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "contract/downloading_flag.h"
#include "contract/interfaces.h"
#include "proxystub/activation.h"
#include "proxystub/engine_connection.h"

namespace ps {

// What a document gives its link: how to reach the engine, its own sink,
// and what it does when the engine goes and comes back.
struct EngineLinkOptions {
  bool connect = true;  // false: never reach the engine (tests, tools)
  ActivationOptions activation;
  // Makes the document's sink, once, at the first connection.
  std::function<std::unique_ptr<ICallbackItf>()> makeSink;
  // The engine went away and the status text says so. Any thread; must
  // neither block nor call the engine.
  std::function<void()> onLost;
  // A command connected again and the text no longer says "stopped".
  // Interface thread.
  std::function<void()> onBack;
};

// A client's link to the engine, as both windows' documents hold it: the
// engine and its sink, the "downloading" flag, the status text, and
// connecting again after the engine went away.
//
// Threads: the interface thread connects, reconnects and disconnects; the
// flag, the status text, Checked and the lost mark serve any thread. The
// engine pointer changes only while no event of its connection is being
// delivered, so the sink may use it.
//
// An engine that goes away (killed, crashed, or it dropped the sink) is said
// once in the status text and no longer counts as downloading; the next
// command that asks ReadyEngine connects again, starting one if needed.
class EngineLink {
 public:
  explicit EngineLink(EngineLinkOptions options);
  ~EngineLink();  // disconnects
  EngineLink(const EngineLink&) = delete;
  EngineLink& operator=(const EngineLink&) = delete;

  // The engine; null when it could not be created (or was not to be), after
  // it went away until a command connects again, and after Disconnect.
  IDownloadEngine* Engine() const { return m_pEngine; }
  // The document's sink; null until an engine was first connected.
  ICallbackItf* Sink() const { return m_pSink.get(); }
  // Whether an engine was ever connected.
  bool HadEngine() const { return m_bHadEngine; }

  // The engine for a command of the user's. Once the engine has gone away,
  // this connects again first; null when that fails (and, for a short
  // pause after, without trying), without an engine from the start, or
  // after Disconnect.
  IDownloadEngine* ReadyEngine();
  // Gives `hr` back; a result that found the engine gone marks it lost.
  // Any thread.
  HRESULT Checked(HRESULT hr);
  // Whether the engine went away and no command has connected again since.
  // Any thread.
  bool EngineLost() const { return m_bEngineLost.load(); }
  // Unadvises and releases the engine for good; once it returns no event
  // reaches the sink, and nothing connects again.
  void Disconnect();

  // Asks the engine whether it transfers anything. Any thread.
  void RefreshDownloading();
  // False from the moment the engine is found gone. Any thread.
  bool IsDownloading() const { return m_bDownloading.get() && !m_bEngineLost.load(); }
  // For a client that transfers by itself, without an engine. Any thread.
  void SetDownloading(bool downloading) { m_bDownloading.Set(downloading); }

  // The download status text. Storing it wakes nobody: the caller knows
  // whom its text concerns. Any thread.
  std::string Status() const;
  void SetStatus(std::string text);

 private:
  void Connect();
  // The engine went away: the text says so, once per connection.
  void OnEngineLost();

  const EngineLinkOptions m_options;
  DownloadingFlag m_bDownloading;
  mutable std::mutex m_csStatus;  // guards m_strDownloadStatus
  std::string m_strDownloadStatus;

  EngineConnection m_engineConnection;
  IDownloadEngine* m_pEngine = nullptr;
  std::unique_ptr<ICallbackItf> m_pSink;
  // Only the lost and closed marks are touched off the interface thread.
  std::atomic<bool> m_bEngineLost{false};
  std::atomic<bool> m_bClosed{false};
  bool m_bHadEngine = false;
  std::chrono::steady_clock::time_point m_nextReconnect{};
};

// The shape every document's sink shares: it points at its document, which
// it does not own. The link cuts the sink off before the document goes and
// waits for the events being delivered, so m_pDoc is valid whenever an
// event gets here. Events arrive on the connection's threads, several at
// once.
template <class Doc>
class DocumentSink : public ICallbackItf {
 public:
  explicit DocumentSink(Doc* pDoc) : m_pDoc(pDoc) {}

 protected:
  Doc* const m_pDoc;
};

}  // namespace ps
