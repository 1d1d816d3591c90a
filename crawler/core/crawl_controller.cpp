// The crawls' shared state: the crawl session, the busy state, and the
// crawl threads.

#include "crawler/core/crawl_controller.h"

CrawlController::CrawlController(IFetchwickHost& host, const std::atomic<bool>& closing,
                                 const http::SessionOptions& sessions)
    : m_host(host), m_bClosing(closing), m_sessionOptions(sessions) {}

CrawlController::~CrawlController() {
  CloseSession(nullptr);
  JoinThreads();
}

void CrawlController::Supersede() {
  if (m_hCrawlThread.joinable()) {
    // The running crawl is stopped (its network calls end) and silenced, but
    // not waited for: it finishes beside the new one, on its own list.
    if (m_host.HasMainWindow()) {
      CloseSession(m_crawl, Notify::On);
    } else {
      std::lock_guard lock(m_csCrawl);
      m_crawl->superseded = true;
    }
    RetireCrawlThread();
  }
  ReapFinishedCrawls();
}

void CrawlController::Launch(std::shared_ptr<CCrawl> crawl, Run run) {
  m_crawl = crawl;
  m_host.CrawlStarted(crawl->list, crawl->progress);
  m_hCrawlThread = std::thread([run = std::move(run), crawl] { run(crawl); });
}

void CrawlController::JoinCurrent() {
  if (m_hCrawlThread.joinable()) m_hCrawlThread.join();
}

void CrawlController::StopAndJoin() {
  CloseSession(m_crawl);
  JoinThreads();
}

void CrawlController::RetireCrawlThread() {
  m_retiredCrawls.emplace_back(std::move(m_hCrawlThread), m_crawl);
  m_hCrawlThread = std::thread();
}

void CrawlController::ReapFinishedCrawls() {
  // A finished crawl marks itself as its thread's last step, so these joins
  // never wait for more than the thread's return.
  for (auto it = m_retiredCrawls.begin(); it != m_retiredCrawls.end();) {
    if (it->second->finished()) {
      it->first.join();
      it = m_retiredCrawls.erase(it);
    } else {
      ++it;
    }
  }
}

void CrawlController::JoinThreads() {
  if (m_hCrawlThread.joinable()) m_hCrawlThread.join();
  for (auto& [thread, crawl] : m_retiredCrawls) thread.join();
  m_retiredCrawls.clear();
}

bool CrawlController::WaitForCrawl(std::chrono::milliseconds limit) {
  return !m_crawl || m_crawl->WaitFinished(limit);
}

std::size_t CrawlController::PagesFetched() const {
  return m_crawl && m_crawl->finished() ? m_crawl->progress->pagesFetched.load() : 0;
}

bool CrawlController::BeginBusy(Notify notify, std::shared_ptr<http::Session>& held, const CCrawl* crawl) {
  if (!m_host.HasMainWindow()) return false;
  std::lock_guard lock(m_csCrawl);
  // A crawl replaced before it began holds nothing and fetches nothing; nor
  // does anyone once the owner is going away.
  if ((crawl && crawl->superseded) || m_bClosing) return true;
  if (!m_pCrawlSession) {
    m_pCrawlSession = http::Session::Open(m_sessionOptions);
    m_nSessionUsers = 0;
  }
  ++m_nSessionUsers;
  held = m_pCrawlSession;
  m_bBusy = 1;
  if (notify == Notify::On) m_host.PostBusyStart();
  return true;
}

bool CrawlController::EndBusy(Notify notify, std::shared_ptr<http::Session>& held, const CCrawl* crawl) {
  if (!m_host.HasMainWindow()) return false;
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csCrawl);
    // Only the last holder ends the session: a size query that ends during a
    // crawl leaves the crawl running. A hold on a session that a stop has
    // already closed counts for nothing any more.
    if (held && held == m_pCrawlSession && --m_nSessionUsers == 0) closing = std::move(m_pCrawlSession);
    held.reset();
    m_bBusy = m_pCrawlSession ? 1 : 0;
    if (notify == Notify::On && !(crawl && crawl->superseded)) m_host.PostBusyEnd();
  }
  if (closing) closing->Close();
  return true;
}

bool CrawlController::EndAllBusy(Notify notify) {
  if (!m_host.HasMainWindow()) return false;
  CloseSession(nullptr, notify);
  return true;
}

void CrawlController::CloseSession(const std::shared_ptr<CCrawl>& superseded, Notify notify) {
  std::shared_ptr<http::Session> closing;
  {
    std::lock_guard lock(m_csCrawl);
    // Marked under the lock that its messages are sent under, so none of
    // them follows this point.
    if (superseded) superseded->superseded = true;
    closing = std::move(m_pCrawlSession);
    m_nSessionUsers = 0;
    m_bBusy = 0;
    // Announced before the session closes, so the busy end comes before
    // anything the stopped crawl says about its end.
    if (notify == Notify::On) m_host.PostBusyEnd();
  }
  // Every request of the session, blocked or not, ends with 12017; the
  // session object lives on in its holders until they let go.
  if (closing) closing->Close();
}
