// The download list: its rows follow the engine's events, the caption and
// the animation its state; Cancel sends one cancel per row, top to bottom.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
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

_LinkStructType Record(const std::string& name, const std::string& href, std::uint32_t size = 0,
                       std::uint32_t current = 0, std::uint32_t rate = 0, std::uint32_t timeouts = 0) {
  _LinkStructType record{};
  CopyRecordText(record.szFileName, name);
  CopyRecordText(record.szHref, href);
  record.dwFileSize = size;
  record.dwCurrentSize = current;
  record.dwBytesPerSecond = rate;
  record.dwTimeouts = timeouts;
  return record;
}

TEST_F(ManagerWindowTest, WithoutAnEngineTheListIsEmptyAndIdleWithoutAWord) {
  Start();  // nothing registered
  EXPECT_EQ(Doc().Engine(), nullptr);
  EXPECT_EQ(Model().rowCount(), 0);
  EXPECT_EQ(Caption(), "Idle - Download Manager");
  EXPECT_FALSE(Frame().Animation()->isPlaying());
  QApplication::processEvents();
  EXPECT_TRUE(OpenMessageBoxes().empty());
  EXPECT_TRUE(WaitUntil([&] { return !Command(qcmd::ID_STOP_DOWNLOADS)->isEnabled(); }));
  Run(qcmd::ID_OPEN_DOWNLOADS);
  EXPECT_EQ(OpenMessageTexts(), Names{"Couldn't open download folder"});
}

TEST_F(ManagerWindowTest, EachCodeActsOnTheFirstRowOfItsAddressAndErrorsDoNotStopTheList) {
  Start(false);
  CDownloadStatusSink sink(&Doc());
  const auto send = [&](std::uint32_t code, const char* text, const _LinkStructType& record) {
    std::thread([&] { sink.DownloadStatus(code, text, record); }).join();
  };
  const std::string url = "http://h/a.zip";
  send(STATUS_QUEUED, "", Record("a.zip", url));
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 1; }));
  const auto icon = [&] {
    return Model().data(Model().index(0, Model::kFileName), Qt::DecorationRole).value<QIcon>().cacheKey();
  };
  const qint64 zipIcon = icon();
  // Every cell but the icon follows the record; a size of 2^31 and more too.
  send(STATUS_STARTING, "Downloading a.zip, 3000000000 bytes", Record("renamed.pdf", url, 3000000000u));
  send(STATUS_PROGRESS, "p", Record("renamed.pdf", url, 3000000000u, 4095, 1536000, 2));
  ASSERT_TRUE(WaitUntil([&] { return Column(Model::kRate) == Names{"1536.0 k/sec"}; }));
  EXPECT_EQ(Column(Model::kFileName), Names{"renamed.pdf"});
  EXPECT_EQ(Column(Model::kFileSize), Names{"3000000000"});
  EXPECT_EQ(Column(Model::kDownloaded), Names{"4095"});
  EXPECT_EQ(Column(Model::kRetries), Names{"2"});
  EXPECT_EQ(icon(), zipIcon);
  EXPECT_EQ(Model().data(Model().index(0, Model::kFileSize), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
            Qt::AlignRight);

  // The same address again is a second row; 5 removes the upper one; an
  // address in other letters matches nothing.
  send(STATUS_QUEUED, "", Record("again.zip", url));
  send(STATUS_PROGRESS, "", Record("x", "HTTP://h/a.zip", 1, 1, 1, 1));
  send(STATUS_DONE, "Finished downloading renamed.pdf", Record("renamed.pdf", url));
  ASSERT_TRUE(WaitUntil([&] { return Column(Model::kFileName) == Names{"again.zip"}; }));
  EXPECT_EQ(Column(Model::kDownloaded), Names{"0"});

  // Error boxes open one by one while the list goes on; an error without a
  // text does nothing, not even to the status pane.
  send(STATUS_ERROR, "first error", Record("", ""));
  send(STATUS_ERROR, nullptr, Record("", ""));
  send(STATUS_QUEUED, "", Record("b.zip", "http://h/b.zip"));
  // A box about a link names its address when the text does not.
  send(STATUS_ERROR, "second error", Record("b.zip", "http://h/b.zip"));
  ASSERT_TRUE(WaitUntil([&] { return OpenMessageBoxes().size() == 2 && Model().rowCount() == 2; }));
  for (QMessageBox* box : OpenMessageBoxes()) EXPECT_EQ(box->windowTitle().toStdString(), "Fetchwick Error");
  // Open boxes come in no particular order.
  Names texts = OpenMessageTexts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (Names{"first error", "second error\nURL: http://h/b.zip"}));
  EXPECT_TRUE(WaitUntil([&] { return Frame().Panes()->Status().toStdString() == "second error"; }));
}

