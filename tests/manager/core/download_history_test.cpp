// The stores Queuebay keeps in the user's data folder: the history of
// endings and the addresses left unfinished at close.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "manager/core/data_folder.h"
#include "manager/core/download_history.h"
#include "manager/core/unfinished_downloads.h"
#include "tests/support/temp_dir.h"

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

unsigned Mode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

HistoryEntry Entry(int n, HistoryOutcome outcome = HistoryOutcome::Finished) {
  return {"file " + std::to_string(n) + ".zip", "http://h/" + std::to_string(n), outcome,
          "line one\nzweite Zeile \xc3\xa4\xe2\x82\xac", 5'000'000'000ull + n, "/home/u/D\xc3\xb6wnloads/", 1700000000 + n};
}

std::vector<HistoryEntry> Reloaded() {
  DownloadHistory history;
  EXPECT_FALSE(history.Load().damaged);
  return history.Entries();
}

TEST(DownloadHistory, SavedEntriesComeBackCappedAndEdited) {
  TempSettings settings;
  DownloadHistory history;
  int n = 0;
  for (HistoryOutcome outcome : {HistoryOutcome::Finished, HistoryOutcome::Failed, HistoryOutcome::Stopped,
                                 HistoryOutcome::Canceled})
    history.Add(Entry(n++, outcome));
  // A text too long to be read back is cut when added, never split inside a character.
  HistoryEntry wordy = Entry(n++);
  wordy.detail = "x";
  for (int i = 0; i < 3000; ++i) wordy.detail += "\xc3\xa4";
  history.Add(wordy);
  ASSERT_TRUE(history.Save());
  EXPECT_EQ(Mode(DataFolder()), 0700u);
  const std::vector<HistoryEntry> loaded = Reloaded();
  ASSERT_EQ(loaded.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(loaded[i], history.Entries()[i]) << i;
  EXPECT_EQ(loaded[4].detail.size(), 4095u);
  EXPECT_EQ(loaded[4].detail, history.Entries()[4].detail);

  // Only the newest 1000 stay, in memory and in the file.
  while (n < 1010) history.Add(Entry(n++));
  ASSERT_EQ(history.Entries().size(), DownloadHistory::kMaxEntries);
  EXPECT_EQ(history.Entries().front().url, "http://h/10");
  ASSERT_TRUE(history.Save());
  EXPECT_EQ(Reloaded(), history.Entries());

  history.RemoveAt(0);
  history.RemoveAt(5000);
  ASSERT_TRUE(history.Save());
  EXPECT_EQ(Reloaded().front().url, "http://h/11");
  EXPECT_EQ(Reloaded().size(), 999u);
  history.Clear();
  ASSERT_TRUE(history.Save());
  EXPECT_TRUE(Reloaded().empty());
}

TEST(DownloadHistory, DamagedFileIsSetAsideAndReplaced) {
  const std::string valid = R"({"version":1,"entries":[{"url":"http://h/a","outcome":"Failed"}]})";
  const std::pair<const char*, std::function<void(const std::string& path)>> cases[] = {
      {"garbage", [](const std::string& path) { WriteFile(path, std::string("\0\xff{not json", 12)); }},
      {"a list", [](const std::string& path) { WriteFile(path, "[1,2]"); }},
      {"entries not a list", [](const std::string& path) { WriteFile(path, R"({"version":1,"entries":{}})"); }},
      {"no version", [](const std::string& path) { WriteFile(path, R"({"entries":[]})"); }},
      {"too large", [&](const std::string& path) { WriteFile(path, valid + std::string(8 << 20, ' ')); }},
      {"a link", [&](const std::string& path) {
         WriteFile(path + ".elsewhere", valid);
         ASSERT_EQ(::symlink((path + ".elsewhere").c_str(), path.c_str()), 0);
       }},
  };
  for (const auto& [what, plant] : cases) {
    SCOPED_TRACE(what);
    TempSettings settings;
    ASSERT_TRUE(PrepareDataFolder());
    DownloadHistory history;
    plant(history.Path());
    const std::string original = ReadFile(history.Path());
    const DownloadHistory::LoadResult result = history.Load();
    EXPECT_TRUE(result.damaged);
    EXPECT_TRUE(history.Entries().empty());
    ASSERT_NE(result.setAsidePath, "");
    EXPECT_EQ(ReadFile(result.setAsidePath), original);
    EXPECT_FALSE(Exists(history.Path()));
    history.Add(Entry(1));
    ASSERT_TRUE(history.Save());
    EXPECT_EQ(Reloaded().size(), 1u);
    // A second damaged file never takes the place of the first.
    WriteFile(history.Path(), "{");
    const std::string second = history.Load().setAsidePath;
    EXPECT_NE(second, result.setAsidePath);
    EXPECT_EQ(ReadFile(second), "{");
    EXPECT_EQ(ReadFile(result.setAsidePath), original);
  }
}

TEST(DownloadHistory, EntriesWithBadFieldsAreSkipped) {
  TempSettings settings;
  ASSERT_TRUE(PrepareDataFolder());
  const std::string bad[] = {
      R"(7)", R"({"outcome":"Finished"})", R"({"url":"","outcome":"Finished"})", R"({"url":"http://h/","outcome":"Done"})",
      R"({"url":"http://h/","outcome":"finished"})", R"({"url":"http://h/","outcome":"Failed","size":"12"})",
      R"({"url":"http://h/","outcome":"Failed","size":-1})", R"({"url":"http://h/","outcome":"Failed","when":1.5})",
      R"({"url":"http://h/","outcome":"Failed","name":7})",
      R"({"url":"http://h/","outcome":"Failed","detail":")" + std::string(4097, 'd') + "\"}",
  };
  std::string file = R"({"version":1,"entries":[)";
  for (const std::string& entry : bad) file += entry + ",";
  file += R"({"url":"http://h/ok","outcome":"Stopped","detail":")" + std::string(4096, 'd') + "\"}]}";
  WriteFile(DownloadHistory::DefaultPath(), file);
  const std::vector<HistoryEntry> loaded = Reloaded();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].url, "http://h/ok");
  EXPECT_EQ(loaded[0].outcome, HistoryOutcome::Stopped);
}

