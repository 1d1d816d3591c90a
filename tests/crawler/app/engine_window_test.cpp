// The crawler's windows with the real engine: downloads handed over in row
// order, the engine's texts in the status pane, and its errors in boxes.
#include <QTest>
#include <thread>

#include "contract/status.h"
#include "crawler/core/callback_itf.h"
#include "gui/status_panes.h"
#include "tests/crawler/app/crawler_window_fixture.h"
#include "tests/support/engine_home.h"

namespace {

using Names = std::vector<std::string>;

class CrawlerEngineTest : public CrawlerWindowTest {
 protected:
  void TearDown() override {
    CrawlerWindowTest::TearDown();
    m_engine.StopServers();
  }

  // The engine's pending records as "name address".
  Names Pending() {
    std::shared_ptr<IEnumFiles> files;
    EXPECT_EQ(Doc().Engine()->EnumPending(&files), S_OK);
    Names listed;
    _LinkStructType record{};
    std::uint32_t fetched = 0;
    while (files && files->Next(1, &record, &fetched) == S_OK && fetched == 1)
      listed.push_back(std::string(RecordText(record.szFileName)) + " " + std::string(RecordText(record.szHref)));
    return listed;
  }
  std::string PaneText() { return Frame().Panes()->Status().toStdString(); }

  EngineHome m_engine{PULLWRIGHT_PROGRAM};
};

TEST_F(CrawlerEngineTest, DownloadFilesHandsTheSelectedRowsToTheEngineInRowOrder) {
  ServeSite();
  ASSERT_TRUE(m_engine.Register(0));  // no workers: the records stay queued
  Start(EngineUse::Create);
  ASSERT_NE(Doc().Engine(), nullptr);
  // The sizing text is shown only until the first idle refresh.
  ASSERT_TRUE(WaitUntil([&] { return PaneText().empty(); }));
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  Select({"zeta.zip", "alpha.exe", "song.mp3"});
  Run(cmd::ID_DOWNLOAD_FILES);
  EXPECT_EQ(Pending(), (Names{"alpha.exe " + Url("/alpha.exe"), "song.mp3 " + Url("/song.mp3"),
                              "zeta.zip " + Url("/zeta.zip")}));
  // Queued records have empty texts; Stop Downloads stays off while nothing transfers.
  EXPECT_EQ(PaneText(), "");
  EXPECT_FALSE(Command(cmd::ID_STOP_DOWNLOADS)->isEnabled());
  EXPECT_FALSE(Command(cmd::ID_CANCEL_CURRENT_DOWNLOAD)->isEnabled());

  // Open Downloads asks the engine for its folder.
  DesktopStandIns desktop({"xdg-open"});
  Run(cmd::ID_OPEN_DOWNLOADS);
  ASSERT_TRUE(desktop.WaitForStarts("xdg-open", 1));
  EXPECT_EQ(desktop.Starts("xdg-open").front(), Names{m_downloads.path() + "/"});
}

TEST_F(CrawlerEngineTest, EngineErrorsOpenABoxEachAndThePaneShowsTheLastText) {
  m_server.Handle("/gone.zip", Script{.status = 404, .text = "no"});
  m_server.Handle("/fine.zip", Script{.size = 3000});
  ASSERT_TRUE(m_engine.Register(1));
  Start(EngineUse::Create);
  LinkEntry gone;
  gone.url = Url("/gone.zip");
  gone.name = "gone.zip";
  Doc().QueueDownload(gone);
  ASSERT_TRUE(WaitUntil([] { return OpenMessageBoxes().size() == 1; }));
  QMessageBox* box = OpenMessageBoxes().front();
  EXPECT_EQ(box->windowTitle().toStdString(), "Fetchwick Error");
  EXPECT_EQ(box->text().toStdString(), "Download error: 404 Not Found\nFile: gone.zip\nURL: " + gone.url);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  // The engine's own last event for it comes after the error.
  ASSERT_TRUE(WaitUntil([&] { return PaneText() == "Failed downloading gone.zip (0 bytes): Download error: 404 Not Found"; }));

  // Once the engine is through with that file, a second error opens a
  // second box over the first; an error without a text does nothing at all.
  ASSERT_TRUE(WaitUntil([&] {
    std::shared_ptr<IEnumFiles> files;
    _LinkStructType record{};
    std::uint32_t fetched = 0;
    return SUCCEEDED(Doc().Engine()->EnumFiles(&files)) && files->Next(1, &record, &fetched) == S_FALSE &&
           !Doc().IsDownloading();
  }));
  ICallbackItf& sink = *Doc().Sink();
  const _LinkStructType record{};
  std::thread([&] {
    sink.DownloadStatus(STATUS_ERROR, "second error", record);
    sink.DownloadStatus(STATUS_ERROR, nullptr, record);
  }).join();
  ASSERT_TRUE(WaitUntil([] { return OpenMessageBoxes().size() == 2; }));
  Names texts = OpenMessageTexts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (Names{"Download error: 404 Not Found\nFile: gone.zip\nURL: " + gone.url, "second error"}));
  EXPECT_TRUE(WaitUntil([&] { return PaneText() == "second error"; }));
  CloseMessageBoxes();

  LinkEntry fine;
  fine.url = Url("/fine.zip");
  fine.name = "fine.zip";
  Doc().QueueDownload(fine);
  EXPECT_TRUE(WaitUntil([&] { return PaneText() == "Finished downloading fine.zip"; }));
  EXPECT_EQ(ReadFile(m_downloads.file("fine.zip")).size(), 3000u);
  EXPECT_TRUE(OpenMessageBoxes().empty());
}

}  // namespace
