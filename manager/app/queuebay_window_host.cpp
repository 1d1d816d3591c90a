#include "manager/app/queuebay_window_host.h"

#include "gui/idle_updater.h"
#include "manager/app/manager_events.h"
#include "manager/app/queuebay_view.h"

namespace queuebay {

void QueuebayWindowHost::Attach(CQueuebayView* view) {
  std::lock_guard lock(m_mutex);
  m_view = view;
}

bool QueuebayWindowHost::HasView() const {
  std::lock_guard lock(m_mutex);
  return m_view != nullptr;
}

void QueuebayWindowHost::WakeView() {
  std::lock_guard lock(m_mutex);
  if (m_view) gui::Post<DownloadRecordEvent>(m_view);
}

void QueuebayWindowHost::WakeIdleRefresh() { m_updater.Wake(); }

}  // namespace queuebay
