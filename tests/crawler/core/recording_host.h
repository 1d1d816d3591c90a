#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crawler/core/doc_host.h"

class CFetchwickDoc;

// Stands in for the crawler's windows: records every call of the document,
// in order, as one line each ("status Crawl complete.", "busy start", ...),
// and lets a test wait for a line. The test's own thread plays the
// interface thread: it takes the posted crawl-done messages and hands them
// to the document, as the view does.
//
// Lines: "busy start", "busy end", "status TEXT", "address TEXT",
// "box TEXT", "error TEXT", "download TEXT" (the download status text at
// each wake-up of the idle refresh), "crawl done URL", "link URL",
// "rebuild", "history URL", "title TEXT".
class RecordingHost : public IFetchwickHost {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kPatience{10000};

  std::atomic<bool> hasView{true};
  std::atomic<bool> hasMainWindow{true};

  // The download status text is read from here when the refresh is woken.
  void Watch(const CFetchwickDoc* doc);

  std::vector<std::string> Lines() const;
  // The lines that begin with `prefix` + " ", without it.
  std::vector<std::string> LinesOf(const std::string& prefix) const;
  std::size_t Count(const std::string& line) const;
  // Waits until `line` has been recorded `times` times; false after `limit`.
  bool WaitFor(const std::string& line, std::size_t times = 1, std::chrono::milliseconds limit = kPatience);
  // Waits until a line beginning with `prefix` is recorded; gives it.
  std::optional<std::string> WaitForPrefix(const std::string& prefix, std::chrono::milliseconds limit = kPatience);
  // When `line` was first recorded.
  std::optional<Clock::time_point> TimeOf(const std::string& line) const;

  // The next WM_CRAWL_DONE not yet taken; none within `limit`.
  std::optional<CrawlDoneMessage> TakeCrawlDone(std::chrono::milliseconds limit = kPatience);
  std::vector<LinkFoundMessage> LinksFound() const;
  void Clear();

  bool HasView() const override { return hasView; }
  bool HasMainWindow() const override { return hasMainWindow; }
  void PostCrawlDone(CrawlDoneMessage message) override;
  void PostLinkFound(LinkFoundMessage message) override;
  void PostShowError(std::string text) override { Record("error " + text); }
  void PostBusyStart() override { Record("busy start"); }
  void PostBusyEnd() override { Record("busy end"); }
  void WakeIdleRefresh() override;
  void SetStatusText(std::string text) override { Record("status " + text); }
  void SetAddressText(std::string text) override { Record("address " + text); }
  void ShowMessageBox(std::string text) override { Record("box " + text); }
  void RebuildView() override { Record("rebuild"); }
  void AddToHistory(const std::string& address) override { Record("history " + address); }
  void SetTitle(const std::string& title) override { Record("title " + title); }

 private:
  void Record(std::string line);

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::pair<std::string, Clock::time_point>> m_lines;
  std::deque<CrawlDoneMessage> m_crawlDone;
  std::vector<LinkFoundMessage> m_linksFound;
  std::atomic<const CFetchwickDoc*> m_doc{nullptr};
};