TEST(UnfinishedDownloads, WrittenTakenOnceAndRemovedWhenEmpty) {
  TempSettings settings;
  const std::vector<UnfinishedDownload> downloads{{"http://h/a.iso", "a.iso"}, {"https://h/\xc3\xa4", "\xc3\xa4"}};
  ASSERT_TRUE(WriteUnfinished(downloads));
  EXPECT_EQ(ReadUnfinished(), downloads);
  EXPECT_EQ(TakeUnfinished(), downloads);
  EXPECT_TRUE(TakeUnfinished().empty());

  // What could not be read back is left out, and the caller is told.
  std::string error;
  EXPECT_FALSE(WriteUnfinished({{"ftp://h/x", "x"}, downloads[0], {"http://h/" + std::string(251, 'l'), "l"}}, &error));
  EXPECT_EQ(error, "Only 1 of 3 unfinished downloads could be kept.");
  EXPECT_EQ(ReadUnfinished(), std::vector{downloads[0]});
  ASSERT_TRUE(WriteUnfinished({}));
  EXPECT_FALSE(Exists(UnfinishedPath()));

  // Entries a stranger could have written are skipped; a damaged file is set aside.
  WriteFile(UnfinishedPath(), R"({"version":1,"downloads":[{"url":"file:///etc/passwd"},{"url":5},)"
                              R"({"url":"http://h/b","fileName":")" + std::string(260, 'n') + R"("},{"url":"http://h/c"}]})");
  EXPECT_EQ(TakeUnfinished(), (std::vector<UnfinishedDownload>{{"http://h/c", ""}}));
  WriteFile(UnfinishedPath(), "not json");
  EXPECT_TRUE(TakeUnfinished().empty());
  int setAside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(DataFolder()))
    setAside += entry.path().filename().string().starts_with("unfinished.json.damaged-") ? 1 : 0;
  EXPECT_EQ(setAside, 1);
}

TEST(DataFolder, FollowsTheEnvironmentAndIsKeptPrivate) {
  TempSettings settings;
  const ScopedEnv home("HOME", settings.dataHome());
  const std::pair<std::optional<std::string>, std::string> places[] = {
      {settings.dataHome() + "/x", settings.dataHome() + "/x/fetchwick"},
      {std::nullopt, settings.dataHome() + "/.local/share/fetchwick"},
      {"", settings.dataHome() + "/.local/share/fetchwick"},
      {"relative/x", settings.dataHome() + "/.local/share/fetchwick"},
  };
  for (const auto& [variable, folder] : places) {
    const ScopedEnv data("XDG_DATA_HOME", variable);
    EXPECT_EQ(DataFolder(), folder);
  }

  const ScopedEnv nested("XDG_DATA_HOME", settings.dataHome() + "/new/share");
  ASSERT_TRUE(PrepareDataFolder());
  EXPECT_EQ(Mode(DataFolder()), 0700u);
  ASSERT_EQ(::chmod(DataFolder().c_str(), 0755), 0);
  ASSERT_TRUE(PrepareDataFolder());
  EXPECT_EQ(Mode(DataFolder()), 0700u);

  // A link is replaced by a write, never written through.
  const std::string target = settings.dataHome() + "/target";
  WriteFile(target, "keep");
  ASSERT_EQ(::symlink(target.c_str(), (DataFolder() + "/f").c_str()), 0);
  ASSERT_TRUE(WriteDataFile(DataFolder() + "/f", "new"));
  EXPECT_EQ(ReadFile(target), "keep");
  std::string bytes;
  EXPECT_EQ(ReadDataFile(DataFolder() + "/f", 3, bytes), DataRead::Ok);
  EXPECT_EQ(bytes, "new");
  EXPECT_EQ(ReadDataFile(DataFolder() + "/f", 2, bytes), DataRead::Unusable);

  std::filesystem::remove_all(DataFolder());
  ASSERT_EQ(::symlink(settings.dataHome().c_str(), DataFolder().c_str()), 0);
  std::string problem;
  EXPECT_FALSE(PrepareDataFolder(&problem));
  EXPECT_EQ(problem, "The data folder " + DataFolder() + " is a link or not a folder; remove it.");
}

}  // namespace
