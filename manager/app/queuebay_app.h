#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/desktop_launch.h"
#include "gui/idle_updater.h"
#include "manager/app/queuebay_window_host.h"
#include "manager/core/queuebay_doc.h"
#include "manager/core/unfinished_downloads.h"

class QLabel;
class QSplitter;
namespace gui {
class CommandSet;
class DesktopNotifier;
}  // namespace gui

namespace queuebay {

class CMainFrame;
class CQueuebayView;
class EndingNotices;
class HistoryPanel;
class SingleWindow;

// The download manager program: start-up creates the document (and with it
// the engine connection), the main window with the queue over the history,
// and loads the engine's queue; the end goes the other way. One runs per
// user: a second start hands its addresses to the first and ends.
class CQueuebayApp {
 public:
  static constexpr char kUnregisterDone[] = "Queuebay's registration entries have been removed.";
  static constexpr char kCannotOpenFolder[] = "Couldn't open download folder";

  CQueuebayApp();
  ~CQueuebayApp();
  CQueuebayApp(const CQueuebayApp&) = delete;
  CQueuebayApp& operator=(const CQueuebayApp&) = delete;

  // The second pass and the start; false when the program ends without a
  // window (a registration switch, or a Queuebay already running took the
  // addresses). Addresses on the command line are added as Add URL adds
  // them.
  bool InitInstance(const std::vector<std::string>& arguments, ManagerDocOptions options = {});

  CQueuebayDoc* Document() const { return m_doc.get(); }
  CMainFrame* MainFrame() const { return m_frame.get(); }
  CQueuebayView* View() const { return m_view; }
  HistoryPanel* History() const { return m_history; }
  EndingNotices* Notices() const { return m_notices.get(); }
  QMessageBox* ResumeOffer() const { return m_offer; }
  const gui::CommandSet& Commands() const { return *m_commands; }

  void OnAddUrl();
  void OnOptions();
  void OnOpenDownloads();
  void OnPaste();
  // Adds each address as Add URL does after its dialog; those that do not
  // begin with "http:" or "https:" are refused together in one "Not valid
  // URL" box.
  void AddAddresses(const std::vector<std::string>& urls);

  // Whether closing with downloads queued asks first (on by default).
  void SetAskOnClose(bool ask) { m_askOnClose = ask; }

 private:
  void ConnectCommands();
  void ShowAbout();
  bool ConfirmClose();
  void OnClosing();
  void OfferUnfinished();
  void TakeHandOver(const std::vector<std::string>& urls);
  void UpdateTotals();

  QObject m_commandOwner;
  gui::IdleUpdater m_updater;
  gui::DesktopLauncher m_launcher;
  QueuebayWindowHost m_host;
  std::unique_ptr<SingleWindow> m_single;
  std::unique_ptr<CQueuebayDoc> m_doc;
  std::unique_ptr<gui::CommandSet> m_commands;
  std::unique_ptr<gui::DesktopNotifier> m_notifier;
  std::unique_ptr<EndingNotices> m_notices;
  std::unique_ptr<CMainFrame> m_frame;
  CQueuebayView* m_view = nullptr;     // the frame's
  HistoryPanel* m_history = nullptr;   // the frame's
  QSplitter* m_panes = nullptr;        // the frame's
  QLabel* m_totals = nullptr;          // the status bar's
  // Downloads left unfinished at the last close, while their offer is open.
  std::vector<UnfinishedDownload> m_offered;
  QPointer<QMessageBox> m_offer;
  bool m_askOnClose = true;
  bool m_closed = false;
};

// The program: both command-line passes, then the window until it closes.
int QueuebayMain(int argc, char** argv);

}  // namespace queuebay
