#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <memory>
#include <string>
#include <vector>

#include "crawler/app/address_box.h"
#include "crawler/app/crawler_commands.h"
#include "crawler/app/fetchwick_app.h"
#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/command_set.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

// The crawler's windows as the program makes them, with settings of their
// own, a download folder, and the local test server. The windows go first
// when the test ends, then the server.
class CrawlerWindowTest : public ::testing::Test {
 protected:
  // A small site: /index.html links five files and a page with HREF and
  // one picture with SRC; /page2.html links back and to a PDF.
  void ServeSite();
  std::string Url(const std::string& path) const { return m_server.Url(path); }

  // Starts the program as it starts without arguments; `engine` says
  // whether it may create the engine.
  void Start(EngineUse engine = EngineUse::None, const std::vector<std::string>& arguments = {});
  // Closes the window as the user does, then lets the program end.
  void Close();

  CFetchwickApp& App() { return *m_app; }
  CFetchwickDoc& Doc() { return *m_app->Document(); }
  CMainFrame& Frame() { return *m_app->MainFrame(); }
  CFetchwickView& View() { return *m_app->View(); }
  QAction* Command(int id) { return m_app->Commands()[id]; }
  // Triggers a command once the idle refresh has enabled it.
  void Run(int id);

  // Types into the address box and presses Enter.
  void TypeAddress(const std::string& url);
  // Waits until a page crawl of `url` has finished and its rows are shown.
  bool WaitForPage(const std::string& url);
  // A column's texts, top to bottom.
  std::vector<std::string> Column(int column);
  std::vector<std::string> RowNames() { return Column(LinkListModel::kName); }
  // Selects the rows with these names, or these addresses (and no others).
  void Select(const std::vector<std::string>& names, int column = LinkListModel::kName);
  std::vector<std::string> HistoryEntries();

  TempSettings m_settings;
  TempDir m_downloads;
  TestServer m_server;
  std::unique_ptr<CFetchwickApp> m_app;

  void TearDown() override;
};
