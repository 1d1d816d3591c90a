#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "contract/interfaces.h"
#include "contract/status.h"
#include "crawler/core/address_history.h"
#include "crawler/core/crawl_controller.h"
#include "crawler/core/crawl_state.h"
#include "crawler/core/doc_host.h"
#include "crawler/core/link_entry.h"
#include "crawler/core/own_downloader.h"
#include "crawler/core/size_queries.h"
#include "http/session.h"
#include "http/url_parts.h"
#include "proxystub/engine_link.h"

class CallbackItf;

// The two flags a page crawl is started with.
enum class AddToHistory { No, Yes };
enum class PushCurrent { No, Yes };

// How the document gets to the download engine.
enum class EngineUse {
  Create,  // create it (starting the registered server), as the program does
  None,    // never: download by itself; for tools and tests that must leave the user's engine alone
};

// How much of one page a crawl reads. A page that never ends, or is
// enormous, would otherwise hold the crawl and its memory for ever; it is cut
// at whichever limit comes first. The time runs from the page's request and
// is checked between reads, so a read that waits for a slow server can add
// up to the session's receive time limit.
struct PageLimits {
  std::size_t maxBytes = std::size_t{64} << 20;
  std::chrono::milliseconds maxTime = std::chrono::minutes(5);
  // The links one crawl lists at most.
  std::size_t maxLinks = kMaxListedLinks;
};

struct DocOptions {
  EngineUse engine = EngineUse::Create;
  ps::ActivationOptions activation;
  // Sessions of crawls, size queries and the own downloader. The program
  // honours the system's proxy settings; tests shorten the time limits.
  http::SessionOptions sessions{.proxy = http::ProxyMode::System};
  // Tests shorten these too.
  PageLimits pageLimits;
};

// What the options dialog hands the document on OK.
struct CrawlerOptions {
  std::string downloadDir;
  std::string fileFilter;  // as typed
  std::uint32_t crawlDepth = 5;
  bool excludeForeign = true;
};

// The crawler's document: the front its windows talk to. It reaches the
// windows only through its host. Its parts each own their lock: the crawls
// and their session (CrawlController), the address history, the size
// queries and the own downloader; the document hands them the host and the
// engine link.
//
// Threads: the interface thread calls everything not marked otherwise. The
// document runs one current crawl thread (a superseded one may still be
// finishing beside it), size-query threads and, without an engine, its own
// download thread; engine events arrive on the connection's threads. Every
// network wait of them ends when its session is closed, and the destructor
// closes them all and joins every thread before any member goes away.
class CFetchwickDoc {
 public:
  explicit CFetchwickDoc(IFetchwickHost& host, DocOptions options = {});
  ~CFetchwickDoc();
  CFetchwickDoc(const CFetchwickDoc&) = delete;
  CFetchwickDoc& operator=(const CFetchwickDoc&) = delete;

  // ---- The link list and the page scan ---------------------------------

  // The list of the current crawl. Any thread may call these.
  std::shared_ptr<LinkList> Links() const;
  // Starts the list of a new crawl and returns it. The previous list lives on
  // for as long as a row, a message or its crawl thread still holds it.
  std::shared_ptr<LinkList> StartNewLinkList();

  // A page scan outside any crawl thread (tools, tests): the page text and
  // address that ScanForKeyword and the one-list AddLink use. Crawl threads
  // keep their own in their CCrawl.
  const std::string& PageText() const { return m_strPageText; }
  void SetPageText(std::string text) { m_strPageText = std::move(text); }
  bool SetPageAddress(std::string_view url) { return m_page.Set(url); }
  const std::string& Server() const { return m_page.server; }
  const std::string& Origin() const { return m_page.origin; }
  const std::string& Base() const { return m_page.base; }

  // Lists every value written after `keyword` in the page text, in text
  // order: the first form on the current list, the second on `list`.
  void ScanForKeyword(std::string_view keyword);
  void ScanForKeyword(const std::shared_ptr<LinkList>& list, std::string_view keyword);

  // Completes `url` in place and lists it, unless it is empty, a mail link,
  // or already listed. Returns true when the link is a page the deep crawl
  // may follow. The first two forms complete against the page set above; the
  // last against `page`, on the list of the crawl that found the link.
  bool AddLink(std::string& url, Notify notify);
  bool AddLink(const std::shared_ptr<LinkList>& list, std::string& url, Notify notify);
  bool AddLink(const std::shared_ptr<LinkList>& list, const PageAddress& page, std::string& url, Notify notify);