TEST_F(ManagerWindowTest, StartedWhileTheEngineDownloadsItShowsSoAndFollowsToTheEnd) {
  m_server.Handle("/held.iso", Script{.size = 400000, .holdAfter = 120000});
  m_server.Handle("/waiting.zip", Script{.size = 1000});
  RegisterEngine(1);
  IDownloadEngine& engine = OwnEngine();
  ASSERT_EQ(engine.DownloadFile("held.iso", m_server.Url("/held.iso").c_str()), S_OK);
  ASSERT_EQ(engine.DownloadFile("waiting.zip", m_server.Url("/waiting.zip").c_str()), S_OK);
  ASSERT_TRUE(WaitUntil([&] {
    std::int32_t downloading = 0;
    return SUCCEEDED(engine.IsDownloading(&downloading)) && downloading;
  }));
  Start();
  EXPECT_EQ(Caption(), "Downloading - Download Manager");
  EXPECT_TRUE(Frame().Animation()->isPlaying());
  EXPECT_EQ(Column(Model::kFileName), (Names{"held.iso", "waiting.zip"}));
  ASSERT_TRUE(WaitUntil([&] { return Column(Model::kDownloaded)[0] == "120000"; }));
  EXPECT_TRUE(Command(qcmd::ID_STOP_DOWNLOADS)->isEnabled());
  SaveScreenshot(&Frame(), "manager-downloads");

  // The context menu over the rows, pictured.
  SelectRows({0});
  EXPECT_EQ(PictureContextMenu(&View(), Model().index(0, 1), &Frame(), "manager-context-menu"),
            (Names{"Cancel Download(s)", "-", "Add URL"}));

  m_server.ReleaseHolds();
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 0 && Caption() == "Idle - Download Manager"; }));
  EXPECT_FALSE(Frame().Animation()->isPlaying());
  EXPECT_EQ(Frame().Animation()->currentFrame(), 0);
  EXPECT_EQ(ReadFile(m_downloads.file("held.iso")).size(), 400000u);
}

TEST_F(ManagerWindowTest, CancelSendsOneCancelPerSelectedRowTopToBottomAndRowsWaitForTheEngine) {
  RegisterEngine(0);
  Start();
  for (const char* name : {"one.zip", "two.zip", "three.zip"}) Doc().AddDownload(name, m_server.Url(std::string("/") + name));
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 3; }));
  OwnEngine();  // listens from here on
  SelectRows({2, 0, 1});
  Run(qcmd::ID_CANCEL_DOWNLOADS);
  EXPECT_EQ(Model().rowCount(), 3);  // nothing is removed before the engine says so
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 0; }));
  Names cancels;
  for (const std::string& line : m_events.Lines())
    if (line.starts_with("5 ")) cancels.push_back(line);
  EXPECT_EQ(cancels, (Names{"5 Canceled one.zip", "5 Canceled two.zip", "5 Canceled three.zip"}));
  EXPECT_TRUE(EngineQueue().empty());
}

}  // namespace
