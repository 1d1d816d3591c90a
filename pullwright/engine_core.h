#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "http/session.h"
#include "pullwright/download_queue.h"
#include "pullwright/sink_list.h"
#include "pullwright/work_signal.h"

// Time limits of the workers' HTTP sessions. Real servers get generous
// defaults; tests use short ones.
struct EngineOptions {
  std::chrono::milliseconds connectTimeout{30000};
  std::chrono::milliseconds dataTimeout{60000};
  // Downloads go through the proxy the user's environment names, as the
  // crawler's page fetches and size queries do, so nothing bypasses it.
  http::ProxyMode proxy = http::ProxyMode::System;
  // The first wait before asking a refusing or busy server again; each
  // further retry waits twice as long.
  std::chrono::milliseconds firstRetryWait{1000};
};

// What the engine object shares with its workers, and all they may touch:
// the queue, the sinks, the work signal, the counters and the options.
struct EngineCore {
  EngineCore(EngineOptions options, std::uint32_t threadCount, std::string directory, std::uint32_t maxRetries)
      : m_options(options), m_queue(threadCount, std::move(directory)), m_dwMaxRetries(maxRetries) {}

  // Never called under a lock (see SinkList::Fire).
  void FireDownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
    m_sinks.Fire(dwStatus, pszStatus, ls);
  }
  // Puts a copy of worker `index`'s record at the back of the queue unless
  // its transfer was cancelled; reports it queued and, when asked, wakes a
  // worker.
  bool PutBack(std::uint32_t index, const QueuedRecord& record, bool wakeWorker);

  const EngineOptions m_options;
  DownloadQueue m_queue;
  SinkList m_sinks;
  WorkSignal m_signal;  // m_hStopEvent and m_hWorkEvent
  std::atomic<std::uint32_t> m_nActive{0};
  std::atomic<std::uint32_t> m_dwMaxRetries;
};
