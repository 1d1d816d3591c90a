#include "manager/app/main_frame.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "gui/app_icons.h"
#include "gui/busy_animation.h"
#include "gui/command_set.h"
#include "gui/idle_updater.h"
#include "gui/status_panes.h"
#include "manager/app/manager_commands.h"
#include "manager/core/queuebay_doc.h"

namespace queuebay {

CMainFrame::CMainFrame(CQueuebayDoc& doc, const gui::CommandSet& commands, gui::IdleUpdater& updater)
    : m_doc(doc) {
  setWindowIcon(gui::AppIcon(gui::AppImage::Manager));
  CreateMenus(commands);
  CreateBars(commands);
  ShowDownloadingState(false);
  updater.Add(this, [this, &commands] { UpdateCommandStates(commands); });
  resize(860, 440);
}

void CMainFrame::CreateMenus(const gui::CommandSet& commands) {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(commands[cmd::ID_ADD_URL]);
  file->addSeparator();
  file->addAction(commands[cmd::ID_APP_EXIT]);
  QMenu* downloads = menuBar()->addMenu(QStringLiteral("&Downloads"));
  downloads->addAction(commands[cmd::ID_CANCEL_DOWNLOADS]);
  downloads->addAction(commands[cmd::ID_STOP_DOWNLOADS]);
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(commands[cmd::ID_VIEW_TOOLBAR]);
  view->addAction(commands[cmd::ID_VIEW_STATUS_BAR]);
  view->addSeparator();
  view->addAction(commands[cmd::ID_VIEW_REFRESH]);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(commands[cmd::ID_APP_ABOUT]);
  // Keys without a menu item of their own.
  addAction(commands[cmd::ID_FILE_NEW]);
  addAction(commands[cmd::ID_FILE_OPEN]);
  connect(commands[cmd::ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::CreateBars(const gui::CommandSet& commands) {
  m_statusPanes = new gui::StatusPanes(statusBar(), QString::fromLatin1(kStatusPaneSizing));
  m_toolBar = addToolBar(QStringLiteral("Toolbar"));
  m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
  m_toolBar->setIconSize(QSize(32, 32));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (int id : {cmd::ID_ADD_URL, cmd::ID_OPEN_DOWNLOADS, cmd::ID_STOP_DOWNLOADS, 0, cmd::ID_OPTIONS,
                 cmd::ID_APP_ABOUT}) {
    if (id == 0)
      m_toolBar->addSeparator();
    else
      m_toolBar->addAction(commands[id]);
  }
  m_animationBar = addToolBar(QStringLiteral("Busy"));
  m_animationBar->setObjectName(QStringLiteral("animationBar"));
  m_animationBar->setMovable(false);
  m_wndAnimate = new gui::BusyAnimation(m_animationBar);
  m_animationBar->addWidget(m_wndAnimate);

  QAction* toolbar = commands[cmd::ID_VIEW_TOOLBAR];
  toolbar->setChecked(true);
  connect(toolbar, &QAction::toggled, this, [this](bool shown) {
    m_toolBar->setVisible(shown);
    m_animationBar->setVisible(shown);
  });
  QAction* statusBarShown = commands[cmd::ID_VIEW_STATUS_BAR];
  statusBarShown->setChecked(true);
  connect(statusBarShown, &QAction::toggled, statusBar(), &QWidget::setVisible);
}

void CMainFrame::UpdateCommandStates(const gui::CommandSet& commands) {
  commands.Enable(cmd::ID_STOP_DOWNLOADS, m_doc.IsDownloading());
  m_statusPanes->SetStatus(QString::fromStdString(m_doc.DownloadStatus()));
  for (auto [id, shown] : {std::pair{cmd::ID_VIEW_TOOLBAR, !m_toolBar->isHidden()},
                           std::pair{cmd::ID_VIEW_STATUS_BAR, !statusBar()->isHidden()}}) {
    QAction* action = commands[id];
    if (action->isChecked() != shown) action->setChecked(shown);
  }
}

void CMainFrame::ShowDownloadingState(bool downloading) {
  const QString title = QString::fromLatin1(downloading ? "Downloading" : "Idle") + QStringLiteral(" - ") +
                        QString::fromLatin1(kFrameTitle);
  if (windowTitle() != title) setWindowTitle(title);
  if (downloading)
    StartAnimation();
  else
    StopAnimation();
}

void CMainFrame::StartAnimation() {
  if (m_bAnimating) return;
  m_wndAnimate->play(0, gui::BusyAnimation::kLastFrame, gui::BusyAnimation::kForever);
  m_bAnimating = true;
}

void CMainFrame::StopAnimation() {
  if (!m_bAnimating) return;
  m_wndAnimate->stop();
  m_wndAnimate->play(0, 0, 0);
  m_bAnimating = false;
}

}  // namespace queuebay
