#include "crawler/app/main_frame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "contract/settings.h"
#include "crawler/app/address_box.h"
#include "crawler/app/crawler_commands.h"
#include "crawler/app/crawler_events.h"
#include "crawler/core/fetchwick_doc.h"
#include "gui/app_icons.h"
#include "gui/busy_animation.h"
#include "gui/idle_updater.h"
#include "gui/status_panes.h"

namespace {

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
}

CMainFrame::~CMainFrame() { SaveHistory(); }

void CMainFrame::CreateMenus(const gui::CommandSet& commands) {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(commands[cmd::ID_FILE_OPEN_URL]);
  file->addSeparator();
  file->addAction(commands[cmd::ID_APP_EXIT]);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(commands[cmd::ID_VIEW_TOOLBAR]);
  view->addAction(commands[cmd::ID_VIEW_STATUS_BAR]);
  view->addSeparator();
  view->addAction(commands[cmd::ID_GO_BACK]);
  view->addAction(commands[cmd::ID_GO_FORWARD]);
  view->addSeparator();
  view->addAction(commands[cmd::ID_REFRESH]);

  QMenu* download = menuBar()->addMenu(QStringLiteral("&Download"));
  download->addAction(commands[cmd::ID_DOWNLOAD_FILES]);
  download->addAction(commands[cmd::ID_CANCEL_CURRENT_DOWNLOAD]);
  download->addAction(commands[cmd::ID_STOP_DOWNLOADS]);
  download->addSeparator();
  download->addAction(commands[cmd::ID_DOWNLOAD_MANAGER]);

  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  tools->addAction(commands[cmd::ID_CLEAR_HISTORY]);
  tools->addAction(commands[cmd::ID_OPTIONS]);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(commands[cmd::ID_APP_ABOUT]);

  // Commands of the window itself.
  connect(commands[cmd::ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
  connect(commands[cmd::ID_CLEAR_HISTORY], &QAction::triggered, this, &CMainFrame::ClearHistory);
}

void CMainFrame::CreateBars(const gui::CommandSet& commands) {
  m_statusPanes = new gui::StatusPanes(statusBar(), QString::fromLatin1(kStatusPaneSizing));

  // First row: the main buttons, with tooltips and prompts, and the animation.
  m_mainToolBar = addToolBar(QStringLiteral("Toolbar"));
  m_mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
  m_mainToolBar->setIconSize(QSize(32, 32));
  m_mainToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (int id : {cmd::ID_GO_BACK, cmd::ID_GO_FORWARD, cmd::ID_REFRESH, 0, cmd::ID_STOP_CRAWL, cmd::ID_STOP_DOWNLOADS,
                 cmd::ID_OPEN_DOWNLOADS, 0, cmd::ID_OPTIONS, cmd::ID_APP_ABOUT}) {
    if (id == 0)
      m_mainToolBar->addSeparator();
    else
      m_mainToolBar->addAction(commands[id]);
  }
  m_animationBar = addToolBar(QStringLiteral("Busy"));
  m_animationBar->setObjectName(QStringLiteral("animationBar"));
  m_animationBar->setMovable(false);
  m_wndAnimate = new gui::BusyAnimation(m_animationBar);
  m_animationBar->addWidget(m_wndAnimate);

  // Second row: "Address", the box, and Go.
  addToolBarBreak();
  m_addressBar = addToolBar(QStringLiteral("Address"));
  m_addressBar->setObjectName(QStringLiteral("addressBar"));
  auto* label = new QLabel(QStringLiteral("Address"), m_addressBar);
  label->setContentsMargins(4, 0, 6, 0);
  m_addressBar->addWidget(label);
  m_addressBox = new CAddressBox(m_addressBar);
  label->setBuddy(m_addressBox);
  m_addressBar->addWidget(m_addressBox);
  auto* go = new QToolButton(m_addressBar);
  go->setDefaultAction(commands[cmd::ID_GO]);
  go->setIconSize(QSize(16, 16));
  go->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  go->setToolTip(QString());  // the Go button shows neither tooltip nor prompt
  m_addressBar->addWidget(go);

  QAction* toolbar = commands[cmd::ID_VIEW_TOOLBAR];
  toolbar->setChecked(true);
  connect(toolbar, &QAction::toggled, this, [this](bool shown) {
    m_mainToolBar->setVisible(shown);
    m_animationBar->setVisible(shown);
  });
  QAction* statusBarShown = commands[cmd::ID_VIEW_STATUS_BAR];
  statusBarShown->setChecked(true);
  connect(statusBarShown, &QAction::toggled, statusBar(), &QWidget::setVisible);
}

void CMainFrame::UpdateCommandStates(const gui::CommandSet& commands) {
  commands.Enable(cmd::ID_GO_BACK, !m_doc.BackStack().empty());
  commands.Enable(cmd::ID_GO_FORWARD, !m_doc.ForwardStack().empty());
  commands.Enable(cmd::ID_STOP_CRAWL, m_doc.IsBusy());
  commands.Enable(cmd::ID_STOP_DOWNLOADS, m_doc.IsDownloading());
  commands.Enable(cmd::ID_CANCEL_CURRENT_DOWNLOAD, m_doc.IsDownloading() && !m_doc.Engine());
  m_statusPanes->SetStatus(QString::fromStdString(m_doc.DownloadStatus()));
  for (auto [id, shown] : {std::pair{cmd::ID_VIEW_TOOLBAR, !m_mainToolBar->isHidden()},
                           std::pair{cmd::ID_VIEW_STATUS_BAR, !statusBar()->isHidden()}}) {
    QAction* action = commands[id];
    if (action->isChecked() != shown) action->setChecked(shown);
  }
}

void CMainFrame::SetStatusText(const QString& text) { m_statusPanes->SetMessage(text); }

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
    m_wndAnimate->play(0, gui::BusyAnimation::kLastFrame, gui::BusyAnimation::kForever);
    return true;
  }
  if (gui::Received<BusyEndEvent>(event)) {
    // The first end of any busy period stops it, on its first frame.
    m_wndAnimate->stop();
    m_wndAnimate->play(0, 0, 0);
    return true;
  }
  if (auto* status = gui::Received<StatusTextEvent>(event)) {
    SetStatusText(QString::fromStdString(status->payload()));
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
