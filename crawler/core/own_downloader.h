#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "contract/status.h"
#include "crawler/core/doc_host.h"
#include "crawler/core/link_entry.h"
#include "http/session.h"
#include "proxystub/engine_link.h"

// The crawler's own downloader, for when there is no engine: a queue of
// files that one worker thread fetches in turn into the download folder. It
// reports through the host (boxes, wake-ups) and the engine link (the
// "downloading" flag and the status text) it is given.
//
// m_csDownload guards the queue, the session pointer, the interruption
// cause, the thread object, whether the thread runs and the folder; only
// this class takes it. The worker holds its own reference to the session,
// so closing it (which ends every network wait) never frees it under a call.
class OwnDownloader {
 public:
  // `closing` turns true when the owner goes away: from then on no file is
  // queued or begun and no box is shown.
  OwnDownloader(IFetchwickHost& host, ps::EngineLink& link, const std::atomic<bool>& closing,
                const http::SessionOptions& sessions);
  ~OwnDownloader();  // Stop()
  OwnDownloader(const OwnDownloader&) = delete;
  OwnDownloader& operator=(const OwnDownloader&) = delete;

  // Queues `entry`, starting the worker when none runs.
  void Queue(const LinkEntry& entry);
  // Closes the session of the file in progress, which then ends as `why`
  // (Canceled or Stopped); `dropQueue` also empties the queue.
  void Interrupt(DownloadEnding why, bool dropQueue);
  // Empties the queue, closes the session and joins the worker.
  void Stop();

  // The folder files go to; it always ends with "/". Any thread.
  std::string Directory() const;
  void SetDirectory(std::string folder);
  // Whether the worker runs. Any thread.
  bool ThreadRunning() const;
  // Waits until the worker has emptied the queue and ended.
  bool WaitIdle(std::chrono::milliseconds limit);

  // The download status text; wakes the idle refresh that shows it. Any thread.
  void SetStatus(std::string text);

 private:
  void Worker();
  void DownloadOne(const LinkEntry& entry);
  void ShowBox(std::string text);
  // A box about one link: the message, then the link's address.
  void ShowLinkBox(const std::string& message, const std::string& url);
  void EndOne(DownloadEnding ending, const char* name, long long total, long long expected);

  IFetchwickHost& m_host;
  ps::EngineLink& m_link;
  const std::atomic<bool>& m_bClosing;
  const http::SessionOptions m_sessionOptions;

  mutable std::mutex m_csDownload;
  std::deque<LinkEntry> m_downloadQueue;
  std::shared_ptr<http::Session> m_pDownloadSession;
  // Why the session of the file in progress was closed: Canceled or
  // Stopped; Finished while nobody closed it.
  DownloadEnding m_ownInterruption = DownloadEnding::Finished;
  std::thread m_hDownloadThread;
  bool m_bDownloadThreadRunning = false;
  std::string m_strDownloadDir;  // read by the worker for each file
  std::condition_variable m_downloadsIdle;
};
