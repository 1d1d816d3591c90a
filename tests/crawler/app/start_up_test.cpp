// Start-up: the unregister request's box, and an address to crawl.
#include <QApplication>
#include <QTimer>

#include "tests/crawler/app/crawler_window_fixture.h"

namespace {

TEST(CrawlerStartUp, UnregisterConfirmsInABoxAndEndsWithoutAWindow) {
  TempSettings settings;
  CFetchwickApp app;
  std::vector<std::string> seen;
  QTimer::singleShot(0, [&] {
    seen = OpenMessageTexts();
    CloseMessageBoxes();
  });
  EXPECT_FALSE(app.InitInstance({"/unregister"}));
  EXPECT_EQ(seen, std::vector<std::string>{CFetchwickApp::kUnregisterDone});
  EXPECT_EQ(app.MainFrame(), nullptr);
  EXPECT_EQ(app.Document(), nullptr);
}

TEST_F(CrawlerWindowTest, AnAddressOnTheCommandLineIsCrawledAtOnce) {
  ServeSite();
  Start(EngineUse::None, {Url("/page2.html")});
  ASSERT_TRUE(WaitForPage(Url("/page2.html")));
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"index.html", "other.pdf"}));
  EXPECT_EQ(HistoryEntries(), std::vector<std::string>{Url("/page2.html")});
}

}  // namespace
