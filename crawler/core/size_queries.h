#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crawler/core/doc_host.h"
#include "crawler/core/link_entry.h"
#include "http/session.h"

// Get File Size on some rows: run on a size-query thread of the document.
struct SizeQueryJob {
  std::shared_ptr<const LinkList> list;   // holds the entries below
  std::vector<const LinkEntry*> entries;  // in row order
  // Told on the size-query thread after each entry's size is stored.
  std::function<void(const LinkEntry& entry)> onSize;
};

// How a size query borrows the crawl session: `hold` fills `held`, leaving
// it null when nothing may be fetched; `release` lets go of it, and the last
// holder closes the session. Any thread.
struct SessionLoan {
  std::function<void(std::shared_ptr<http::Session>& held)> hold;
  std::function<void(std::shared_ptr<http::Session>& held)> release;
};

// The size queries behind Get File Size and their threads. m_csSizeQueries
// guards the list of threads; only this class takes it.
class SizeQueries {
 public:
  // `closing` turns true when the owner goes away: from then on no thread
  // starts, no box is shown and running threads ask for no more sizes.
  SizeQueries(IFetchwickHost& host, const std::atomic<bool>& closing, SessionLoan loan);
  ~SizeQueries();  // Join()
  SizeQueries(const SizeQueries&) = delete;
  SizeQueries& operator=(const SizeQueries&) = delete;

  // The Content-Length of `url`, or -1 when the server gives none or answers
  // with a status of 400 or more; holds the crawl session meanwhile.
  std::int32_t QueryFileSize(const std::string& url);
  // Starts a thread that posts WM_BUSY_START, queries every entry in order,
  // stores each size and posts WM_BUSY_END.
  void Start(SizeQueryJob job);
  // Waits until every thread has ended.
  bool Wait(std::chrono::milliseconds limit);
  // Joins every thread; the sessions must be closed first.
  void Join();

 private:
  struct QueryThread {
    std::thread thread;
    std::atomic<bool> finished{false};
  };
  void Run(SizeQueryJob& job);

  IFetchwickHost& m_host;
  const std::atomic<bool>& m_bClosing;
  const SessionLoan m_loan;

  std::mutex m_csSizeQueries;
  std::vector<std::unique_ptr<QueryThread>> m_sizeQueries;
};
