#pragma once

#include <QString>
#include <initializer_list>

class QMainWindow;
class QToolBar;

namespace gui {

class BusyAnimation;
class CommandSet;
class StatusPanes;

// What both main windows have in their first toolbar row and at the
// bottom: the main toolbar (32-pixel buttons with tooltips and prompts),
// the busy animation beside it, and the status bar with its panes.
struct FrameBars {
  QToolBar* mainToolBar = nullptr;
  QToolBar* animationBar = nullptr;
  BusyAnimation* animation = nullptr;
  StatusPanes* panes = nullptr;

  // Makes them in `frame`: `buttons` are command ids, 0 a separator; the
  // status pane is as wide as `sizingText`. The commands `toolbarToggle`
  // and `statusBarToggle` show and hide the toolbar row and the status bar.
  void Create(QMainWindow* frame, const CommandSet& commands, std::initializer_list<int> buttons, int toolbarToggle,
              int statusBarToggle, const QString& sizingText);
  // The two toggles' checks follow what is shown. For the idle refresh.
  void UpdateToggles(const CommandSet& commands) const;

 private:
  QMainWindow* m_frame = nullptr;
  int m_toolbarToggle = 0;
  int m_statusBarToggle = 0;
};

}  // namespace gui
