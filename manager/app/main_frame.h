#pragma once

#include <QMainWindow>
#include <functional>

#include "gui/frame_bars.h"

class CQueuebayDoc;
namespace gui {
class BusyAnimation;
class CommandSet;
class IdleUpdater;
class StatusPanes;
}  // namespace gui

namespace queuebay {

// The download manager's main window: menus, a toolbar with the busy
// animation, the download list, and the status bar. Its caption says
// whether the engine is downloading.
class CMainFrame final : public QMainWindow {
 public:
  static constexpr char kFrameTitle[] = "Download Manager";
  static constexpr char kAppTitle[] = "Fetchwick Download Manager";  // caption of the program's message boxes
  static constexpr char kStatusPaneSizing[] =
      "Downloading files Downloading files Downloading files Downloading files";

  CMainFrame(CQueuebayDoc& doc, const gui::CommandSet& commands, gui::IdleUpdater& updater);

  // The caption's document title, "Downloading" or "Idle", and the
  // animation, which plays while downloading.
  void ShowDownloadingState(bool downloading);
  void StartAnimation();
  void StopAnimation();

  gui::BusyAnimation* Animation() const { return m_bars.animation; }
  gui::StatusPanes* Panes() const { return m_bars.panes; }
  bool Animating() const { return m_bAnimating; }

  // Asked before the window closes; false keeps it open. Then, once it
  // closes, onClosing runs.
  std::function<bool()> canClose;
  std::function<void()> onClosing;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateMenus(const gui::CommandSet& commands);
  void UpdateCommandStates(const gui::CommandSet& commands);

  CQueuebayDoc& m_doc;
  gui::FrameBars m_bars;
  bool m_bAnimating = false;
};

}  // namespace queuebay
