#include "manager/app/main_frame.h"

#include <QCloseEvent>
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
  m_bars.Create(this, commands,
                {cmd::ID_ADD_URL, cmd::ID_OPEN_DOWNLOADS, cmd::ID_STOP_DOWNLOADS, 0, cmd::ID_OPTIONS, cmd::ID_APP_ABOUT},
                cmd::ID_VIEW_TOOLBAR, cmd::ID_VIEW_STATUS_BAR, QString::fromLatin1(kStatusPaneSizing));
  ShowDownloadingState(false);
  updater.Add(this, [this, &commands] { UpdateCommandStates(commands); });
  resize(860, 440);
}

void CMainFrame::CreateMenus(const gui::CommandSet& commands) {
  commands.Fill(menuBar()->addMenu(QStringLiteral("&File")), {cmd::ID_ADD_URL, 0, cmd::ID_APP_EXIT});
  // Options is on the toolbar as well.
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Downloads")),
                {cmd::ID_CANCEL_DOWNLOADS, cmd::ID_STOP_DOWNLOADS, 0, cmd::ID_PASTE_ADDRESSES, 0, cmd::ID_OPTIONS});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&View")),
                {cmd::ID_VIEW_TOOLBAR, cmd::ID_VIEW_STATUS_BAR, 0, cmd::ID_VIEW_REFRESH});
  commands.Fill(menuBar()->addMenu(QStringLiteral("&Help")), {cmd::ID_APP_ABOUT});
  // Keys without a menu item of their own.
  addAction(commands[cmd::ID_FILE_NEW]);
  addAction(commands[cmd::ID_FILE_OPEN]);
  connect(commands[cmd::ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (canClose && !canClose()) {
    event->ignore();
    return;
  }
  if (onClosing) onClosing();
  event->accept();
}

void CMainFrame::UpdateCommandStates(const gui::CommandSet& commands) {
  commands.Enable(cmd::ID_STOP_DOWNLOADS, m_doc.IsDownloading());
  m_bars.panes->SetStatus(QString::fromStdString(m_doc.DownloadStatus()));
  m_bars.UpdateToggles(commands);
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
  m_bars.animation->play(0, gui::BusyAnimation::kLastFrame, gui::BusyAnimation::kForever);
  m_bAnimating = true;
}

void CMainFrame::StopAnimation() {
  if (!m_bAnimating) return;
  m_bars.animation->stop();
  m_bars.animation->play(0, 0, 0);
  m_bAnimating = false;
}

}  // namespace queuebay