  // Whether the deep crawl may follow `url`: always when "Exclude Foreign" is
  // off, otherwise when its host equals the page's host byte for byte (ports
  // are not compared). An address that cannot be split is never followed.
  bool IsSameSite(std::string_view url) const;

  // ---- Settings ---------------------------------------------------------

  // "Exclude Foreign" and "Crawl Depth" as the document runs with them; a
  // running deep crawl reads the first as it goes and keeps the depth it
  // started with. Any thread may read them.
  bool ExcludeForeign() const { return m_bExcludeForeign.load() != 0; }
  void SetExcludeForeign(bool exclude) { m_bExcludeForeign.store(exclude ? 1 : 0); }
  int CrawlDepth() const { return m_nCrawlDepth.load(); }
  void SetCrawlDepth(int depth) { m_nCrawlDepth.store(depth); }
  // The folder own downloads go to; it always ends with "/". Any thread.
  std::string DownloadDirectory() const { return m_own.Directory(); }

  // ---- Crawls -----------------------------------------------------------

  // Starts a page crawl of `url` (nothing when empty), stopping a running
  // crawl first; OnCrawlDone finishes it when its page was fetched.
  void StartCrawl(const std::string& url, AddToHistory addToHistory, PushCurrent pushCurrent);
  // Starts a deep crawl of `url` to "Crawl Depth" levels; every link reaches
  // the view through WM_LINK_FOUND as it is listed.
  void StartDeepCrawl(const std::string& url, AddToHistory addToHistory);
  // Stop Crawl: closes the crawl session, which ends every fetch and size
  // query in progress; enabled while IsBusy().
  void StopCrawl();
  // WM_CRAWL_DONE has arrived: the crawled address becomes current. A message
  // of a superseded crawl is dropped.
  void OnCrawlDone(const CrawlDoneMessage& message);
  // The main window asks whether it may close: stops the crawl and waits for
  // every crawl thread. Always true.
  bool CanCloseFrame();

  bool IsBusy() const { return m_crawls.IsBusy(); }
  const std::string& CurrentURL() const { return m_history.Current(); }
  const std::string& Title() const { return m_history.Title(); }

  // For tools: waits until the current crawl thread has ended; false when it
  // still runs after `limit`. Then the pages it fetched (any answer counts).
  bool WaitForCrawl(std::chrono::milliseconds limit) { return m_crawls.WaitForCrawl(limit); }
  std::size_t PagesFetched() const { return m_crawls.PagesFetched(); }

  // ---- Back and Forward ---------------------------------------------------

  void OnBack();
  void OnForward();
  const std::deque<std::string>& BackStack() const { return m_history.BackStack(); }
  const std::deque<std::string>& ForwardStack() const { return m_history.ForwardStack(); }

  // ---- Size query -------------------------------------------------------

  // The Content-Length of `url`, or -1 when the server gives none or answers
  // with a status of 400 or more. Runs on a size-query thread; it holds the
  // crawl session for its duration, beside a crawl that may use it as well.
  std::int32_t QueryFileSize(const std::string& url) { return m_sizes.QueryFileSize(url); }
  // Get File Size: starts a size-query thread that posts WM_BUSY_START,
  // queries every entry in order, stores each size and posts WM_BUSY_END.
  void StartSizeQuery(SizeQueryJob job) { m_sizes.Start(std::move(job)); }
  // For tools: waits until every size-query thread has ended.
  bool WaitForSizeQueries(std::chrono::milliseconds limit) { return m_sizes.Wait(limit); }

  // ---- Downloads --------------------------------------------------------

  // Download File(s), once per row: hands the file to the engine, or without
  // one to the document's own download queue.
  void QueueDownload(const LinkEntry& entry);
  void StopDownloads();          // Stop Downloads: enabled while IsDownloading()
  void CancelCurrentDownload();  // enabled while IsDownloading() and there is no engine
  // False from the moment the engine is found gone. Any thread.
  bool IsDownloading() const { return m_link.IsDownloading(); }
  // The text of the download status pane. Any thread.
  std::string DownloadStatus() const;
  // For tools: waits until the own download thread has emptied its queue.
  bool WaitForDownloads(std::chrono::milliseconds limit) { return m_own.WaitIdle(limit); }
  // Whether the own download thread runs. Any thread.
  bool DownloadThreadRunning() const { return m_own.ThreadRunning(); }

