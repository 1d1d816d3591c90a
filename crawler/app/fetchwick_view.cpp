#include "crawler/app/fetchwick_view.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QStandardPaths>
#include <algorithm>
#include <unordered_set>

#include "crawler/app/crawler_commands.h"
#include "crawler/app/crawler_events.h"
#include "crawler/app/fetchwick_host.h"
#include "crawler/app/main_frame.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "gui/window_layout.h"
#include "crawler/core/fetchwick_doc.h"
#include "gui/command_set.h"
#include "gui/desktop_launch.h"
#include "gui/idle_updater.h"
#include "gui/message_boxes.h"
#include "gui/paced_call.h"
#include "gui/report_view.h"

namespace {
constexpr char kErrorCaption[] = "Fetchwick Error";
}  // namespace

CFetchwickView::CFetchwickView(CFetchwickDoc& doc, FetchwickHost& host, const gui::CommandSet& commands,
                               gui::IdleUpdater& updater, gui::DesktopLauncher& launcher, QWidget* parent)
    : QTreeView(parent),
      m_doc(doc),
      m_host(host),
      m_commands(commands),
      m_launcher(launcher),
      m_model(new LinkListModel(this)),
      m_flush(new gui::PacedCall(kFlushIntervalMs, [this] { FlushLinksFound(); }, this)) {
  setModel(m_model);
  gui::SetUpReportView(this, QStringLiteral("Links"), LinkListModel::kColumnWidths);
  header()->setSectionsClickable(true);
  // The address column takes the room the others leave.
  header()->setSectionResizeMode(LinkListModel::kUrl, QHeaderView::Stretch);
  header()->setMinimumSectionSize(40);
  connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { m_model->SortByColumn(column); });

  connect(commands[cmd::ID_DOWNLOAD_FILES], &QAction::triggered, this, &CFetchwickView::OnDownloadFiles);
  connect(commands[cmd::ID_CRAWL_PAGE], &QAction::triggered, this, &CFetchwickView::OnCrawlPage);
  connect(commands[cmd::ID_DEEP_CRAWL], &QAction::triggered, this, &CFetchwickView::OnDeepCrawl);
  connect(commands[cmd::ID_LAUNCH_BROWSER], &QAction::triggered, this, &CFetchwickView::OnLaunchBrowser);
  connect(commands[cmd::ID_GET_FILE_SIZE], &QAction::triggered, this, &CFetchwickView::OnGetFileSize);
  connect(commands[cmd::ID_COPY_ADDRESS], &QAction::triggered, this, &CFetchwickView::OnCopyAddress);
  connect(commands[cmd::ID_SELECT_ALL], &QAction::triggered, this, &QAbstractItemView::selectAll);
  connect(commands[cmd::ID_SAVE_LINK_LIST], &QAction::triggered, this, &CFetchwickView::OnSaveLinkList);
  connect(this, &QAbstractItemView::activated, this, &CFetchwickView::OnRowActivated);
  updater.Add(this, [this] {
    const bool selected = selectionModel() && selectionModel()->hasSelection();
    m_commands.Enable(cmd::ID_DOWNLOAD_FILES, selected);
    m_commands.Enable(cmd::ID_COPY_ADDRESS, selected);
    m_commands.Enable(cmd::ID_SELECT_ALL, m_model->rowCount() > 0);
    m_commands.Enable(cmd::ID_SAVE_LINK_LIST, m_model->rowCount() > 0);
  });
}

void CFetchwickView::Rebuild() {
  // Links still waiting are in the document's list already: the rebuild
  // shows them (or filters them out) and the model drops them when they come.
  m_model->Rebuild(m_doc.Links(), [this](const LinkEntry& entry) { return m_doc.PassesFilter(entry); });
}

std::vector<const LinkEntry*> CFetchwickView::SelectedEntries() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<const LinkEntry*> entries;
  entries.reserve(static_cast<std::size_t>(rows.size()));
  for (const QModelIndex& row : rows)
    if (const LinkEntry* entry = m_model->Entry(row.row())) entries.push_back(entry);
  return entries;
}

const LinkEntry* CFetchwickView::FirstSelected() const {
  const std::vector<const LinkEntry*> entries = SelectedEntries();
  return entries.empty() ? nullptr : entries.front();
}

void CFetchwickView::OnDownloadFiles() {
  for (const LinkEntry* entry : SelectedEntries()) m_doc.QueueDownload(*entry);
}

void CFetchwickView::OnCrawlPage() {
  if (const LinkEntry* entry = FirstSelected()) m_doc.StartCrawl(entry->url, AddToHistory::Yes, PushCurrent::Yes);
}

void CFetchwickView::OnDeepCrawl() {
  // The model holds the list until the crawl has its address.
  if (const LinkEntry* entry = FirstSelected()) DeepCrawl(entry->url);
}

void CFetchwickView::DeepCrawl(const std::string& url) {
  if (url.empty()) return;
  const std::string address = url;  // `url` may be a row's, which goes now
  m_model->Clear();
  m_doc.StartDeepCrawl(address, AddToHistory::Yes);
}

void CFetchwickView::OnRowActivated(const QModelIndex& index) {
  const LinkEntry* entry = m_model->Entry(index.row());
  if (!entry) return;
  if (entry->isFile)
    m_doc.QueueDownload(*entry);
  else
    m_doc.StartCrawl(entry->url, AddToHistory::Yes, PushCurrent::Yes);
}

