#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "crawler/core/crawl_state.h"
#include "crawler/core/doc_host.h"
#include "http/session.h"

// Whether AddLink announces a new entry to the view at once (the deep crawl)
// or leaves it to the rebuild after the crawl (the page crawl); also whether
// a busy period is announced to the main window.
enum class Notify { Off, On };

// What the crawls share: the crawl session with the count of its holders
// and the busy state, and the current crawl with its thread and the
// superseded crawls still finishing beside it.
//
// m_csCrawl guards the session and its holders' count, and every message of
// a crawl is told under it, so that marking a crawl superseded under it
// silences the crawl from that point on. Each holder keeps its own reference
// to the session, so a stop that closes it never frees it under a call.
// The crawl objects and threads belong to the interface thread.
class CrawlController {
 public:
  using Run = std::function<void(const std::shared_ptr<CCrawl>& crawl)>;

  // `closing` turns true when the owner goes away: from then on no crawl
  // starts and nobody holds the session any more.
  CrawlController(IFetchwickHost& host, const std::atomic<bool>& closing, const http::SessionOptions& sessions);
  ~CrawlController();  // closes the session and joins every thread
  CrawlController(const CrawlController&) = delete;
  CrawlController& operator=(const CrawlController&) = delete;

  // ---- The crawl session and the busy state (any thread) ----

  // `held` becomes a hold on the crawl session, opened when there is none;
  // none for a superseded crawl or while closing. False without a main
  // window, which neither holds nor fetches.
  bool BeginBusy(Notify notify, std::shared_ptr<http::Session>& held, const CCrawl* crawl = nullptr);
  // Lets go of `held`; the last holder closes the session.
  bool EndBusy(Notify notify, std::shared_ptr<http::Session>& held, const CCrawl* crawl = nullptr);
  // Ends the busy period of everyone: Stop Crawl, and a new crawl.
  bool EndAllBusy(Notify notify);
  // Closes the session for every holder; `superseded` is silenced first.
  void CloseSession(const std::shared_ptr<CCrawl>& superseded, Notify notify = Notify::Off);
  bool IsBusy() const { return m_bBusy.load() != 0; }
  // Tells the windows something for `crawl` unless a newer crawl has
  // replaced it; under m_csCrawl, so nothing of it comes after the
  // replacement's own messages.
  template <class Tell>
  void TellForCrawl(const CCrawl& crawl, Tell&& tell) {
    std::lock_guard lock(m_csCrawl);
    if (!crawl.superseded) tell();
  }

  // ---- The current crawl and the crawl threads (interface thread) ----

  // The current crawl; null before the first.
  const std::shared_ptr<CCrawl>& Current() const { return m_crawl; }
  // Stops and silences the running crawl, which finishes beside the next
  // one, and joins the superseded crawls that have finished.
  void Supersede();
  // `crawl` becomes current, the host is told, and `run` runs it on the
  // crawl thread.
  void Launch(std::shared_ptr<CCrawl> crawl, Run run);
  // Joins the current crawl's thread, which has posted its last message.
  void JoinCurrent();
  // Silences and stops the current crawl, then joins every crawl thread.
  void StopAndJoin();
  void JoinThreads();
  // Waits until the current crawl thread has ended; false when it still
  // runs after `limit`. Then the pages it fetched.
  bool WaitForCrawl(std::chrono::milliseconds limit);
  std::size_t PagesFetched() const;

 private:
  void RetireCrawlThread();
  void ReapFinishedCrawls();

  IFetchwickHost& m_host;
  const std::atomic<bool>& m_bClosing;
  const http::SessionOptions m_sessionOptions;

  std::shared_ptr<CCrawl> m_crawl;  // the current crawl, null before the first
  std::thread m_hCrawlThread;       // its thread, joinable until it is joined or retired
  std::vector<std::pair<std::thread, std::shared_ptr<CCrawl>>> m_retiredCrawls;

  std::mutex m_csCrawl;
  std::shared_ptr<http::Session> m_pCrawlSession;
  int m_nSessionUsers = 0;
  std::atomic<int> m_bBusy{0};
};
