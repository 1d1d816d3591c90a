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
#include "gui/command_set.h"
#include "gui/dialog_fields.h"
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
  commands.Fill(menuBar()->addMenu(QStringLiteral("&File")), {cmd::ID_FILE_OPEN_URL, 0, cmd::ID_APP_EXIT});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&View")),
                {cmd::ID_VIEW_TOOLBAR, cmd::ID_VIEW_STATUS_BAR, 0, cmd::ID_GO_BACK, cmd::ID_GO_FORWARD, 0,
                 cmd::ID_REFRESH});
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
                {cmd::ID_GO_BACK, cmd::ID_GO_FORWARD, cmd::ID_REFRESH, 0, cmd::ID_STOP_CRAWL, cmd::ID_STOP_DOWNLOADS,
                 cmd::ID_OPEN_DOWNLOADS, 0, cmd::ID_OPTIONS, cmd::ID_APP_ABOUT},
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
}

void CMainFrame::UpdateCommandStates(const gui::CommandSet& commands) {
  commands.Enable(cmd::ID_GO_BACK, !m_doc.BackStack().empty());
  commands.Enable(cmd::ID_GO_FORWARD, !m_doc.ForwardStack().empty());
  commands.Enable(cmd::ID_STOP_CRAWL, m_doc.IsBusy());
  commands.Enable(cmd::ID_STOP_DOWNLOADS, m_doc.IsDownloading());
  commands.Enable(cmd::ID_CANCEL_CURRENT_DOWNLOAD, m_doc.IsDownloading() && !m_doc.Engine());
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
    return true;
  }
  if (gui::Received<BusyEndEvent>(event)) {
    // The first end of any busy period stops it, on its first frame.
    m_bars.animation->stop();
    m_bars.animation->play(0, 0, 0);
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
