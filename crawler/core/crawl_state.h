#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "crawler/core/link_entry.h"
#include "http/session.h"

// The page that relative references complete against: the host, origin and
// base directory of the page fetched most recently.
struct PageAddress {
  std::string server;  // bare host name
  // Scheme, host and port. Before any page it is the bare scheme, so that
  // completion gives what it always gave without a host.
  std::string origin = "http://";
  std::string base;  // base directory, ends with "/"

  // Takes the address of a page just fetched. An address the URL splitter
  // rejects changes nothing and gives false, so the previous page's values stay.
  bool Set(std::string_view url);
};

// How far one crawl has got, for the windows' progress display: counted by
// the crawl thread, read by any thread while the crawl runs and after it.
struct CrawlProgress {
  std::atomic<std::size_t> pagesFetched{0};  // pages fetched with any answer
  // Links read from fetched pages that the crawl has yet to look at: a deep
  // crawl goes depth first, so these, not pages, are what is known to wait.
  std::atomic<std::size_t> linksWaiting{0};
};

// Everything one page crawl or deep crawl owns. Each crawl gets its own, so a
// superseded crawl thread that is still finishing writes only into its own
// list, text and addresses, and can never list, fetch or report for the
// crawl that replaced it.
struct CCrawl {
  enum class Kind { Page, Deep };

  Kind kind = Kind::Page;
  // The address being crawled; the page fetch may put "http://" in front of
  // it. Written only by the crawl thread once it runs.
  std::string url;
  bool addToHistory = false;  // OnCrawlDone adds the address to the history
  bool pushCurrent = false;   // OnCrawlDone pushes the previous address on the back stack
  int depth = 0;              // levels of a deep crawl, taken at its start
  bool quiet = false;         // a deep crawl runs: page fetches show no boxes

  std::shared_ptr<LinkList> list;
  // A deep crawl's followed pages, by their place in the list: the most
  // levels left that each has been met with (-1: never followed); a page
  // met again with more is followed again. Four bytes a listed link.
  std::vector<int> levelsLeft;
  // Text of the page a page crawl fetched, released once it is scanned.
  std::string pageText;
  PageAddress page;  // of the page fetched most recently
  // What a deep crawl holds of the pages on its path: the references each
  // has left to list (see CrawlLevel), in bytes.
  std::size_t heldReferences = 0;

  // The crawl session this crawl holds while it is busy; null when it holds
  // none. A stop closes the session under the crawl's feet, which ends its
  // network calls; the crawl never picks up a session opened after that.
  std::shared_ptr<http::Session> session;

  // Set on the interface thread when a newer crawl replaces this one: from
  // then on the crawl says nothing to the windows.
  std::atomic<bool> superseded{false};
  // Pages fetched and links waiting; the windows hold it beyond the crawl.
  std::shared_ptr<CrawlProgress> progress = std::make_shared<CrawlProgress>();
  std::size_t pagesCut = 0;      // pages cut short at the page limits
  bool linksCut = false;         // the list was full and links were left out

  // The end of the crawl thread, for whoever must wait for it.
  void MarkFinished();
  bool WaitFinished(std::chrono::milliseconds limit);
  bool finished() const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_finished = false;
};
