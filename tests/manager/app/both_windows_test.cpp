// Both windows on one engine: files the crawler hands over appear in the
// manager's list, which keeps equal to the engine's queue and empties as
// the files arrive.
#include <QLineEdit>
#include <QTest>

#include "crawler/app/address_box.h"
#include "crawler/app/crawler_commands.h"
#include "crawler/app/fetchwick_app.h"
#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/status_panes.h"
#include "tests/manager/app/manager_window_fixture.h"

namespace {

constexpr int kFiles = 20;
constexpr std::uint64_t kFileSize = 200000;
constexpr std::uint64_t kHeldAt = 50000;

std::vector<std::string> Sorted(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  return texts;
}

TEST_F(ManagerWindowTest, FilesHandedOverByTheCrawlerFollowTheEngineQueueToTheEnd) {
  std::string page;
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = "/f" + std::to_string(100 + i) + ".bin";
    page += "<a href=\"" + path + "\">" + path + "</a>\n";
    m_server.Handle(path, Script{.size = kFileSize, .holdAfter = kHeldAt});
  }
  m_server.Handle("/files.html", Script{.text = page});
  RegisterEngine(2);
  Start();
  ASSERT_NE(Doc().Engine(), nullptr);

  CFetchwickApp crawler;
  DocOptions options;
  options.sessions.proxy = http::ProxyMode::Direct;
  ASSERT_TRUE(crawler.InitInstance({m_server.Url("/files.html")}, options));
  CFetchwickView& list = *crawler.View();
  ASSERT_TRUE(WaitUntil([&] { return list.Model().rowCount() == kFiles; })) << list.Model().rowCount() << " " << crawler.Document()->CurrentURL() << " " << crawler.Document()->Links()->Count();
  list.selectAll();
  QAction* download = crawler.Commands()[cmd::ID_DOWNLOAD_FILES];
  ASSERT_TRUE(WaitUntil([&] { return download->isEnabled(); }));
  download->trigger();

  // Two transfers wait at their hold, eighteen records wait in the queue:
  // the list shows the queue as the engine has it, in its order.
  ASSERT_TRUE(WaitUntil([&] {
    return Model().Urls().size() == kFiles &&
           Column(queuebay::DownloadListModel::kDownloaded) ==
               [] {
                 std::vector<std::string> expected(kFiles, "0");
                 expected[0] = expected[1] = std::to_string(kHeldAt);
                 return expected;
               }();
  })) << testing::PrintToString(Column(queuebay::DownloadListModel::kDownloaded));
  // The same records; the engine lists the ones in transfer first.
  EXPECT_EQ(Sorted(Model().Urls()), Sorted(EngineQueue()));
  EXPECT_EQ(Caption(), "Downloading - Download Manager");

  // Each release lets the two transfers in progress finish and the next two
  // run to their hold. At every moment sampled, the list holds the whole
  // queue; beyond it only records whose end is still on its way.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Model().rowCount() > 0 && std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> queue = Sorted(EngineQueue());
    const std::vector<std::string> shown = Sorted(Model().Urls());
    EXPECT_TRUE(std::includes(shown.begin(), shown.end(), queue.begin(), queue.end()));
    m_server.ReleaseHolds();
    QTest::qWait(20);
  }
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 0 && EngineQueue().empty(); }));
  EXPECT_EQ(Caption(), "Idle - Download Manager");
  for (int i = 0; i < kFiles; ++i)
    EXPECT_EQ(ReadFile(m_downloads.file("f" + std::to_string(100 + i) + ".bin")).size(), kFileSize) << i;
  // The crawler's pane shows the engine's last text.
  EXPECT_TRUE(WaitUntil([&] {
    return crawler.MainFrame()->Panes()->Status().toStdString().starts_with("Finished downloading f1");
  }));
}

}  // namespace
