#include "gui/frame_bars.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QToolBar>

#include "gui/busy_animation.h"
#include "gui/command_set.h"
#include "gui/status_panes.h"

namespace gui {

void FrameBars::Create(QMainWindow* frame, const CommandSet& commands, std::initializer_list<int> buttons,
                       int toolbarToggle, int statusBarToggle, const QString& sizingText) {
  m_frame = frame;
  m_toolbarToggle = toolbarToggle;
  m_statusBarToggle = statusBarToggle;
  panes = new StatusPanes(frame->statusBar(), sizingText);

  mainToolBar = frame->addToolBar(QStringLiteral("Toolbar"));
  mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
  mainToolBar->setIconSize(QSize(32, 32));
  mainToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  commands.Fill(mainToolBar, buttons);

  animationBar = frame->addToolBar(QStringLiteral("Busy"));
  animationBar->setObjectName(QStringLiteral("animationBar"));
  animationBar->setMovable(false);
  animation = new BusyAnimation(animationBar);
  animationBar->addWidget(animation);

  QAction* toolbar = commands[toolbarToggle];
  toolbar->setChecked(true);
  QObject::connect(toolbar, &QAction::toggled, frame, [this](bool shown) {
    mainToolBar->setVisible(shown);
    animationBar->setVisible(shown);
  });
  QAction* statusBar = commands[statusBarToggle];
  statusBar->setChecked(true);
  QObject::connect(statusBar, &QAction::toggled, frame->statusBar(), &QWidget::setVisible);
}

void FrameBars::UpdateToggles(const CommandSet& commands) const {
  for (auto [id, shown] : {std::pair{m_toolbarToggle, !mainToolBar->isHidden()},
                           std::pair{m_statusBarToggle, !m_frame->statusBar()->isHidden()}}) {
    QAction* action = commands[id];
    if (action->isChecked() != shown) action->setChecked(shown);
  }
}

}  // namespace gui
