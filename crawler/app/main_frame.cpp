#include "crawler/app/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "settings/settings.h"
#include "gui/window_layout.h"
#include "crawler/app/address_box.h"
#include "crawler/app/crawler_commands.h"
#include "crawler/app/crawler_events.h"
#include "crawler/core/fetchwick_doc.h"
#include "gui/app_icons.h"
#include "gui/busy_animation.h"
#include "gui/command_set.h"
#include "gui/dialog_fields.h"
#include "gui/idle_updater.h"
#include "gui/paced_call.h"
#include "gui/status_panes.h"

namespace {

// The progress pane shows new counts at most this often while a crawl runs.
constexpr int kProgressIntervalMs = 250;
constexpr char kProgressSizing[] = "9 pages fetched, 99 links found, 9 waiting";

// "1 page", "2,000 pages".
QString Count(std::size_t count, const char* one, const char* many) {
  return QLocale(QLocale::English).toString(static_cast<qulonglong>(count)) + QLatin1Char(' ') +
         QLatin1String(count == 1 ? one : many);
}

// "[*]" in a caption is Qt's mark for unsaved changes; doubled it stands for itself.
QString CaptionText(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

}  // namespace

CMainFrame::CMainFrame(CFetchwickDoc& doc, const gui::CommandSet& commands, gui::IdleUpdater& updater)
    : m_doc(doc) {
  setWindowIcon(gui::AppIcon(gui::AppImage::Crawler));
  SetDocumentTitle(kUntitled);
  CreateMenus(commands);
  CreateBars(commands);
  LoadHistory();
  updater.Add(this, [this, &commands] { UpdateCommandStates(commands); });
  resize(760, 520);
  setAcceptDrops(true);
  // The mouse's back and forward buttons go back and forward wherever they
  // are pressed in the window.
  m_back = commands[cmd::ID_GO_BACK];
  m_forward = commands[cmd::ID_GO_FORWARD];
  m_back->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)});
  m_forward->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)});
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() { SaveHistory(); }