  // The engine; null when it could not be created (or was not to be).
  IDownloadEngine* Engine() const { return m_link.Engine(); }
  // The callback object advised on the engine; null without an engine.
  CallbackItf* Sink() const;
  // The engine for a command of the user's (Download File(s), Options, Open
  // Downloads). Once the engine has gone away, this connects again first,
  // starting one if needed; null when that fails, or without an engine from
  // the start.
  IDownloadEngine* ReadyEngine() { return m_link.ReadyEngine(); }
  // Whether the engine went away (it died, or dropped the callback object)
  // and no command has connected again since. Any thread.
  bool EngineLost() const { return m_link.EngineLost(); }

  // ---- Options and the file filter ----------------------------------------

  // The options dialog was closed with OK: takes the folder (handing it to
  // the engine), the crawl settings (stored when the settings exist) and
  // the filter.
  void ApplyOptions(const CrawlerOptions& options);
  // Stores the filter text as typed and rebuilds the set of extensions from
  // its runs of letters, lower-cased; then the view is rebuilt.
  void SetFileFilter(std::string_view text);
  const std::set<std::string>& FileFilter() const { return m_fileFilter; }
  // The filter as the options dialog shows it: each extension and a comma.
  std::string FileFilterText() const;
  // Whether the view shows `entry`: no filter, or its extension is in it.
  bool PassesFilter(const LinkEntry& entry) const;

 private:
  friend class CallbackItf;
  // What the engine link is made with (doc_engine.cpp).
  ps::EngineLinkOptions LinkOptions(DocOptions& options);
  // The download status text; wakes the idle refresh that shows it
  // (fetchwick_doc.cpp). Any thread.
  void SetDownloadStatus(std::string text);

  // Crawl threads (doc_crawl.cpp).
  void PageCrawlProc(const std::shared_ptr<CCrawl>& crawl);
  void DeepCrawlProc(const std::shared_ptr<CCrawl>& crawl);
  bool CrawlPage(CCrawl& crawl);
  void DeepCrawl(CCrawl& crawl);
  bool CrawlLevel(CCrawl& crawl, std::string url, int depth);
  // Lists `url` (completing it) for the deep crawl and tells whether to
  // follow it with `levels` left: a new page AddLink would follow, or a page
  // followed before with fewer levels left.
  bool FollowWithLevels(CCrawl& crawl, const PageAddress& page, std::string& url, int levels);
  void ScanText(const std::shared_ptr<LinkList>& list, const PageAddress& page, std::string_view text,
                std::string_view keyword);
  void LaunchCrawl(std::shared_ptr<CCrawl> crawl);
  void SetCrawlStatus(const CCrawl& crawl, std::string text);
  // "Crawl complete.", or what says that pages or the list were cut short.
  static std::string CompleteText(const CCrawl& crawl);
  // Says once that the list is full, naming the page where it filled up.
  void ReportLinksCut(CCrawl& crawl, const std::string& url);

  // Page fetches (doc_fetch.cpp).
  bool FetchPage(CCrawl& crawl, std::string& url, std::string& text);
  void ReportFetchError(const CCrawl& crawl, http::ErrorCode code, const std::string& url);
  enum class PageCut { TooLarge, TooSlow };
  void ReportPageCut(CCrawl& crawl, const std::string& url, PageCut why);

  IFetchwickHost& m_host;
  const http::SessionOptions m_sessionOptions;
  const PageLimits m_pageLimits;
  std::atomic<bool> m_bClosing{false};  // the destructor runs: no new boxes, no new threads

  // Lists and the page-scan state.
  mutable std::mutex m_csLinks;  // guards the pointer m_links, not the list
  std::shared_ptr<LinkList> m_links;
  std::string m_strPageText;
  PageAddress m_page;

  // Settings.
  std::atomic<int> m_nCrawlDepth{5};
  std::atomic<int> m_bExcludeForeign{1};

  // The crawls with their threads, and the crawl session that crawls and
  // size queries share.
  CrawlController m_crawls{m_host, m_bClosing, m_sessionOptions};
  AddressHistory m_history;

  // Size queries; each holds the crawl session while it asks.
  SizeQueries m_sizes{m_host, m_bClosing,
                      {.hold = [this](auto& held) { m_crawls.BeginBusy(Notify::Off, held); },
                       .release = [this](auto& held) { m_crawls.EndBusy(Notify::Off, held); }}};

  // The own downloader. It reports through m_link, made after it: nothing
  // of it runs before a file is queued.
  OwnDownloader m_own{m_host, m_link, m_bClosing, m_sessionOptions};

  // The file filter: extensions in byte-wise order; empty shows everything.
  std::set<std::string> m_fileFilter;

  // The engine, the callback object advised on it, the "downloading" flag
  // (the own downloader's without an engine) and the download status text.
  // Made last: events may come as soon as it has connected.
  ps::EngineLink m_link;
};
