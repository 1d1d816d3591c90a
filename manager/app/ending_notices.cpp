#include "manager/app/ending_notices.h"

#include "contract/status.h"
#include "gui/desktop_notifier.h"
#include "gui/paced_call.h"

namespace queuebay {

EndingNotices::EndingNotices(gui::DesktopNotifier& notifier, QObject* parent)
    : QObject(parent), m_notifier(notifier), m_pace(new gui::PacedCall(kIntervalMs, [this] { Flush(); }, this)) {}

void EndingNotices::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (!enabled) {
    m_finished.clear();
    m_failed.clear();
  }
}

void EndingNotices::Add(const std::vector<HistoryEntry>& endings) {
  if (!m_enabled) return;
  bool any = false;
  for (const HistoryEntry& entry : endings) {
    if (entry.outcome == HistoryOutcome::Finished)
      m_finished.push_back(entry);
    else if (entry.outcome == HistoryOutcome::Failed)
      m_failed.push_back(entry);
    else
      continue;
    any = true;
  }
  if (any) m_pace->Request();
}

void EndingNotices::Flush() {
  Tell(m_finished, false);
  Tell(m_failed, true);
}

void EndingNotices::Tell(std::vector<HistoryEntry>& endings, bool failure) {
  if (endings.empty()) return;
  gui::DesktopNotifier::Notice notice;
  notice.failure = failure;
  const HistoryEntry& last = endings.back();
  notice.folderPath = QString::fromStdString(last.folder);
  if (endings.size() == 1) {
    notice.summary = failure ? QStringLiteral("Download failed") : QStringLiteral("Download finished");
    notice.body = QString::fromStdString(last.name);
    // A failure's ending names its reason after the progress.
    if (const std::string_view reason = EndingReason(last.detail); failure && !reason.empty())
      notice.body += QLatin1Char('\n') + QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()));
    if (!failure) notice.filePath = QString::fromStdString(last.folder + last.name);
  } else {
    notice.summary = (failure ? QStringLiteral("%1 downloads failed") : QStringLiteral("%1 downloads finished"))
                         .arg(endings.size());
    constexpr std::size_t kNamed = 3;
    QStringList names;
    for (std::size_t i = 0; i < endings.size() && i < kNamed; ++i) names << QString::fromStdString(endings[i].name);
    notice.body = names.join(QLatin1Char('\n'));
    if (endings.size() > kNamed) notice.body += QStringLiteral("\nand %1 more").arg(endings.size() - kNamed);
  }
  endings.clear();
  m_notifier.Show(notice);
}

}  // namespace queuebay
