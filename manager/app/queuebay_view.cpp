#include "manager/app/queuebay_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <algorithm>

#include "contract/status.h"
#include "gui/command_set.h"
#include "gui/message_boxes.h"
#include "gui/paced_call.h"
#include "gui/report_view.h"
#include "manager/app/main_frame.h"
#include "manager/app/manager_commands.h"
#include "manager/app/manager_events.h"
#include "manager/app/progress_delegate.h"
#include "manager/core/queuebay_doc.h"

namespace queuebay {

namespace {
constexpr char kErrorCaption[] = "Fetchwick Error";
}  // namespace

CQueuebayView::CQueuebayView(CQueuebayDoc& doc, CMainFrame& frame, const gui::CommandSet& commands,
                             QWidget* parent)
    : QTreeView(parent),
      m_doc(doc),
      m_frame(frame),
      m_commands(commands),
      m_model(new DownloadListModel(this)),
      m_take(new gui::PacedCall(kFlushIntervalMs, [this] { TakeRecords(); }, this)) {
  setModel(m_model);
  gui::SetUpReportView(this, QStringLiteral("Downloads"), DownloadListModel::kColumnWidths);
  header()->setSectionsClickable(false);
  // The classic widths, or wider where the program's font needs it to show
  // a whole number or rate.
  static const char* const kWidest[DownloadListModel::kColumnCount] = {"", "", "4294967295", "4294967295",
                                                                       "999999.9 k/sec", "Retries"};
  for (int column = 0; column < DownloadListModel::kColumnCount; ++column)
    header()->resizeSection(column, std::max(DownloadListModel::kColumnWidths[column],
                                             fontMetrics().horizontalAdvance(QString::fromLatin1(kWidest[column])) + 14));
  setItemDelegateForColumn(DownloadListModel::kDownloaded, new ProgressDelegate(this));
  gui::AddContextMenuKeys(this);
  setAcceptDrops(true);
  for (int id : {cmd::ID_CANCEL_DOWNLOADS, cmd::ID_CONTEXT_CANCEL})
    connect(commands[id], &QAction::triggered, this, &CQueuebayView::OnCancelDownloads);
  // Delete cancels while the queue has the focus; in the history it removes.
  commands[cmd::ID_CANCEL_DOWNLOADS]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(commands[cmd::ID_CANCEL_DOWNLOADS]);
  for (int id : {cmd::ID_VIEW_REFRESH, cmd::ID_FILE_NEW, cmd::ID_FILE_OPEN})
    connect(commands[id], &QAction::triggered, this, &CQueuebayView::Reload);
}

void CQueuebayView::Reload() {
  // What waits is older than the list about to be read, which holds it
  // already; only its errors are still to be told.
  std::vector<PendingRecord> before = m_doc.HandOver().Take();
  std::erase_if(before, [](const PendingRecord& event) { return event.code != STATUS_ERROR; });
  Apply(before);
  const std::vector<_LinkStructType> records = m_doc.LoadFileList();
  m_model->Reload(records);
  // Events that came while the list was read may be in it already: a
  // record queued then that the list holds is not added a second time.
  std::unordered_map<std::string, int> listed;
  for (const _LinkStructType& record : records) ++listed[std::string(RecordText(record.szHref))];
  Apply(m_doc.HandOver().Take(), &listed);
  m_doc.RefreshDownloadingState();
  m_frame.ShowDownloadingState(m_doc.IsDownloading());
}

std::vector<std::string> CQueuebayView::SelectedUrls() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::string> urls;
  for (const QModelIndex& row : rows) urls.push_back(m_model->UrlAt(row.row()));
  return urls;
}

void CQueuebayView::OnCancelDownloads() {
  // Top to bottom; each row goes when the engine reports its end.
  for (const std::string& url : SelectedUrls()) m_doc.CancelDownload(url);
}

std::unique_ptr<QMenu> CQueuebayView::CreateContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  if (selectionModel()->hasSelection()) {
    menu->addAction(m_commands[cmd::ID_CONTEXT_CANCEL]);
    menu->addSeparator();
  }
  menu->addAction(m_commands[cmd::ID_CONTEXT_ADD_URL]);
  return menu;
}

void CQueuebayView::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu = CreateContextMenu();
  menu->exec(gui::ContextMenuPoint(this, event));
}

bool CQueuebayView::event(QEvent* event) {
  if (gui::Received<DownloadRecordEvent>(event)) {
    m_take->Request();
    return true;
  }
  return QTreeView::event(event);
}

void CQueuebayView::TakeRecords() {
  // The queue of an engine that went away is replaced whole by the new one's.
  if (m_doc.ListOutdated()) {
    Reload();
    return;
  }
  const std::vector<PendingRecord> batch = m_doc.HandOver().Take();
  if (!batch.empty()) Apply(batch);
  // Even without records: the engine may have gone away.
  m_frame.ShowDownloadingState(m_doc.IsDownloading());
}

void CQueuebayView::Apply(const std::vector<PendingRecord>& batch, std::unordered_map<std::string, int>* listed) {
  std::vector<PendingRecord> endings;
  for (const PendingRecord& pending : batch) {
    if (pending.code == STATUS_DONE && !pending.text.empty()) endings.push_back(pending);
    if (pending.code == STATUS_ERROR) {
      // The box stays open while the list goes on changing.
      window()->raise();
      gui::OpenMessageBox(this, QString::fromLatin1(kErrorCaption), QString::fromStdString(pending.text),
                          QMessageBox::Warning);
      continue;
    }
    if (listed && (pending.code == STATUS_QUEUED || pending.code == STATUS_DONE)) {
      // A listed record was announced before it ends: once its end is here,
      // a code 8 of its address is a new record (a retry put back, the same
      // file added again) and gets its row.
      const auto found = listed->find(std::string(RecordText(pending.record.szHref)));
      if (found != listed->end() && found->second > 0) {
        --found->second;
        if (pending.code == STATUS_QUEUED) continue;
      }
    }
    m_model->Apply(pending.code, pending.record);
  }
  m_model->FlushChanges();
  if (!endings.empty() && onEndings) onEndings(endings);
}

namespace {
bool CarriesAddresses(const QMimeData* data) { return data && (data->hasUrls() || data->hasText()); }
}  // namespace

std::string AddressText(const QMimeData* data) {
  if (!data) return {};
  QString text = data->text();
  if (text.trimmed().isEmpty())
    for (const QUrl& url : data->urls()) text += url.toString(QUrl::FullyEncoded) + QLatin1Char('\n');
  return text.toStdString();
}

void CQueuebayView::dragEnterEvent(QDragEnterEvent* event) {
  if (CarriesAddresses(event->mimeData())) event->acceptProposedAction();
}

void CQueuebayView::dragMoveEvent(QDragMoveEvent* event) {
  if (CarriesAddresses(event->mimeData())) event->acceptProposedAction();
}

void CQueuebayView::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!CarriesAddresses(data)) return;
  event->acceptProposedAction();
  if (onDropped) onDropped(AddressText(data));
}

}  // namespace queuebay
