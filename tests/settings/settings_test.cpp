#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_key.h"
#include "tests/support/temp_dir.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  TempSettings m_settings;

  static void Store(const char* name, const std::string& text) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key->WriteString(name, text));
    ASSERT_TRUE(key->Close());
  }
  static std::unique_ptr<SettingsKey> Reader() { return SettingsKey::OpenForReading(SettingsStore::Fetchwick); }
};

TEST_F(SettingsTest, DefaultsWithoutAStoreAndWithoutValues) {
  for (int round = 0; round < 2; ++round) {
    auto key = Reader();
    EXPECT_EQ(key != nullptr, round == 1);
    EXPECT_EQ(ReadSetting(key.get(), setting::kThreadCount), 5u);
    EXPECT_EQ(ReadSetting(key.get(), setting::kMaxRetries), 5u);
    EXPECT_EQ(ReadSetting(key.get(), setting::kCrawlDepth), 5u);
    EXPECT_EQ(ReadSetting(key.get(), setting::kExcludeForeign), 1u);
    EXPECT_FALSE(ReadFileFilter(key.get()).has_value());
    const std::string folder = ReadDownloadDirectory(key.get());
    EXPECT_EQ(folder, DefaultDownloadDirectory());
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_NE(folder, "/");
    SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick)->Close();
  }
}

TEST_F(SettingsTest, StoredNumbersAreClampedToTheirBounds) {
  struct Case {
    const DwordSetting& setting;
    std::uint32_t stored;
    std::uint32_t read;
  };
  const Case cases[] = {
      {setting::kCrawlDepth, 0xFFFFFFFFu, 20}, {setting::kCrawlDepth, 0, 0},      {setting::kCrawlDepth, 7, 7},
      {setting::kThreadCount, 4000000000u, 50}, {setting::kThreadCount, 0, 0},    {setting::kThreadCount, 12, 12},
      {setting::kExcludeForeign, 0, 0},        {setting::kExcludeForeign, 9, 1}, {setting::kMaxRetries, 100000, 100000},
  };
  for (const Case& c : cases) {
    auto writer = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(WriteSetting(*writer, c.setting, c.stored));
    EXPECT_EQ(ReadSetting(Reader().get(), c.setting), c.read) << c.setting.name << " " << c.stored;
  }
}

TEST_F(SettingsTest, DamagedWindowLayoutsReadAsNone) {
  struct Case {
    const char* name;
    std::string stored;
    bool valid;
  };
  const Case cases[] = {
      {setting::kCrawlerWindow, "-20,30,1280,800,1", true}, {setting::kCrawlerWindow, "1,2,3,4", false},
      {setting::kCrawlerWindow, "0,0,50,800,0", false},      {setting::kCrawlerWindow, "0,0,900,800,2", false},
      {setting::kCrawlerColumnWidths, "120,100,300,120", true}, {setting::kCrawlerColumnWidths, "120,,300,120", false},
      {setting::kCrawlerColumnWidths, "120,100,300,0", false}, {setting::kCrawlerColumnWidths, "1,2,3,4,", false},
      {setting::kCrawlerColumnOrder, "3,0,1,2", true},         {setting::kCrawlerColumnOrder, "0,0,1,2", false},
      {setting::kCrawlerColumnOrder, "0,1,2,4", false},        {setting::kCrawlerColumnOrder, "x", false},
  };
  for (const Case& c : cases) {
    Store(c.name, c.stored);
    const auto key = Reader();
    const bool read = c.name == setting::kCrawlerWindow ? ReadWindowPlacement(key.get(), c.name).has_value()
                      : c.name == setting::kCrawlerColumnOrder ? !ReadColumnOrder(key.get(), c.name, 4).empty()
                                                               : !ReadSizes(key.get(), c.name, 4).empty();
    EXPECT_EQ(read, c.valid) << c.name << " " << c.stored;
  }
}

TEST_F(SettingsTest, DownloadDirectoryGetsItsSlashAndLimits) {
  Store(setting::kDownloadDirectory, "/data/dl");
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), "/data/dl/");
  Store(setting::kDownloadDirectory, "/data/dl/");
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), "/data/dl/");

  // 258 characters leave room for the slash; 259 without one do not.
  const std::string fits = "/" + std::string(257, 'd');
  Store(setting::kDownloadDirectory, fits);
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), fits + "/");
  Store(setting::kDownloadDirectory, fits + "d");
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), DefaultDownloadDirectory());
  Store(setting::kDownloadDirectory, fits + "/");
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), fits + "/");
  Store(setting::kDownloadDirectory, std::string(300, 'x'));
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), DefaultDownloadDirectory());
  Store(setting::kDownloadDirectory, "");
  EXPECT_EQ(ReadDownloadDirectory(Reader().get()), DefaultDownloadDirectory());
}

TEST_F(SettingsTest, DefaultDownloadFolderFollowsTheUserDirectories) {
  TempDir home;
  const ScopedEnv homeVariable("HOME", home.path());
  WriteFile(m_settings.configHome() + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
  EXPECT_EQ(DefaultDownloadDirectory(), home.path() + "/Fetched/");
}

TEST_F(SettingsTest, HistoryIsReplacedWholeAndCleared) {
  ASSERT_TRUE(ReplaceHistory({"http://a/", "http://b/x\\y", "http://c/%20"}));
  auto read = ReadHistory();
  std::sort(read.begin(), read.end());
  EXPECT_EQ(read, (std::vector<std::string>{"http://a/", "http://b/x\\y", "http://c/%20"}));

  ASSERT_TRUE(ReplaceHistory({"http://d/"}));
  EXPECT_EQ(ReadHistory(), std::vector<std::string>{"http://d/"});

  Store(setting::kFileFilter, "zip;exe");
  ASSERT_TRUE(ClearHistory());
  EXPECT_TRUE(ReadHistory().empty());
  EXPECT_EQ(ReadFileFilter(Reader().get()), "zip;exe");
}

}  // namespace