void CFetchwickView::OnCopyAddress() {
  QString text;
  for (const LinkEntry* entry : SelectedEntries()) text += QString::fromStdString(entry->url) + QLatin1Char('\n');
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

std::vector<const LinkEntry*> CFetchwickView::ShownEntries() const {
  std::vector<const LinkEntry*> entries;
  entries.reserve(static_cast<std::size_t>(m_model->rowCount()));
  for (int row = 0; row < m_model->rowCount(); ++row) entries.push_back(m_model->Entry(row));
  return entries;
}

bool CFetchwickView::SaveLinkList(const QString& path, LinkListFormat format, QString& error) const {
  return SaveLinkListFile(path, ShownEntries(), format, error);
}

void CFetchwickView::OnSaveLinkList() {
  const QString csv = QStringLiteral("CSV files (*.csv)");
  const QString text = QStringLiteral("Text files, one address a line (*.txt)");
  QString chosen = csv;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString filters = csv + QStringLiteral(";;") + text;
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Link List"),
                                                    folder + QStringLiteral("/links.csv"), filters, &chosen);
  if (path.isEmpty()) return;
  const LinkListFormat format = chosen == text ? LinkListFormat::Text : LinkListFormatFor(path);
  QString error;
  if (!SaveLinkList(path, format, error))
    gui::OpenMessageBox(this, QString::fromLatin1(CMainFrame::kAppTitle),
                        QStringLiteral("Couldn't save the link list to %1:\n%2").arg(path, error),
                        QMessageBox::Warning);
}

void CFetchwickView::RestoreColumns() {
  // The address column takes the width the others leave.
  gui::RestoreColumns(header(), setting::kCrawlerColumnWidths, setting::kCrawlerColumnOrder, LinkListModel::kUrl);
}

void CFetchwickView::SaveColumns() const {
  gui::SaveColumns(header(), setting::kCrawlerColumnWidths, setting::kCrawlerColumnOrder);
}

void CFetchwickView::OnLaunchBrowser() {
  const LinkEntry* entry = FirstSelected();
  if (!entry || m_launcher.OpenWebAddress(entry->url)) return;
  gui::OpenMessageBox(this, QString::fromLatin1(CMainFrame::kAppTitle),
                      QStringLiteral("Couldn't open %1 in a web browser.\n\nOnly web addresses (http and https) are "
                                     "opened there.")
                          .arg(QString::fromStdString(entry->url)),
                      QMessageBox::Warning);
}

void CFetchwickView::OnGetFileSize() {
  // The rows selected now, in row order; the list they belong to travels
  // with them, so they stay valid whatever crawl starts meanwhile.
  SizeQueryJob job;
  job.list = m_model->List();
  job.entries = SelectedEntries();
  // The host outlives the window and the document's threads.
  job.onSize = [&host = m_host, list = job.list](const LinkEntry& entry) { host.PostSizeFound(list, &entry); };
  m_doc.StartSizeQuery(std::move(job));
}

std::unique_ptr<QMenu> CFetchwickView::CreateContextMenu() {
  const std::size_t selected = static_cast<std::size_t>(selectionModel()->selectedRows().size());
  if (selected == 0) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(m_commands[cmd::ID_DOWNLOAD_FILES]);
  if (selected == 1) {
    menu->addSeparator();
    menu->addAction(m_commands[cmd::ID_CRAWL_PAGE]);
    menu->addAction(m_commands[cmd::ID_DEEP_CRAWL]);
    menu->addSeparator();
    menu->addAction(m_commands[cmd::ID_LAUNCH_BROWSER]);
  }
  menu->addAction(m_commands[cmd::ID_GET_FILE_SIZE]);
  return menu;
}

void CFetchwickView::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu = CreateContextMenu();
  if (!menu) return;
  // Download File(s) is enabled by the idle refresh, which may not have run
  // since the selection changed.
  m_commands.Enable(cmd::ID_DOWNLOAD_FILES, true);
  menu->exec(gui::ContextMenuPoint(this, event));
}

void CFetchwickView::keyPressEvent(QKeyEvent* event) {
  // The menu key and Shift+F10 open the row menu at the current row.
  if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
    const QRect row = visualRect(currentIndex());
    const QPoint at = row.isValid() ? row.bottomLeft() : QPoint(0, 0);
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
    contextMenuEvent(&menu);
    event->accept();
    return;
  }
  // Backspace goes back, as in a browser; the key is then handled as usual.
  if (event->key() == Qt::Key_Backspace)
    QMetaObject::invokeMethod(m_commands[cmd::ID_GO_BACK], &QAction::trigger, Qt::QueuedConnection);
  QTreeView::keyPressEvent(event);
}

bool CFetchwickView::event(QEvent* event) {
  if (auto* done = gui::Received<CrawlDoneEvent>(event)) {
    m_doc.OnCrawlDone(done->payload());
    return true;
  }
  if (gui::Received<LinkFoundEvent>(event)) {
    // Later links wait in the hand-over and come with the next flush.
    m_flush->Request();
    return true;
  }
  if (auto* error = gui::Received<ShowErrorEvent>(event)) {
    window()->raise();
    gui::OpenMessageBox(this, QString::fromLatin1(kErrorCaption), QString::fromStdString(error->payload()),
                        QMessageBox::Warning);
    return true;
  }
  return QTreeView::event(event);
}

void CFetchwickView::FlushLinksFound() {
  const FetchwickHost::Found found = m_host.TakeFound();
  if (!found.links.empty()) {
    const std::shared_ptr<LinkList> current = m_doc.Links();
    m_model->AddFound(found.links, current.get());
  }
  if (!found.sizes.empty()) {
    std::unordered_set<const LinkEntry*> sized;
    for (const SizeFoundMessage& size : found.sizes)
      if (size.list == m_model->List()) sized.insert(size.entry);
    m_model->SizesChanged(sized);
  }
}
