#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crawler/app/fetchwick_host.h"
#include "crawler/core/fetchwick_doc.h"
#include "gui/desktop_launch.h"
#include "gui/idle_updater.h"
#include "gui/message_boxes.h"

class CFetchwickView;
class CMainFrame;
namespace gui {
class CommandSet;
}

// The crawler program: its start-up, which creates the document (and with
// it the engine connection), then the main window and the link list; and its
// end, in the opposite order.
class CFetchwickApp {
 public:
  static constexpr char kUnregisterDone[] = "Fetchwick's registration entries have been removed.";

  CFetchwickApp();
  // Closes what is still open: the window first (it saves the history),
  // then the document (it disconnects from the engine).
  ~CFetchwickApp();
  CFetchwickApp(const CFetchwickApp&) = delete;
  CFetchwickApp& operator=(const CFetchwickApp&) = delete;

  // The second pass and the start: false when the program ends without a
  // window. A document named on the command line is an address to crawl.
  bool InitInstance(const std::vector<std::string>& arguments, DocOptions options = {});

  CFetchwickDoc* Document() const { return m_doc.get(); }
  CMainFrame* MainFrame() const { return m_frame.get(); }
  CFetchwickView* View() const { return m_view; }
  const gui::CommandSet& Commands() const { return *m_commands; }
  gui::MessageBoxHop& Boxes() { return m_boxes; }
  FetchwickHost& Host() { return m_host; }

 private:
  void OnClosing();
  void ShowAbout();

  QObject m_commandOwner;
  gui::IdleUpdater m_updater;
  gui::MessageBoxHop m_boxes;
  gui::DesktopLauncher m_launcher;  // tells its failures through m_boxes
  FetchwickHost m_host;
  std::unique_ptr<CFetchwickDoc> m_doc;
  std::unique_ptr<gui::CommandSet> m_commands;
  std::unique_ptr<CMainFrame> m_frame;
  CFetchwickView* m_view = nullptr;  // the frame's
  bool m_closed = false;
};

// The program: both command-line passes, then the window until it closes.
int FetchwickMain(int argc, char** argv);
