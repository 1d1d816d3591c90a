#pragma once

#include <mutex>

#include "manager/core/queuebay_host.h"

namespace gui {
class IdleUpdater;
}

namespace queuebay {

class CQueuebayView;

// The document's windows as the document sees them: wake-ups become posted
// events, nothing here touches a widget off the interface thread.
class QueuebayWindowHost final : public IQueuebayHost {
 public:
  explicit QueuebayWindowHost(gui::IdleUpdater& updater) : m_updater(updater) {}

  // The view arrives once it exists and leaves before it goes. Interface thread.
  void Attach(CQueuebayView* view);

  bool HasView() const override;
  void WakeView() override;
  void WakeIdleRefresh() override;

 private:
  gui::IdleUpdater& m_updater;
  mutable std::mutex m_mutex;  // guards m_view against a view going away
  CQueuebayView* m_view = nullptr;
};

}  // namespace queuebay
