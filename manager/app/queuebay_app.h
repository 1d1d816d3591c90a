#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/desktop_launch.h"
#include "gui/idle_updater.h"
#include "manager/app/queuebay_window_host.h"
#include "manager/core/queuebay_doc.h"

namespace gui {
class CommandSet;
}

namespace queuebay {

class CMainFrame;
class CQueuebayView;

// The download manager program: start-up creates the document (and with it
// the engine connection), the main window and the list, which loads the
// engine's queue; the end goes the other way.
class CQueuebayApp {
 public:
  static constexpr char kUnregisterDone[] = "Queuebay's registration entries have been removed.";
  static constexpr char kCannotOpenFolder[] = "Couldn't open download folder";

  CQueuebayApp();
  ~CQueuebayApp();
  CQueuebayApp(const CQueuebayApp&) = delete;
  CQueuebayApp& operator=(const CQueuebayApp&) = delete;

  // The second pass and the start; false when the program ends without a
  // window. Addresses on the command line are added as Add URL adds them.
  bool InitInstance(const std::vector<std::string>& arguments, ManagerDocOptions options = {});

  CQueuebayDoc* Document() const { return m_doc.get(); }
  CMainFrame* MainFrame() const { return m_frame.get(); }
  CQueuebayView* View() const { return m_view; }
  const gui::CommandSet& Commands() const { return *m_commands; }

  void OnAddUrl();
  void OnOptions();
  void OnOpenDownloads();
  // Adds one address as Add URL does after its dialog: refused with "Not
  // valid URL" unless it begins with "http:" or "https:".
  void AddAddress(const std::string& url);

 private:
  void ShowAbout();

  QObject m_commandOwner;
  gui::IdleUpdater m_updater;
  gui::DesktopLauncher m_launcher;
  QueuebayWindowHost m_host;
  std::unique_ptr<CQueuebayDoc> m_doc;
  std::unique_ptr<gui::CommandSet> m_commands;
  std::unique_ptr<CMainFrame> m_frame;
  CQueuebayView* m_view = nullptr;  // the frame's
};

// The program: both command-line passes, then the window until it closes.
int QueuebayMain(int argc, char** argv);

}  // namespace queuebay
