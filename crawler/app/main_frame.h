#pragma once

#include <QMainWindow>
#include <functional>

class QMimeData;

#include "gui/frame_bars.h"
#include <memory>
#include <set>
#include <string>

class CAddressBox;
class LinkList;
class QLabel;
class QLineEdit;
struct CrawlProgress;
class CFetchwickDoc;
namespace gui {
class BusyAnimation;
class CommandSet;
class IdleUpdater;
class PacedCall;
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
  // An address was dropped on the window.
  std::function<void(const std::string& address)> onAddressDropped;

  // The box on the address row that narrows the rows shown by text.
  QLineEdit* QuickFilter() const { return m_quickFilter; }

  // The counts of the crawl just started go into the progress pane, a few
  // times a second while it runs; the last ones stay.
  void ShowCrawlProgress(std::shared_ptr<const LinkList> list, std::shared_ptr<const CrawlProgress> progress);
  QString ProgressText() const;
  // Shows the latest counts now.
  void UpdateProgress();

  // Place and size as the user left them last time, and now.
  void RestorePlacement();
  void SavePlacement() const;

  // The address a drop carries: the first of a URL list, or the first line
  // of a text; empty when there is none.
  static std::string DroppedAddress(const QMimeData& data);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus(const gui::CommandSet& commands);
  void CreateBars(const gui::CommandSet& commands);
  void LoadHistory();
  void SaveHistory() const;
  void UpdateCommandStates(const gui::CommandSet& commands);

  CFetchwickDoc& m_doc;
  gui::FrameBars m_bars;
  CAddressBox* m_addressBox = nullptr;
  QLineEdit* m_quickFilter = nullptr;
  QAction* m_back = nullptr;
  QAction* m_forward = nullptr;
  QLabel* m_progressPane = nullptr;
  gui::PacedCall* m_progressPacer = nullptr;
  std::shared_ptr<const LinkList> m_progressList;
  std::shared_ptr<const CrawlProgress> m_progress;
  std::set<std::string> m_history;  // in byte order, as it is saved
};
