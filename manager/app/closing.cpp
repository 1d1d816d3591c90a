// Closing Queuebay with downloads still to do, and offering them again at
// the next start.
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <unordered_set>

#include "gui/window_layout.h"
#include "manager/app/history_panel.h"
#include "manager/app/history_view.h"
#include "manager/app/main_frame.h"
#include "manager/app/queuebay_app.h"
#include "manager/app/queuebay_view.h"
#include "settings/settings.h"

namespace queuebay {

namespace {

QString Downloads(std::size_t count) {
  return count == 1 ? QStringLiteral("1 download") : QStringLiteral("%1 downloads").arg(count);
}

}  // namespace

bool CQueuebayApp::ConfirmClose() {
  const std::size_t count = m_view->Model().Urls().size();
  if (!m_askOnClose || count == 0) return true;
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(CMainFrame::kAppTitle),
                  QStringLiteral("%1 %2 still queued or in progress.").arg(Downloads(count), count == 1 ? "is" : "are"),
                  QMessageBox::NoButton, m_frame.get());
  box.setInformativeText(
      QStringLiteral("They stop when Queuebay closes, unless another Fetchwick window still uses the download "
                     "engine. Partial files are kept, and the next start offers to queue them again."));
  QPushButton* close = box.addButton(QStringLiteral("&Close Queuebay"), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Cancel);
  box.exec();
  return box.clickedButton() == close;
}

void CQueuebayApp::OnClosing() {
  if (m_closed) return;
  m_closed = true;
  // What is still to do is written down for the next start, with what an
  // unanswered offer still holds.
  std::vector<UnfinishedDownload> unfinished = m_offered;
  std::unordered_set<std::string> seen;
  for (const UnfinishedDownload& download : unfinished) seen.insert(download.url);
  const DownloadListModel& model = m_view->Model();
  for (int row = 0; row < model.rowCount(); ++row) {
    const std::string url = model.UrlAt(row);
    if (const _LinkStructType* record = model.RecordAt(row); record && seen.insert(url).second)
      unfinished.push_back({url, std::string(RecordText(record->szFileName))});
  }
  WriteUnfinished(unfinished);
  m_history->SaveNow();
  gui::SaveWindowPlacement(m_frame.get(), setting::kManagerWindow);
  gui::SaveColumns(m_view->header(), setting::kManagerColumnWidths, setting::kManagerColumnOrder);
  gui::SaveColumns(m_history->View()->header(), setting::kManagerHistoryColumnWidths, nullptr);
  gui::SavePaneSizes(m_panes, setting::kManagerPanes);
}

void CQueuebayApp::OfferUnfinished() {
  std::vector<UnfinishedDownload> unfinished = TakeUnfinished();
  // What the engine still holds (another window kept it going) is not lost.
  std::unordered_set<std::string> listed;
  for (const std::string& url : m_view->Model().Urls()) listed.insert(url);
  std::erase_if(unfinished, [&](const UnfinishedDownload& download) { return listed.contains(download.url); });
  if (unfinished.empty()) return;
  m_offered = std::move(unfinished);
  QString names;
  constexpr std::size_t kNamed = 5;
  for (std::size_t i = 0; i < m_offered.size() && i < kNamed; ++i)
    names += QStringLiteral("\n") + QString::fromStdString(m_offered[i].fileName);
  if (m_offered.size() > kNamed) names += QStringLiteral("\nand %1 more").arg(m_offered.size() - kNamed);
  auto* box = new QMessageBox(QMessageBox::Question, QString::fromLatin1(CMainFrame::kAppTitle),
                              QStringLiteral("%1 %2 not finished when Queuebay last closed:%3")
                                  .arg(Downloads(m_offered.size()), m_offered.size() == 1 ? "was" : "were", names),
                              QMessageBox::NoButton, m_frame.get());
  box->setInformativeText(QStringLiteral("Queue them again? Each resumes from its partial file."));
  QPushButton* queue = box->addButton(QStringLiteral("&Queue Again"), QMessageBox::AcceptRole);
  QPushButton* forget = box->addButton(QStringLiteral("&Forget Them"), QMessageBox::RejectRole);
  box->setDefaultButton(queue);
  box->setEscapeButton(forget);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::finished, m_frame.get(), [this, box, queue] {
    const std::vector<UnfinishedDownload> offered = std::exchange(m_offered, {});
    if (box->clickedButton() != queue) return;
    for (const UnfinishedDownload& download : offered) m_doc->AddDownload(download.fileName, download.url);
  });
  m_offer = box;
  box->open();
}

}  // namespace queuebay
