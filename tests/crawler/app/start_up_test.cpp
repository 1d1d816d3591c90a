// Start-up: the registration switches of both command-line passes, each
// ending the real program without a window, and an address to crawl.
#include <QApplication>
#include <QTimer>

#include "contract/identities.h"
#include "contract/settings_key.h"
#include "tests/crawler/app/crawler_window_fixture.h"
#include "tests/support/engine_home.h"

namespace {

// Whether the crawler's application entries are in the class registry.
bool Registered() {
  const auto key =
      SettingsKey::OpenForReading(SettingsStore::Classes, "AppID\\" + GuidToString(APPID_Fetchwick));
  const auto exe = SettingsKey::OpenForReading(SettingsStore::Classes, "AppID\\Fetchwick.EXE");
  return key && key->ReadString("") == std::optional<std::string>("Fetchwick") && exe &&
         exe->ReadString("AppID") == GuidToString(APPID_Fetchwick);
}

TEST(CrawlerStartUp, RegistrationSwitchesEndTheProgramWithoutAWindow) {
  TempSettings settings;
  struct Case {
    std::vector<std::string> arguments;
    bool registeredAfter;
  };
  // Each runs after the one before it, so each can undo what it did.
  const Case cases[] = {
      {{"-RegServer"}, true},
      {{"/unregserver"}, false},
      {{"/REGSERVER"}, true},
      {{"-UnRegServer"}, false},
      // Followed by a word, the switch is the second pass's register
      // request: nothing written, and no window all the same.
      {{"-RegServer", "now"}, false},
      {{"/Register"}, false},
      {{"-regserver", "x", "-Embedding"}, false},
      {{"-Embedding"}, false},
      {{"/automation"}, false},
      {{"-Unregister", "-Embedding"}, false},
  };
  for (const Case& test : cases) {
    std::vector<std::string> argv{FETCHWICK_PROGRAM};
    argv.insert(argv.end(), test.arguments.begin(), test.arguments.end());
    // A window would keep the program running past the limit.
    EXPECT_EQ(RunProgram(argv, 20000), 0) << testing::PrintToString(test.arguments);
    EXPECT_EQ(Registered(), test.registeredAfter) << testing::PrintToString(test.arguments);
  }
}

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