void CMainFrame::CreateMenus(const gui::CommandSet& commands) {
  commands.Fill(menuBar()->addMenu(QStringLiteral("&File")),
                {cmd::ID_FILE_OPEN_URL, cmd::ID_SAVE_LINK_LIST, 0, cmd::ID_APP_EXIT});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Edit")),
                {cmd::ID_COPY_ADDRESS, cmd::ID_SELECT_ALL, 0, cmd::ID_QUICK_FILTER});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&View")),
                {cmd::ID_VIEW_TOOLBAR, cmd::ID_VIEW_STATUS_BAR, 0, cmd::ID_GO_BACK, cmd::ID_GO_FORWARD, 0,
                 cmd::ID_REFRESH, cmd::ID_DEEP_CRAWL_PAGE});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Download")),
                {cmd::ID_DOWNLOAD_FILES, cmd::ID_CANCEL_CURRENT_DOWNLOAD, cmd::ID_STOP_DOWNLOADS, 0,
                 cmd::ID_DOWNLOAD_MANAGER});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Tools")), {cmd::ID_CLEAR_HISTORY, cmd::ID_OPTIONS});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Help")), {cmd::ID_APP_ABOUT});

  // Commands of the window itself.
  connect(commands[cmd::ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
  connect(commands[cmd::ID_CLEAR_HISTORY], &QAction::triggered, this, &CMainFrame::ClearHistory);
}

void CMainFrame::CreateBars(const gui::CommandSet& commands) {
  // First row: the main buttons, with tooltips and prompts, and the animation.
  m_bars.Create(this, commands,
                {cmd::ID_GO_BACK, cmd::ID_GO_FORWARD, cmd::ID_REFRESH, cmd::ID_DEEP_CRAWL_PAGE, 0, cmd::ID_STOP_CRAWL,
                 cmd::ID_STOP_DOWNLOADS, cmd::ID_OPEN_DOWNLOADS, 0, cmd::ID_OPTIONS, cmd::ID_APP_ABOUT},
                cmd::ID_VIEW_TOOLBAR, cmd::ID_VIEW_STATUS_BAR, QString::fromLatin1(kStatusPaneSizing));

  // Second row: "Address", the box, and Go.
  addToolBarBreak();
  QToolBar* addressBar = addToolBar(QStringLiteral("Address"));
  addressBar->setObjectName(QStringLiteral("addressBar"));
  m_addressBox = new CAddressBox(addressBar);
  QLabel* label = gui::LabelFor(m_addressBox, QStringLiteral("Address"), addressBar);
  label->setContentsMargins(4, 0, 6, 0);
  addressBar->addWidget(label);
  addressBar->addWidget(m_addressBox);
  auto* go = new QToolButton(addressBar);
  go->setDefaultAction(commands[cmd::ID_GO]);
  go->setIconSize(QSize(16, 16));
  go->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  go->setToolTip(QString());  // the Go button shows neither tooltip nor prompt
  addressBar->addWidget(go);
  addressBar->addSeparator();

  // The quick filter narrows the rows already listed; it fetches nothing.
  m_quickFilter = new QLineEdit(addressBar);
  m_quickFilter->setObjectName(QStringLiteral("quickFilter"));
  m_quickFilter->setPlaceholderText(QStringLiteral("Filter by name or address"));
  m_quickFilter->setClearButtonEnabled(true);
  m_quickFilter->setAccessibleName(QStringLiteral("Quick filter"));
  m_quickFilter->setToolTip(QStringLiteral("Show only the links whose name or address holds this text"));
  m_quickFilter->setFixedWidth(m_quickFilter->fontMetrics().horizontalAdvance(m_quickFilter->placeholderText()) + 48);
  addressBar->addWidget(m_quickFilter);
  connect(commands[cmd::ID_QUICK_FILTER], &QAction::triggered, m_quickFilter, [this] {
    m_quickFilter->setFocus(Qt::ShortcutFocusReason);
    m_quickFilter->selectAll();
  });

  // The crawl's counts, left of the download status: shown once a crawl
  // has begun, and growing with its counts.
  m_progressPane = m_bars.panes->AddPane(QString::fromLatin1(kProgressSizing), QStringLiteral("Crawl progress"));
  m_progressPane->setToolTip(QStringLiteral("Pages fetched and links found by the crawl, and links read from fetched "
                                            "pages that it has yet to look at"));
  m_progressPane->hide();
  m_progressPacer = new gui::PacedCall(kProgressIntervalMs, [this] {
    UpdateProgress();
    // While the crawl runs the counts are read again, events or not.
    if (m_doc.IsBusy()) m_progressPacer->Request();
  }, this);
}

void CMainFrame::ShowCrawlProgress(std::shared_ptr<const LinkList> list,
                                   std::shared_ptr<const CrawlProgress> progress) {
  m_progressList = std::move(list);
  m_progress = std::move(progress);
  UpdateProgress();
}

QString CMainFrame::ProgressText() const { return m_progressPane->text(); }

void CMainFrame::UpdateProgress() {
  if (!m_progress || !m_progressList) return;
  const QString waiting = QLocale(QLocale::English).toString(static_cast<qulonglong>(m_progress->linksWaiting.load()));
  const QString text = QStringLiteral("%1 fetched, %2 found, %3 waiting")
                           .arg(Count(m_progress->pagesFetched.load(), "page", "pages"),
                                Count(m_progressList->Count(), "link", "links"), waiting);
  if (m_progressPane->text() == text && !m_progressPane->isHidden()) return;
  m_progressPane->setText(text);
  // Wide enough for the text, and never narrower again, so it does not jitter.
  const int needed = m_progressPane->fontMetrics().horizontalAdvance(text) + m_progressPane->frameWidth() * 2 + 10;
  if (needed > m_progressPane->width()) m_progressPane->setFixedWidth(needed);
  m_progressPane->show();
}

std::string CMainFrame::DroppedAddress(const QMimeData& data) {
  if (data.hasUrls() && !data.urls().isEmpty()) return data.urls().front().toString().toStdString();
  if (!data.hasText()) return {};
  for (const QString& line : data.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QString address = line.trimmed();
    if (!address.isEmpty()) return address.toStdString();
  }
  return {};
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && !DroppedAddress(*event->mimeData()).empty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  const std::string address = event->mimeData() ? DroppedAddress(*event->mimeData()) : std::string();
  if (address.empty()) return;
  event->acceptProposedAction();
  if (onAddressDropped) onAddressDropped(address);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    QAction* action = button == Qt::BackButton ? m_back : button == Qt::ForwardButton ? m_forward : nullptr;
    if (action) {
      if (action->isEnabled()) action->trigger();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RestorePlacement() { gui::RestoreWindowPlacement(this, setting::kCrawlerWindow); }

void CMainFrame::SavePlacement() const { gui::SaveWindowPlacement(this, setting::kCrawlerWindow); }

void CMainFrame::UpdateCommandStates(const gui::CommandSet& commands) {
  commands.Enable(cmd::ID_GO_BACK, !m_doc.BackStack().empty());
  commands.Enable(cmd::ID_GO_FORWARD, !m_doc.ForwardStack().empty());
  commands.Enable(cmd::ID_STOP_CRAWL, m_doc.IsBusy());
  commands.Enable(cmd::ID_STOP_DOWNLOADS, m_doc.IsDownloading());
  commands.Enable(cmd::ID_CANCEL_CURRENT_DOWNLOAD, m_doc.IsDownloading() && !m_doc.Engine());
  commands.Enable(cmd::ID_DEEP_CRAWL_PAGE, !m_addressBox->currentText().isEmpty());
  m_bars.panes->SetStatus(QString::fromStdString(m_doc.DownloadStatus()));
  m_bars.UpdateToggles(commands);
}

void CMainFrame::SetStatusText(const QString& text) { m_bars.panes->SetMessage(text); }

void CMainFrame::SetAddressText(const std::string& text) { m_addressBox->SetText(text); }

std::string CMainFrame::GetAddressText(bool fromSelection) const {
  return fromSelection ? m_addressBox->SelectedEntryText() : m_addressBox->Text();
}

void CMainFrame::AddToHistory(const std::string& address) {
  if (!m_history.insert(address).second) return;
  m_addressBox->AppendEntry(address);
}

void CMainFrame::ClearHistory() {
  ::ClearHistory();
  m_history.clear();
  m_addressBox->DeleteEntries();
}

void CMainFrame::SetDocumentTitle(const std::string& title) {
  setWindowTitle(CaptionText(title) + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
}

void CMainFrame::LoadHistory() {
  for (const std::string& address : ReadHistory()) AddToHistory(address);
}

void CMainFrame::SaveHistory() const {
  ReplaceHistory(std::vector<std::string>(m_history.begin(), m_history.end()));
}

bool CMainFrame::event(QEvent* event) {
  if (gui::Received<BusyStartEvent>(event)) {
    // Every busy period restarts the clip and plays it for ever.
    m_bars.animation->play(0, gui::BusyAnimation::kLastFrame, gui::BusyAnimation::kForever);
    m_progressPacer->Request();
    return true;
  }
  if (gui::Received<BusyEndEvent>(event)) {
    // The first end of any busy period stops it, on its first frame.
    m_bars.animation->stop();
    m_bars.animation->play(0, 0, 0);
    UpdateProgress();
    return true;
  }
  if (auto* status = gui::Received<StatusTextEvent>(event)) {
    SetStatusText(QString::fromStdString(status->payload()));
    UpdateProgress();  // a crawl's last text comes after its last count
    return true;
  }
  if (auto* address = gui::Received<AddressTextEvent>(event)) {
    SetAddressText(address->payload());
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (onClosing) onClosing();
  event->accept();
}
