#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "contract/downloading_flag.h"
#include "contract/interfaces.h"
#include "manager/core/queuebay_host.h"
#include "manager/core/record_hand_over.h"
#include "proxystub/engine_connection.h"

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
};

// The download manager's document: the engine connection and everything of
// the queue below the windows. The queue lives in the engine; the document
// holds none of it, only what waits for the view.
//
// Threads: the interface thread calls everything not marked otherwise;
// engine events arrive on the connection's threads and only fill the
// hand-over, the flag and the status text.
class CQueuebayDoc {
 public:
  static constexpr char kCouldNotStart[] = "Download couldn't start";

  explicit CQueuebayDoc(IQueuebayHost& host, ManagerDocOptions options = {});
  ~CQueuebayDoc();  // unadvises and releases the engine
  CQueuebayDoc(const CQueuebayDoc&) = delete;
  CQueuebayDoc& operator=(const CQueuebayDoc&) = delete;

  IDownloadEngine* Engine() const { return m_pEngine; }
  CDownloadStatusSink* Sink() const { return m_pSink.get(); }

  // Asks the engine whether it transfers anything. Any thread.
  void RefreshDownloadingState();
  bool IsDownloading() const { return m_bDownloading.get(); }

  // Every record the engine knows, in its order, five at a time; empty
  // without an engine or when it cannot be enumerated.
  std::vector<_LinkStructType> LoadFileList();

  // The events waiting for the view; a full reload first drops them, as the
  // list it loads already holds what they say.
  RecordHandOver& HandOver() { return m_handOver; }

  // The status pane's text. Any thread.
  std::string DownloadStatus() const;
  void SetDownloadStatus(std::string text);  // any thread

  // Add URL after its dialog: the file name first, the address second. A
  // failed hand-over shows "Download couldn't start" in the status pane.
  void AddDownload(const std::string& fileName, const std::string& url);
  void CancelDownload(const std::string& url);
  void StopDownloads();
  // The engine's download folder; none without an engine or when it fails.
  std::optional<std::string> DownloadFolder();
  // The options dialog's values as stored; without a store, an empty
  // folder and zeros.
  static DownloadOptions ReadStoredOptions();
  // OK in the options dialog: folder (given a final "/"), thread count,
  // retries, in that order, to the engine.
  void ApplyOptions(const DownloadOptions& options);

 private:
  friend class CDownloadStatusSink;

  IQueuebayHost& m_host;
  RecordHandOver m_handOver;
  DownloadingFlag m_bDownloading;
  mutable std::mutex m_csStatus;  // guards m_strDownloadStatus
  std::string m_strDownloadStatus;

  ps::EngineConnection m_engineConnection;
  IDownloadEngine* m_pEngine = nullptr;
  std::unique_ptr<CDownloadStatusSink> m_pSink;
};
