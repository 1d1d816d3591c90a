// CFetchwickDoc: starting, running, stopping and finishing page crawls and
// deep crawls.

#include "crawler/core/doc_texts.h"
#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/link_naming.h"
#include "crawler/core/link_scanner.h"

template <class Tell>
void CFetchwickDoc::TellForCrawl(const CCrawl& crawl, Tell&& tell) {
  std::lock_guard lock(m_csCrawl);
  if (!crawl.superseded) tell();
}

void CFetchwickDoc::SetCrawlStatus(const CCrawl& crawl, std::string text) {
  TellForCrawl(crawl, [&] { m_host.SetStatusText(std::move(text)); });
}

std::string CFetchwickDoc::CompleteText(const CCrawl& crawl) {
  if (crawl.pagesCut == 0) return crawl_text::kCrawlComplete;
  return FormatText(crawl_text::kCrawlCompleteCut, static_cast<unsigned long>(crawl.pagesCut));
}

void CFetchwickDoc::StartCrawl(const std::string& url, AddToHistory addToHistory, PushCurrent pushCurrent) {
  if (url.empty()) return;
  auto crawl = std::make_shared<CCrawl>();
  crawl->kind = CCrawl::Kind::Page;
  crawl->url = url;
  crawl->addToHistory = addToHistory == AddToHistory::Yes;
  crawl->pushCurrent = pushCurrent == PushCurrent::Yes;
  LaunchCrawl(std::move(crawl));
}

void CFetchwickDoc::StartDeepCrawl(const std::string& url, AddToHistory addToHistory) {
  if (url.empty()) return;
  auto crawl = std::make_shared<CCrawl>();
  crawl->kind = CCrawl::Kind::Deep;
  crawl->url = url;
  crawl->addToHistory = addToHistory == AddToHistory::Yes;
  crawl->pushCurrent = false;
  crawl->depth = m_nCrawlDepth.load();
  LaunchCrawl(std::move(crawl));
}

void CFetchwickDoc::LaunchCrawl(std::shared_ptr<CCrawl> crawl) {
  if (m_bClosing) return;
  if (m_hCrawlThread.joinable()) {
    // The running crawl is stopped (its network calls end) and silenced, but
    // not waited for: it finishes beside the new one, on its own list.
    if (m_host.HasMainWindow()) {
      CloseCrawlSession(m_crawl, Notify::On);
    } else {
      std::lock_guard lock(m_csCrawl);
      m_crawl->superseded = true;
    }
    RetireCrawlThread();
  }
  ReapFinishedCrawls();
  // The new crawl's list becomes the document's at once, so the view drops
  // anything an older crawl still posts.
  crawl->list = StartNewLinkList();
  m_crawl = crawl;
  if (crawl->kind == CCrawl::Kind::Page)
    m_hCrawlThread = std::thread([this, crawl] { PageCrawlProc(crawl); });
  else
    m_hCrawlThread = std::thread([this, crawl] { DeepCrawlProc(crawl); });
}

void CFetchwickDoc::StopCrawl() { EndAllBusy(Notify::On); }

void CFetchwickDoc::RetireCrawlThread() {
  m_retiredCrawls.emplace_back(std::move(m_hCrawlThread), m_crawl);
  m_hCrawlThread = std::thread();
}

