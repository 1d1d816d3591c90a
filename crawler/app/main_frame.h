#pragma once

#include <QMainWindow>
#include <functional>

#include "gui/frame_bars.h"
#include <set>
#include <string>

class CAddressBox;
class CFetchwickDoc;
namespace gui {
class BusyAnimation;
class CommandSet;
class IdleUpdater;
class StatusPanes;
}  // namespace gui

// The crawler's main window: menus; a first toolbar row with the main
// buttons and the busy animation; a second row with the address box and its
// Go button; the link list in the middle; the status bar at the bottom. It
// keeps the address history, loaded when it is made and saved when it goes.
class CMainFrame final : public QMainWindow {
 public:
  static constexpr char kAppTitle[] = "Fetchwick";
  static constexpr char kUntitled[] = "Untitled";
  static constexpr char kStatusPaneSizing[] =
      "Downloading files Downloading files Downloading files Downloading files";

  CMainFrame(CFetchwickDoc& doc, const gui::CommandSet& commands, gui::IdleUpdater& updater);
  ~CMainFrame() override;

  // The message pane of the status bar.
  void SetStatusText(const QString& text);
  // The address box's edit field; the text of its selected entry.
  void SetAddressText(const std::string& text);
  std::string GetAddressText(bool fromSelection) const;
  // Adds an address not yet in the history as the list's last entry.
  void AddToHistory(const std::string& address);
  void ClearHistory();
  const std::set<std::string>& History() const { return m_history; }
  // The caption is the document title and the program's name.
  void SetDocumentTitle(const std::string& title);

  CAddressBox* AddressBox() const { return m_addressBox; }
  gui::BusyAnimation* Animation() const { return m_bars.animation; }
  gui::StatusPanes* Panes() const { return m_bars.panes; }

  // Runs before the window may close; it stops what would outlive it.
  std::function<void()> onClosing;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateMenus(const gui::CommandSet& commands);
  void CreateBars(const gui::CommandSet& commands);
  void LoadHistory();
  void SaveHistory() const;
  void UpdateCommandStates(const gui::CommandSet& commands);

  CFetchwickDoc& m_doc;
  gui::FrameBars m_bars;
  CAddressBox* m_addressBox = nullptr;
  std::set<std::string> m_history;  // in byte order, as it is saved
};
