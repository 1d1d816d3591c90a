#include "crawler/app/fetchwick_host.h"

#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/idle_updater.h"
#include "gui/message_boxes.h"

FetchwickHost::FetchwickHost(gui::IdleUpdater& updater, gui::MessageBoxHop& boxes)
    : m_updater(updater), m_boxes(boxes) {}

void FetchwickHost::Attach(CMainFrame* frame, CFetchwickView* view) {
  std::lock_guard lock(m_mutex);
  m_frame = frame;
  m_view = view;
}

void FetchwickHost::Detach() {
  std::lock_guard lock(m_mutex);
  m_frame = nullptr;
  m_view = nullptr;
  m_found = {};
  m_wakePending = false;
}

bool FetchwickHost::HasView() const {
  std::lock_guard lock(m_mutex);
  return m_view != nullptr;
}

bool FetchwickHost::HasMainWindow() const {
  std::lock_guard lock(m_mutex);
  return m_frame != nullptr;
}

template <class Event, class... Args>
void FetchwickHost::PostToView(Args&&... args) {
  std::lock_guard lock(m_mutex);
  if (m_view) gui::Post<Event>(m_view, std::forward<Args>(args)...);
}

template <class Event, class... Args>
void FetchwickHost::PostToFrame(Args&&... args) {
  std::lock_guard lock(m_mutex);
  if (m_frame) gui::Post<Event>(m_frame, std::forward<Args>(args)...);
}

FetchwickHost::Found FetchwickHost::TakeFound() {
  Found found;
  std::lock_guard lock(m_mutex);
  std::swap(found, m_found);
  m_wakePending = false;
  return found;
}

void FetchwickHost::WakeViewLocked() {
  if (m_wakePending) return;
  m_wakePending = true;
  gui::Post<LinkFoundEvent>(m_view);
}

void FetchwickHost::PostLinkFound(LinkFoundMessage message) {
  std::lock_guard lock(m_mutex);
  if (!m_view) return;
  m_found.links.push_back(std::move(message));
  WakeViewLocked();
}

void FetchwickHost::PostSizeFound(std::shared_ptr<const LinkList> list, const LinkEntry* entry) {
  std::lock_guard lock(m_mutex);
  if (!m_view) return;
  m_found.sizes.push_back(SizeFoundMessage{std::move(list), entry});
  WakeViewLocked();
}

void FetchwickHost::PostCrawlDone(CrawlDoneMessage message) { PostToView<CrawlDoneEvent>(std::move(message)); }
void FetchwickHost::PostShowError(std::string text) { PostToView<ShowErrorEvent>(std::move(text)); }
void FetchwickHost::PostBusyStart() { PostToFrame<BusyStartEvent>(); }
void FetchwickHost::PostBusyEnd() { PostToFrame<BusyEndEvent>(); }
void FetchwickHost::SetStatusText(std::string text) { PostToFrame<StatusTextEvent>(std::move(text)); }
void FetchwickHost::SetAddressText(std::string text) { PostToFrame<AddressTextEvent>(std::move(text)); }
void FetchwickHost::WakeIdleRefresh() { m_updater.Wake(); }
void FetchwickHost::ShowMessageBox(std::string text) { m_boxes.Show(text); }

void FetchwickHost::CrawlStarted(std::shared_ptr<const LinkList> list, std::shared_ptr<const CrawlProgress> progress) {
  if (m_frame) m_frame->ShowCrawlProgress(std::move(list), std::move(progress));
}

void FetchwickHost::RebuildView() {
  if (m_view) m_view->Rebuild();
}

void FetchwickHost::AddToHistory(const std::string& address) {
  if (m_frame) m_frame->AddToHistory(address);
}

void FetchwickHost::SetTitle(const std::string& title) {
  if (m_frame) m_frame->SetDocumentTitle(title);
}