void CFetchwickDoc::ReapFinishedCrawls() {
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

void CFetchwickDoc::JoinCrawlThreads() {
  if (m_hCrawlThread.joinable()) m_hCrawlThread.join();
  for (auto& [thread, crawl] : m_retiredCrawls) thread.join();
  m_retiredCrawls.clear();
}

bool CFetchwickDoc::CanCloseFrame() {
  // Silenced too: a closing window gets no boxes and no crawl-done.
  CloseCrawlSession(m_crawl);
  JoinCrawlThreads();
  return true;
}

bool CFetchwickDoc::WaitForCrawl(std::chrono::milliseconds limit) {
  return !m_crawl || m_crawl->WaitFinished(limit);
}

std::size_t CFetchwickDoc::PagesFetched() const {
  return m_crawl && m_crawl->finished() ? m_crawl->pagesFetched : 0;
}

void CFetchwickDoc::PageCrawlProc(const std::shared_ptr<CCrawl>& crawl) {
  if (CrawlPage(*crawl) && m_host.HasView())
    TellForCrawl(*crawl, [&] { m_host.PostCrawlDone(CrawlDoneMessage{crawl->list, crawl->url}); });
  // After a failed fetch nothing is posted; the thread stays the document's
  // until the next crawl starts.
  crawl->MarkFinished();
}

void CFetchwickDoc::DeepCrawlProc(const std::shared_ptr<CCrawl>& crawl) {
  DeepCrawl(*crawl);
  crawl->MarkFinished();
}

bool CFetchwickDoc::CrawlPage(CCrawl& crawl) {
  crawl.pageText.clear();
  TellForCrawl(crawl, [&] { m_host.SetStatusText(FormatText(crawl_text::kCrawling, crawl.url.c_str())); });
  BeginBusy(Notify::On, crawl.session, &crawl);
  const bool fetched = FetchPage(crawl, crawl.url, crawl.pageText);
  if (fetched) {
    ScanText(crawl.list, crawl.page, crawl.pageText, "HREF");
    ScanText(crawl.list, crawl.page, crawl.pageText, "SRC");
  }
  EndBusy(Notify::On, crawl.session, &crawl);
  SetCrawlStatus(crawl, CompleteText(crawl));
  return fetched;
}

void CFetchwickDoc::DeepCrawl(CCrawl& crawl) {
  TellForCrawl(crawl, [&] { m_host.SetStatusText(FormatText(crawl_text::kDeepCrawling, crawl.url.c_str())); });
  crawl.pageText.clear();
  BeginBusy(Notify::On, crawl.session, &crawl);
  crawl.quiet = true;
  TellForCrawl(crawl, [&] { m_host.SetAddressText(crawl.url); });
  CrawlLevel(crawl, crawl.url, crawl.depth);
  crawl.quiet = false;
  EndBusy(Notify::On, crawl.session, &crawl);
  SetCrawlStatus(crawl, CompleteText(crawl));
}

bool CFetchwickDoc::CrawlLevel(CCrawl& crawl, std::string url, int depth) {
  if (depth <= 0) return false;
  // Each level has a text of its own, and its own copy of the page's host
  // and base: deeper levels overwrite the crawl's, and the links left on this
  // page must still complete against this page.
  std::string text;
  if (!FetchPage(crawl, url, text)) return false;
  const PageAddress page = crawl.page;

  // The recursion is depth-first: a followed page is crawled completely
  // before the scan of this one goes on. Once the crawl is stopped, every
  // fetch fails at once, so the recursion unwinds while the scans of pages
  // already fetched still list their links.
  const KeywordSearch search("HREF");
  std::string value;
  bool followed = false;
  std::ptrdiff_t position = search.Next(text, 0);
  while (position >= 0) {
    ReadAttributeValue(search.keyword(), position, text, value);
    if (!value.empty()) {
      CompleteURL(value, page.origin, page.base);
      if (FollowWithLevels(crawl, page, value, depth - 1)) {
        CrawlLevel(crawl, value, depth - 1);
        followed = true;
      }
    }
    position = search.Next(text, position);
  }
  return followed;
}

bool CFetchwickDoc::FollowWithLevels(CCrawl& crawl, const PageAddress& page, std::string& url, int levels) {
  if (AddLink(crawl.list, page, url, Notify::On)) {
    crawl.levelsLeft.insert_or_assign(url, levels);
    return true;
  }
  // Listed before. Depth first, a page is often met first down a long
  // route, where few levels are left, and only later from a page nearer the
  // start: it is followed again then, so that a deeper crawl never covers
  // less than a shallower one. Its entry stays where it was first listed.
  const auto met = crawl.levelsLeft.find(url);
  if (met == crawl.levelsLeft.end() || met->second >= levels) return false;
  met->second = levels;
  return true;
}

void CFetchwickDoc::OnCrawlDone(const CrawlDoneMessage& message) {
  if (!m_crawl || message.list != m_crawl->list) return;  // a superseded crawl's
  if (m_crawl->pushCurrent && !m_strCurrentURL.empty()) m_backStack.push_back(m_strCurrentURL);
  m_strCurrentURL = message.url;
  m_host.RebuildView();
  if (m_crawl->addToHistory) m_host.AddToHistory(m_strCurrentURL);
  m_strTitle = m_strCurrentURL;
  m_host.SetTitle(m_strTitle);
  m_host.SetAddressText(m_strCurrentURL);
  // The thread posted this as its last step before it returns.
  if (m_hCrawlThread.joinable()) m_hCrawlThread.join();
}

void CFetchwickDoc::OnBack() {
  if (m_backStack.empty()) return;
  StartCrawl(m_backStack.back(), AddToHistory::No, PushCurrent::No);
  m_forwardStack.push_back(m_strCurrentURL);
  m_backStack.pop_back();
}

void CFetchwickDoc::OnForward() {
  if (m_forwardStack.empty()) return;
  // When this crawl is done, the address current before it goes onto the back stack.
  StartCrawl(m_forwardStack.back(), AddToHistory::No, PushCurrent::Yes);
  m_forwardStack.pop_back();
}
