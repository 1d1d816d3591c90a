// CFetchwickDoc: starting, running, stopping and finishing page crawls and
// deep crawls.

#include "crawler/core/doc_texts.h"
#include "crawler/core/fetchwick_doc.h"
#include "crawler/core/link_naming.h"
#include "crawler/core/link_scanner.h"

namespace {

// A count as people write it: "1,000,000".
std::string GroupThousands(std::size_t count) {
  std::string digits = std::to_string(count);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

void CFetchwickDoc::SetCrawlStatus(const CCrawl& crawl, std::string text) {
  m_crawls.TellForCrawl(crawl, [&] { m_host.SetStatusText(std::move(text)); });
}

std::string CFetchwickDoc::CompleteText(const CCrawl& crawl) {
  const auto pagesCut = static_cast<unsigned long>(crawl.pagesCut);
  if (crawl.linksCut) {
    const std::string limit = GroupThousands(crawl.list->Limit());
    if (pagesCut == 0) return FormatText(crawl_text::kCrawlCompleteLinksCut, limit.c_str());
    return FormatText(crawl_text::kCrawlCompleteCutLinksCut, pagesCut, limit.c_str());
  }
  if (pagesCut == 0) return crawl_text::kCrawlComplete;
  return FormatText(crawl_text::kCrawlCompleteCut, pagesCut);
}

void CFetchwickDoc::ReportLinksCut(CCrawl& crawl, const std::string& url) {
  if (crawl.linksCut || !crawl.list->Cut()) return;
  crawl.linksCut = true;
  SetCrawlStatus(crawl, FormatText(crawl_text::kLinksCut, GroupThousands(crawl.list->Limit()).c_str(), url.c_str()));
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
  m_crawls.Supersede();
  // The new crawl's list becomes the document's at once, so the view drops
  // anything an older crawl still posts.
  crawl->list = StartNewLinkList();
  crawl->list->SetLimit(m_pageLimits.maxLinks);
  if (crawl->kind == CCrawl::Kind::Page)
    m_crawls.Launch(std::move(crawl), [this](const std::shared_ptr<CCrawl>& running) { PageCrawlProc(running); });
  else
    m_crawls.Launch(std::move(crawl), [this](const std::shared_ptr<CCrawl>& running) { DeepCrawlProc(running); });
}

void CFetchwickDoc::StopCrawl() { m_crawls.EndAllBusy(Notify::On); }

bool CFetchwickDoc::CanCloseFrame() {
  // Silenced too: a closing window gets no boxes and no crawl-done.
  m_crawls.StopAndJoin();
  return true;
}

void CFetchwickDoc::PageCrawlProc(const std::shared_ptr<CCrawl>& crawl) {
  if (CrawlPage(*crawl) && m_host.HasView())
    m_crawls.TellForCrawl(*crawl, [&] { m_host.PostCrawlDone(CrawlDoneMessage{crawl->list, crawl->url}); });
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
  m_crawls.TellForCrawl(crawl, [&] { m_host.SetStatusText(FormatText(crawl_text::kCrawling, crawl.url.c_str())); });
  m_crawls.BeginBusy(Notify::On, crawl.session, &crawl);
  const bool fetched = FetchPage(crawl, crawl.url, crawl.pageText);
  if (fetched) {
    ScanText(crawl.list, crawl.page, crawl.pageText, "HREF");
    ScanText(crawl.list, crawl.page, crawl.pageText, "SRC");
    ReportLinksCut(crawl, crawl.url);
  }
  // The page may take the whole page limit; nothing reads it once scanned.
  std::string().swap(crawl.pageText);
  m_crawls.EndBusy(Notify::On, crawl.session, &crawl);
  SetCrawlStatus(crawl, CompleteText(crawl));
  return fetched;
}

void CFetchwickDoc::DeepCrawl(CCrawl& crawl) {
  m_crawls.TellForCrawl(crawl, [&] { m_host.SetStatusText(FormatText(crawl_text::kDeepCrawling, crawl.url.c_str())); });
  crawl.pageText.clear();
  m_crawls.BeginBusy(Notify::On, crawl.session, &crawl);
  crawl.quiet = true;
  m_crawls.TellForCrawl(crawl, [&] { m_host.SetAddressText(crawl.url); });
  CrawlLevel(crawl, crawl.url, crawl.depth);
  crawl.quiet = false;
  m_crawls.EndBusy(Notify::On, crawl.session, &crawl);
  SetCrawlStatus(crawl, CompleteText(crawl));
}

bool CFetchwickDoc::CrawlLevel(CCrawl& crawl, std::string url, int depth) {
  if (depth <= 0) return false;
  // The page's references are read out first and its text goes at once: a
  // level keeps only what it has left to list while the levels below it
  // run, so the depth no longer multiplies the page limit. Those references
  // are held within twice the page limit over all levels; a page whose
  // references would go beyond is cut where they stop fitting.
  ReferenceList references;
  {
    std::string text;
    const std::size_t cutBefore = crawl.pagesCut;
    if (!FetchPage(crawl, url, text)) return false;
    const std::size_t budget = 2 * m_pageLimits.maxBytes;
    const std::size_t room = budget > crawl.heldReferences ? budget - crawl.heldReferences : 0;
    if (const auto stopped = references.Read("HREF", text, room)) {
      if (crawl.pagesCut == cutBefore) ++crawl.pagesCut;
      SetCrawlStatus(crawl,
                     FormatText(crawl_text::kPageTooLarge, static_cast<unsigned long long>(*stopped), url.c_str()));
    }
  }
  // This level's own copy of the page's host and base: deeper levels
  // overwrite the crawl's, and the links left on this page must still
  // complete against this page.
  const PageAddress page = crawl.page;
  crawl.heldReferences += references.size();
  // Counted on a copy, so that the windows can say how many links wait;
  // the copy costs no more than the reading did.
  std::string value;
  std::size_t waiting = 0;
  for (ReferenceList counting = references; counting.Next(value);) ++waiting;
  crawl.progress->linksWaiting += waiting;

  // The recursion is depth-first: a followed page is crawled completely
  // before the rest of this one is listed. Once the crawl is stopped, every
  // fetch fails at once, so the recursion unwinds while the pages already
  // fetched still list their links. Once the list is full, nothing more can
  // be listed, and nothing more is fetched.
  bool followed = false;
  while (!crawl.list->Cut() && references.Next(value)) {
    --crawl.progress->linksWaiting;
    --waiting;
    CompleteURL(value, page.origin, page.base);
    if (FollowWithLevels(crawl, page, value, depth - 1)) {
      CrawlLevel(crawl, value, depth - 1);
      followed = true;
    }
  }
  ReportLinksCut(crawl, url);
  // Links a full list leaves unread wait no longer.
  crawl.progress->linksWaiting -= waiting;
  crawl.heldReferences -= references.size();
  return followed;
}

bool CFetchwickDoc::FollowWithLevels(CCrawl& crawl, const PageAddress& page, std::string& url, int levels) {
  const bool newPage = AddLink(crawl.list, page, url, Notify::On);
  // Listed before, now, or not at all (a mail link, a full list).
  const std::optional<std::size_t> place = crawl.list->IndexOf(url);
  if (!place) return false;
  if (crawl.levelsLeft.size() <= *place) crawl.levelsLeft.resize(*place + 1, -1);
  int& met = crawl.levelsLeft[*place];
  if (newPage) {
    met = levels;
    return true;
  }
  // Listed before. Depth first, a page is often met first down a long
  // route, where few levels are left, and only later from a page nearer the
  // start: it is followed again then, so that a deeper crawl never covers
  // less than a shallower one. Its entry stays where it was first listed. A
  // page listed but never followed (a file, another host) stays unfollowed.
  if (met < 0 || met >= levels) return false;
  met = levels;
  return true;
}

void CFetchwickDoc::OnCrawlDone(const CrawlDoneMessage& message) {
  const std::shared_ptr<CCrawl>& current = m_crawls.Current();
  if (!current || message.list != current->list) return;  // a superseded crawl's
  m_history.MoveTo(message.url, current->pushCurrent);
  m_host.RebuildView();
  if (current->addToHistory) m_host.AddToHistory(m_history.Current());
  m_history.SetTitle(m_history.Current());
  m_host.SetTitle(m_history.Title());
  m_host.SetAddressText(m_history.Current());
  // The thread posted this as its last step before it returns.
  m_crawls.JoinCurrent();
}

void CFetchwickDoc::OnBack() {
  m_history.GoBack([this](const std::string& url) { StartCrawl(url, AddToHistory::No, PushCurrent::No); });
}

void CFetchwickDoc::OnForward() {
  // When this crawl is done, the address current before it goes onto the back stack.
  m_history.GoForward([this](const std::string& url) { StartCrawl(url, AddToHistory::No, PushCurrent::Yes); });
}
