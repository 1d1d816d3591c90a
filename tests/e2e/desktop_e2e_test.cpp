// The three programs end to end, as a user works them: the real fetchwick,
// queuebay and pullwright on a desktop of their own, driven by key presses;
// what Queuebay lists is read as a screen reader reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/e2e/desktop_session.h"
#include "tests/support/body_pattern.h"
#include "tests/support/engine_home.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr std::uint64_t kFileSize = 300000;
constexpr std::uint64_t kHeldAt = 100000;

// The file names in Queuebay's rows (the first cell).
Lines Names(const Lines& rows) {
  Lines names;
  for (const std::string& row : rows) names.push_back(row.substr(0, row.find('\t')));
  return names;
}

TEST(Desktop, ASiteCrawledDownloadedWatchedAndClosedAsAUserDoes) {
  if (const auto missing = DesktopSession::Missing()) GTEST_SKIP() << *missing;
  TempSettings settings;
  TempDir downloads;
  EngineHome engine(PULLWRIGHT_PROGRAM);
  {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key && WriteDownloadDirectory(*key, downloads.path()));
  }
  TestServer server;
  server.Handle("/site.html", Script{.text = "<a href=\"a1.bin\">1</a> <a href=\"a2.bin\">2</a> "
                                              "<a href=\"a3.bin\">3</a> <a href=\"zz.html\">more</a>",
                                     .contentType = "text/html"});
  for (const char* file : {"/a1.bin", "/a2.bin", "/a3.bin"})
    server.Handle(file, Script{.size = kFileSize, .holdAfter = kHeldAt});
  const std::string site = server.Url("/site.html");

  DesktopSession desktop;
  ASSERT_TRUE(desktop.ready());
  // Queuebay first, so that it sees every file arrive; the programs
  // register the engine beside them as they start.
  auto queuebay = desktop.Start({QUEUEBAY_PROGRAM});
  const auto manager = desktop.WaitForWindow("Idle - Download Manager", *queuebay);
  ASSERT_TRUE(manager);
  auto fetchwick = desktop.Start({FETCHWICK_PROGRAM});
  const auto crawler = desktop.WaitForWindow("Untitled - Fetchwick", *fetchwick);
  ASSERT_TRUE(crawler);

  // Open the site with Ctrl+O.
  desktop.Focus(*crawler);
  desktop.Keys({"ctrl+o"});
  const auto openUrl = desktop.WaitForWindow("Open URL", *fetchwick);
  ASSERT_TRUE(openUrl);
  // Captions reach the window manager as they are, dialogs' too.
  EXPECT_EQ(desktop.WindowTitle(*openUrl), "Open URL");
  desktop.Focus(*openUrl);
  desktop.Type(site);
  desktop.Keys({"Return"});
  ASSERT_TRUE(desktop.WaitForTitle(*crawler, site + " - Fetchwick"));

  // The three files are the first rows; Download File(s) from the menu.
  desktop.Focus(*crawler);
  desktop.Keys({"Home", "shift+Down", "shift+Down", "alt+d", "Return"});

  // Queuebay lists them while they arrive, then lets each row go.
  std::optional<Lines> rows;
  const auto listed = [&] {
    rows = desktop.ListRows("queuebay", "Downloads");
    return rows && Names(*rows) == Lines{"a1.bin", "a2.bin", "a3.bin"};
  };
  auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!listed() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(rows && Names(*rows) == (Lines{"a1.bin", "a2.bin", "a3.bin"})) << testing::PrintToString(rows);
  EXPECT_TRUE(desktop.WaitForTitle(*manager, "Downloading - Download Manager"));
  std::size_t shown = 3;
  deadline = std::chrono::steady_clock::now() + 90s;
  while (shown > 0 && std::chrono::steady_clock::now() < deadline) {
    server.ReleaseHolds();
    rows = desktop.ListRows("queuebay", "Downloads");
    if (rows) {
      EXPECT_LE(rows->size(), shown);  // rows only go
      shown = rows->size();
    }
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_EQ(shown, 0u);
  EXPECT_TRUE(desktop.WaitForTitle(*manager, "Idle - Download Manager"));
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(ReadFile(downloads.file("a" + std::to_string(i) + ".bin")), BodyBytes(0, kFileSize)) << i;

  // Both windows closed from their File menus; the engine then ends after
  // its idle time, and the history stays.
  desktop.Focus(*crawler);
  desktop.Keys({"alt+f", "x"});
  EXPECT_EQ(fetchwick->Wait(30s), 0);
  const std::vector<pid_t> servers = engine.RunningServers();
  ASSERT_EQ(servers.size(), 1u);
  desktop.Focus(*manager);
  desktop.Keys({"alt+f", "x"});
  EXPECT_EQ(queuebay->Wait(30s), 0);
  const auto closed = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitForProcessEnd(servers.front(), 30s));
  const auto idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count();
  // Its idle end comes 5 to 7 s after the last client; polling and a busy
  // machine add to that, never take from it.
  EXPECT_GE(idle, 4.5);
  EXPECT_LE(idle, 12.0);
  const Lines history = ReadHistory();
  EXPECT_NE(std::find(history.begin(), history.end(), site), history.end());
}

TEST(Desktop, TheRunCommandOpensTheCrawlerAndSaysSoWithoutADisplay) {
  if (const auto missing = DesktopSession::Missing()) GTEST_SKIP() << *missing;
  TempSettings settings;
  EngineHome engine(PULLWRIGHT_PROGRAM);
  const ScopedEnv build("FETCHWICK_BUILD_DIR", BUILD_FOLDER);
  {
    // No display at all: one line that says how to run it, and no window.
    const ScopedEnv display("DISPLAY", std::nullopt), wayland("WAYLAND_DISPLAY", std::nullopt),
        platform("QT_QPA_PLATFORM", std::nullopt);
    ChildProcess run({"/bin/bash", RUN_SCRIPT});
    EXPECT_EQ(run.Wait(std::chrono::minutes(5)), 1);
  }
  DesktopSession desktop;
  ASSERT_TRUE(desktop.ready());
  auto run = desktop.Start({"/bin/bash", RUN_SCRIPT});
  const auto crawler = desktop.WaitForWindow("Untitled - Fetchwick", *run, std::chrono::minutes(5));
  ASSERT_TRUE(crawler);
  EXPECT_EQ(engine.RunningServers().size(), 1u);  // the engine was registered and started
  desktop.Focus(*crawler);
  desktop.Keys({"alt+f", "x"});
  EXPECT_EQ(run->Wait(30s), 0);
}

}  // namespace
