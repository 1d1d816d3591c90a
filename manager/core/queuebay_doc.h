#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/interfaces.h"
#include "manager/core/queuebay_host.h"
#include "manager/core/record_hand_over.h"
#include "proxystub/engine_link.h"

class CDownloadStatusSink;

struct ManagerDocOptions {
  bool createEngine = true;  // false: never reach the engine (tests, tools)
  ps::ActivationOptions activation;
};

// What the options dialog shows when it opens: the stored download settings.
struct DownloadOptions {
  std::string downloadDir;
  std::uint32_t threadCount = 0;
  std::uint32_t maxRetries = 0;
  bool notices = true;  // the window's own: desktop notices of endings
};

// The download manager's document: the engine connection and everything of
// the queue below the windows. The queue lives in the engine; the document
// holds none of it, only what waits for the view.
//
// Threads: the interface thread calls everything not marked otherwise;
// engine events arrive on the connection's threads and only fill the
// hand-over, the flag and the status text.
//
// An engine that goes away (killed, or it dropped the sink) is told in the
// status pane and no longer counts as downloading; the next command that
// needs the engine connects again, starting one if needed, and the list is
// then loaded whole from the new engine.
class CQueuebayDoc {
 public:
  static constexpr char kCouldNotStart[] = "Download couldn't start";

  explicit CQueuebayDoc(IQueuebayHost& host, ManagerDocOptions options = {});
  ~CQueuebayDoc();  // unadvises and releases the engine
  CQueuebayDoc(const CQueuebayDoc&) = delete;
  CQueuebayDoc& operator=(const CQueuebayDoc&) = delete;

  IDownloadEngine* Engine() const { return m_link.Engine(); }
  CDownloadStatusSink* Sink() const;

  // Asks the engine whether it transfers anything. Any thread.
  void RefreshDownloadingState();
  // False from the moment the engine is found gone. Any thread.
  bool IsDownloading() const { return m_link.IsDownloading(); }
  // Whether the engine went away and no command has connected again since.
  // Any thread.
  bool EngineLost() const { return m_link.EngineLost(); }

  // Every record the engine knows, in its order, five at a time; empty
  // without an engine or when it cannot be enumerated. Connects again first
  // when the engine went away.
  std::vector<_LinkStructType> LoadFileList();
  // Whether the engine was connected anew since the list was last loaded:
  // the list shows a queue that is gone and must be loaded whole.
  bool ListOutdated() const { return m_bListOutdated; }

  // The events waiting for the view; a full reload first drops them, as the
  // list it loads already holds what they say.
  RecordHandOver& HandOver() { return m_handOver; }

  // The status pane's text. Any thread.
  std::string DownloadStatus() const;
  void SetDownloadStatus(std::string text);  // any thread

  // Add URL after its dialog: the file name first, the address second. A
  // failed hand-over shows "Download couldn't start" in the status pane. Like
  // every command below, it connects again first when the engine went away.
  void AddDownload(const std::string& fileName, const std::string& url);
  void CancelDownload(const std::string& url);
  void StopDownloads();
  // The engine's download folder; none without an engine or when it fails.
  std::optional<std::string> DownloadFolder();
  // The options dialog's values as stored; without a store, an empty
  // folder and zeros.
  static DownloadOptions ReadStoredOptions();
  // OK in the options dialog: folder (given a final "/"), thread count,
  // retries, in that order, to the engine; the notices choice to the store.
  void ApplyOptions(const DownloadOptions& options);

 private:
  friend class CDownloadStatusSink;

  // What the engine link is made with: the sink, and the view woken when
  // the engine goes and comes back, so that the caption follows.
  ps::EngineLinkOptions LinkOptions(ManagerDocOptions& options);

  IQueuebayHost& m_host;
  RecordHandOver m_handOver;
  bool m_bListOutdated = false;  // interface thread only
  // The engine, the sink advised on it, the "downloading" flag and the
  // status text. Made last: events may come as soon as it has connected.
  ps::EngineLink m_link;
};
