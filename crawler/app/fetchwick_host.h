#pragma once

#include <QObject>
#include <mutex>
#include <vector>

#include "crawler/app/crawler_events.h"
#include "crawler/core/doc_host.h"

namespace gui {
class IdleUpdater;
class MessageBoxHop;
}  // namespace gui
class CFetchwickView;
class CMainFrame;

// The document's windows, as the document sees them. Calls from other
// threads become posted events; nothing here touches a widget off the
// interface thread.
//
// Links found by a deep crawl come by the thousand, sizes by the hundred:
// they wait in a locked hand-over, and the view is woken once until it has
// taken them.
class FetchwickHost final : public IFetchwickHost {
 public:
  FetchwickHost(gui::IdleUpdater& updater, gui::MessageBoxHop& boxes);

  // The windows arrive once they exist and leave before they go; until then
  // and after, the document has neither view nor main window. Interface thread.
  void Attach(CMainFrame* frame, CFetchwickView* view);
  void Detach();

  // What the crawl and size-query threads found since the last call: the
  // links in the order found, and the entries whose size was stored.
  // Interface thread.
  struct Found {
    std::vector<LinkFoundMessage> links;
    std::vector<SizeFoundMessage> sizes;
  };
  Found TakeFound();
  // A size query stored a size. Any thread.
  void PostSizeFound(std::shared_ptr<const LinkList> list, const LinkEntry* entry);

  bool HasView() const override;
  bool HasMainWindow() const override;
  void PostCrawlDone(CrawlDoneMessage message) override;
  void PostLinkFound(LinkFoundMessage message) override;
  void PostShowError(std::string text) override;
  void PostBusyStart() override;
  void PostBusyEnd() override;
  void WakeIdleRefresh() override;
  void SetStatusText(std::string text) override;
  void SetAddressText(std::string text) override;
  void ShowMessageBox(std::string text) override;
  void CrawlStarted(std::shared_ptr<const LinkList> list, std::shared_ptr<const CrawlProgress> progress) override;
  void RebuildView() override;
  void AddToHistory(const std::string& address) override;
  void SetTitle(const std::string& title) override;

 private:
  template <class Event, class... Args>
  void PostToView(Args&&... args);
  template <class Event, class... Args>
  void PostToFrame(Args&&... args);
  // Under m_mutex: wakes the view unless a wake-up is on its way.
  void WakeViewLocked();

  gui::IdleUpdater& m_updater;
  gui::MessageBoxHop& m_boxes;

  // Guards the receivers, so that nothing is posted to a window going away,
  // and the links' hand-over.
  mutable std::mutex m_mutex;
  CMainFrame* m_frame = nullptr;
  CFetchwickView* m_view = nullptr;
  Found m_found;
  bool m_wakePending = false;
};
