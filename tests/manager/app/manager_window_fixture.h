#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gui/command_set.h"
#include "manager/app/main_frame.h"
#include "manager/app/manager_commands.h"
#include "manager/app/queuebay_app.h"
#include "manager/app/queuebay_view.h"
#include "proxystub/engine_connection.h"
#include "tests/support/engine_home.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace qcmd = queuebay::cmd;

// A sink of the test's own that writes down "code text" of every event.
class RecordingSink final : public ICallbackItf {
 public:
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType&) override;
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

// The download manager's windows as the program makes them, with settings
// and a download folder of their own, the local test server, and a home of
// its own for the real engine. The windows go first when the test ends.
class ManagerWindowTest : public ::testing::Test {
 protected:
  // Registers the engine with this many workers (0: records stay queued).
  void RegisterEngine(std::uint32_t threads);
  void Start(bool createEngine = true, const std::vector<std::string>& arguments = {});
  void Close();

  queuebay::CQueuebayApp& App() { return *m_app; }
  CQueuebayDoc& Doc() { return *m_app->Document(); }
  queuebay::CMainFrame& Frame() { return *m_app->MainFrame(); }
  queuebay::CQueuebayView& View() { return *m_app->View(); }
  queuebay::DownloadListModel& Model() { return View().Model(); }
  QAction* Command(int id) { return m_app->Commands()[id]; }
  void Run(int id);
  std::vector<std::string> Column(int column);
  void SelectRows(const std::vector<int>& rows);
  std::string Caption() { return Frame().windowTitle().toStdString(); }

  // The test's own connection to the engine, with a recording sink.
  IDownloadEngine& OwnEngine();
  // The engine's whole queue, in its order, as addresses.
  std::vector<std::string> EngineQueue();

  TempSettings m_settings;
  TempDir m_downloads;
  TestServer m_server;
  EngineHome m_engine{PULLWRIGHT_PROGRAM};
  RecordingSink m_events;
  std::unique_ptr<ps::EngineConnection> m_ownConnection;
  std::unique_ptr<queuebay::CQueuebayApp> m_app;
  // Tests close with downloads queued; the question that asks first has a
  // test of its own.
  bool m_askOnClose = false;

  void TearDown() override;
};
