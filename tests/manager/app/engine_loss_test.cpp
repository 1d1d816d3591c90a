// The download manager outlives its engine: a killed engine is told in the
// pane and the caption, and the next command connects again; a reload
// keeps the rows of events that come while the list is read.
#include <signal.h>

#include <QAbstractItemModel>
#include <algorithm>
#include <thread>

#include "contract/status.h"
#include "gui/busy_animation.h"
#include "gui/status_panes.h"
#include "manager/core/download_status_sink.h"
#include "tests/manager/app/manager_window_fixture.h"

namespace {

using Names = std::vector<std::string>;
using Model = queuebay::DownloadListModel;

TEST_F(ManagerWindowTest, AfterTheEngineIsKilledTheNextCommandStartsANewOneAndTheWindowFollowsIt) {
  m_server.Handle("/held.iso", Script{.size = 400000, .holdAfter = 120000});
  m_server.Handle("/after.zip", Script{.size = 1000});
  RegisterEngine(1);
  Start();
  Doc().AddDownload("held.iso", m_server.Url("/held.iso"));
  ASSERT_TRUE(WaitUntil([&] { return Caption() == "Downloading - Download Manager"; }));
  const pid_t killed = m_engine.ServerPid();
  ASSERT_GT(killed, 0);
  ASSERT_EQ(::kill(killed, SIGKILL), 0);

  // Without any command: the pane says so, and nothing downloads any more.
  ASSERT_TRUE(WaitUntil([&] {
    return Caption() == "Idle - Download Manager" &&
           Frame().Panes()->Status().toStdString() == "Download engine stopped" &&
           !Command(qcmd::ID_STOP_DOWNLOADS)->isEnabled();
  }));
  EXPECT_FALSE(Frame().Animation()->isPlaying());
  EXPECT_EQ(Column(Model::kFileName), Names{"held.iso"});  // what was shown stays until a command
  SaveScreenshot(&Frame(), "manager-engine-stopped");

  // F5 starts a new engine and shows its queue, which is empty.
  Run(qcmd::ID_VIEW_REFRESH);
  EXPECT_EQ(Model().rowCount(), 0);
  const pid_t started = m_engine.ServerPid();
  EXPECT_GT(started, 0);
  EXPECT_NE(started, killed);
  EXPECT_TRUE(WaitUntil([&] { return Frame().Panes()->Status().isEmpty(); }));

  // The caption and the list follow the new engine; files queued now arrive.
  Doc().AddDownload("held.iso", m_server.Url("/held.iso"));
  Doc().AddDownload("after.zip", m_server.Url("/after.zip"));
  ASSERT_TRUE(WaitUntil([&] { return Caption() == "Downloading - Download Manager" && Model().rowCount() == 2; }));
  m_server.ReleaseHolds();
  ASSERT_TRUE(WaitUntil([&] { return Caption() == "Idle - Download Manager" && Model().rowCount() == 0; }));
  EXPECT_EQ(ReadFile(m_downloads.file("after.zip")).size(), 1000u);
  EXPECT_EQ(ReadFile(m_downloads.file("held.iso")).size(), 400000u);
  EXPECT_EQ(m_engine.ServerPid(), started);
}

TEST_F(ManagerWindowTest, EventsThatComeWhileTheListIsReadLeaveEveryRecordOnce) {
  RegisterEngine(0);
  Start();
  const std::string a = m_server.Url("/a.zip");
  const std::string b = m_server.Url("/b.zip");
  Doc().AddDownload("a.zip", a);
  Doc().AddDownload("b.zip", b);
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));

  // Once the engine's list has been read, and before the view takes the
  // events that came meanwhile, these arrive: b's own announcement, late;
  // an attempt of a that ends and is put back, as a retry does.
  const auto record = [](const std::string& name, const std::string& href) {
    _LinkStructType ls{};
    CopyRecordText(ls.szFileName, name);
    CopyRecordText(ls.szHref, href);
    return ls;
  };
  const QMetaObject::Connection during = QObject::connect(&Model(), &QAbstractItemModel::modelReset, [&] {
    CDownloadStatusSink& sink = *Doc().Sink();
    std::thread([&] {
      sink.DownloadStatus(STATUS_QUEUED, "", record("b.zip", b));
      sink.DownloadStatus(STATUS_DONE, "Download of a.zip stopped short", record("a.zip", a));
      sink.DownloadStatus(STATUS_QUEUED, "", record("a.zip", a));
    }).join();
  });
  Run(qcmd::ID_VIEW_REFRESH);
  QObject::disconnect(during);
  Names urls = Column(Model::kUrl);
  std::sort(urls.begin(), urls.end());
  EXPECT_EQ(urls, (Names{a, b}));
}

}  // namespace
