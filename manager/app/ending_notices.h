#pragma once

#include <QObject>
#include <vector>

#include "manager/core/download_history.h"

namespace gui {
class DesktopNotifier;
class PacedCall;
}  // namespace gui

namespace queuebay {

// Desktop notices of finished and failed downloads. A single ending gets a
// notice of its own; endings that come close together share one, so that a
// crawl handing over thousands of files does not bury the desktop.
class EndingNotices final : public QObject {
 public:
  static constexpr int kIntervalMs = 3000;  // at most one notice of each kind per interval

  EndingNotices(gui::DesktopNotifier& notifier, QObject* parent = nullptr);

  void SetEnabled(bool enabled);
  bool Enabled() const { return m_enabled; }
  // Stopped and canceled downloads are the user's own doing: no notice.
  void Add(const std::vector<HistoryEntry>& endings);

 private:
  void Flush();
  void Tell(std::vector<HistoryEntry>& endings, bool failure);

  gui::DesktopNotifier& m_notifier;
  gui::PacedCall* m_pace;
  bool m_enabled = true;
  std::vector<HistoryEntry> m_finished;
  std::vector<HistoryEntry> m_failed;
};

}  // namespace queuebay
