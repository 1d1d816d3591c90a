// Settings the document reads when it is made, the options the dialog hands
// it, and the file filter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/crawler/core/doc_fixture.h"

namespace {

class OptionsAndFilter : public DocTest {
 protected:
  std::set<std::string> Filter(std::string_view text) {
    Doc().SetFileFilter(text);
    return Doc().FileFilter();
  }
  static std::optional<std::uint32_t> Stored(const DwordSetting& setting) {
    auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
    std::uint32_t value = 0;
    if (!key || !key->ReadDword(setting.name, value)) return std::nullopt;
    return value;
  }
  static std::optional<std::string> StoredFilter() {
    auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
    return ReadFileFilter(key.get());
  }
};

TEST_F(OptionsAndFilter, TheDocumentStartsFromTheStoredSettingsOrTheDefaults) {
  MakeDoc();
  EXPECT_EQ(Doc().CrawlDepth(), 5);
  EXPECT_TRUE(Doc().ExcludeForeign());
  EXPECT_EQ(Doc().DownloadDirectory(), DefaultDownloadDirectory());
  EXPECT_EQ(Doc().DownloadDirectory().back(), '/');

  Store(setting::kCrawlDepth, 3);
  Store(setting::kExcludeForeign, 0);
  StoreDownloadDirectory(m_downloads.path());
  MakeDoc();
  EXPECT_EQ(Doc().CrawlDepth(), 3);
  EXPECT_FALSE(Doc().ExcludeForeign());
  EXPECT_EQ(Doc().DownloadDirectory(), m_downloads.path() + "/");
  // A damaged store cannot ask for a crawl without end.
  Store(setting::kCrawlDepth, 5000);
  MakeDoc();
  EXPECT_EQ(Doc().CrawlDepth(), 20);
}

TEST_F(OptionsAndFilter, TheFilterIsTheSetOfLetterRunsInLowerCase) {
  MakeDoc();
  EXPECT_TRUE(Doc().FileFilter().empty());
  EXPECT_EQ(Filter("ZIP, exe;*.gif"), (std::set<std::string>{"exe", "gif", "zip"}));
  EXPECT_EQ(Doc().FileFilterText(), "exe,gif,zip,");
  EXPECT_EQ(Filter("mp3"), std::set<std::string>{"mp"});
  EXPECT_EQ(Filter("zip zip ZIP"), std::set<std::string>{"zip"});
  EXPECT_EQ(Filter("properties"), std::set<std::string>{"properties"});  // long runs stay whole
  EXPECT_EQ(Filter("t\xc3\xa9st"), (std::set<std::string>{"st", "t"}));  // bytes of 128 and above end a run
  EXPECT_TRUE(Filter("123 ;.,").empty());
  EXPECT_EQ(Doc().FileFilterText(), "");
  // Every change rebuilds the view, and the text is stored as typed.
  EXPECT_EQ(m_host.Count("rebuild"), 6u);
  EXPECT_EQ(StoredFilter().value_or("missing"), "123 ;.,");

  LinkEntry html, htm, none;
  html.extension = "html";
  htm.extension = "htm";
  EXPECT_TRUE(Doc().PassesFilter(htm));  // no filter shows everything
  Filter("Html");
  EXPECT_TRUE(Doc().PassesFilter(html));
  EXPECT_FALSE(Doc().PassesFilter(htm));
  EXPECT_FALSE(Doc().PassesFilter(none));
  Filter("");
  EXPECT_TRUE(Doc().PassesFilter(none));

  // Every run starts without a filter, whatever was stored.
  Filter("zip");
  MakeDoc();
  EXPECT_TRUE(Doc().FileFilter().empty());
  EXPECT_EQ(StoredFilter().value_or("missing"), "zip");
}

TEST_F(OptionsAndFilter, OptionsAreTakenAtOnceAndStoredOnlyWhereTheSettingsExist) {
  MakeDoc();
  // First use, no settings yet: the filter creates them, the crawl settings
  // are not stored but apply all the same.
  Doc().ApplyOptions(CrawlerOptions{m_downloads.path(), "zip", 7, false});
  EXPECT_EQ(Doc().DownloadDirectory(), m_downloads.path() + "/");
  EXPECT_EQ(Doc().CrawlDepth(), 7);
  EXPECT_FALSE(Doc().ExcludeForeign());
  EXPECT_EQ(Doc().FileFilter(), std::set<std::string>{"zip"});
  EXPECT_FALSE(Stored(setting::kCrawlDepth));
  EXPECT_EQ(StoredFilter().value_or("missing"), "zip");

  // From the next OK on everything is stored. Without an engine the folder
  // lasts for the run only; an empty folder field leaves it as it is.
  Doc().ApplyOptions(CrawlerOptions{"", "", 2, true});
  EXPECT_EQ(Stored(setting::kCrawlDepth), 2u);
  EXPECT_EQ(Stored(setting::kExcludeForeign), 1u);
  EXPECT_EQ(Doc().DownloadDirectory(), m_downloads.path() + "/");
  auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_FALSE(key->ReadString(setting::kDownloadDirectory));
}

}  // namespace
