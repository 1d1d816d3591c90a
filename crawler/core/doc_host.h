#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crawler/core/link_entry.h"

struct CrawlProgress;  // crawl_state.h

// Private messages of the crawler's document to its windows, under the names
// and values the windows have always known them by.
inline constexpr std::uint32_t WM_BUSY_START = 0x0BD0;  // to the main window: a busy period begins
inline constexpr std::uint32_t WM_BUSY_END = 0x0BD1;    // to the main window: the busy period ends
inline constexpr std::uint32_t WM_CRAWL_DONE = 0x1400;  // to the first view: a page crawl fetched its page
inline constexpr std::uint32_t WM_LINK_FOUND = 0x1401;  // to the first view: a deep crawl listed a link
inline constexpr std::uint32_t WM_SHOW_ERROR = 0x1402;  // to the first view: an error text of the engine

// WM_LINK_FOUND: the entry that was listed, with the list that holds it. The
// list travels with the message, so the entry stays valid however late the
// message arrives, and the view can tell a message of an older crawl (whose
// list is no longer the document's) and drop it.
struct LinkFoundMessage {
  std::shared_ptr<const LinkList> list;
  const LinkEntry* entry = nullptr;
};

// WM_CRAWL_DONE: which crawl fetched its page (by its list) and the address
// it fetched, "http://" put in front when it had no scheme. The view hands
// it to CFetchwickDoc::OnCrawlDone, which drops the message of a crawl that a
// newer one has superseded.
struct CrawlDoneMessage {
  std::shared_ptr<const LinkList> list;
  std::string url;
};

// What the document needs of its windows. The window layer implements it with
// Qt (posted events, the first view, the main window); tests implement it
// with a recorder, the crawl harness with the console.
//
// Calls marked "any thread" come from crawl, size-query, download and engine
// callback threads as well as from the interface thread; the others come only
// from the interface thread. No call may wait for the interface thread except
// ShowMessageBox.
//
// Only the view's two calls must be given. The others default to what a host
// without a main window does (a tool that only scans pages): nothing, and
// without a main window the document starts no busy period, so it fetches
// nothing either.
class IFetchwickHost {
 public:
  virtual ~IFetchwickHost() = default;

  // Whether the document has a view to post to. Any thread.
  virtual bool HasView() const = 0;
  // Whether the application has a main window; without one a crawl holds no
  // session and fetches nothing. Any thread.
  virtual bool HasMainWindow() const { return false; }

  // Posted to the first view; never wait for the message to be handled. Any thread.
  virtual void PostCrawlDone(CrawlDoneMessage) {}
  virtual void PostLinkFound(LinkFoundMessage message) = 0;
  // WM_SHOW_ERROR: the view shows the text in a box captioned "Fetchwick Error".
  virtual void PostShowError(std::string) {}

  // Posted to the main window. Any thread.
  virtual void PostBusyStart() {}
  virtual void PostBusyEnd() {}
  // Wakes the interface thread's idle refresh of command states and of the
  // download status pane, which then reads CFetchwickDoc::DownloadStatus().
  // Called after every change of that text, so it must be cheap; a host may
  // coalesce wake-ups that arrive before the refresh has run. Any thread.
  virtual void WakeIdleRefresh() {}

  // The message pane of the status bar and the address bar's edit field; the
  // host hands the texts over to the interface thread in the order given. Any thread.
  virtual void SetStatusText(std::string) {}
  virtual void SetAddressText(std::string) {}

  // A message box with the program's title as caption and an OK button,
  // shown for a worker thread, which waits until it is closed. Any thread.
  // While the document closes, the interface thread waits for its crawl
  // threads: a host whose boxes need the interface thread must end a waiting
  // box then rather than let the worker wait for ever.
  virtual void ShowMessageBox(std::string) {}

  // A crawl begins, with its list and its counts, which stay readable from
  // any thread for as long as they are held. Interface thread only.
  virtual void CrawlStarted(std::shared_ptr<const LinkList>, std::shared_ptr<const CrawlProgress>) {}

  // After a page crawl (OnCrawlDone) and a filter change; interface thread only.
  // Rebuilds the view's rows from CFetchwickDoc::Links() through the filter.
  virtual void RebuildView() {}
  virtual void AddToHistory(const std::string&) {}
  // The document title, shown in the main window's caption.
  virtual void SetTitle(const std::string&) {}
};
