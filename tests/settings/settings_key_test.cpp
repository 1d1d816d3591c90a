#include "settings/settings_key.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

class SettingsKeyTest : public ::testing::Test {
 protected:
  TempSettings m_settings;
};

TEST_F(SettingsKeyTest, MissingStoreOpensOnlyForCreation) {
  EXPECT_EQ(SettingsKey::OpenForReading(SettingsStore::Fetchwick), nullptr);
  EXPECT_EQ(SettingsKey::OpenExistingForWriting(SettingsStore::Fetchwick), nullptr);
  EXPECT_FALSE(std::filesystem::exists(m_settings.storePath()));

  auto created = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(created->Close());
  // An empty store exists: it opens, and its values are missing.
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(reader->ReadString("Download Directory").has_value());
  std::uint32_t value = 77;
  EXPECT_FALSE(reader->ReadDword("ThreadCount", value));
  EXPECT_EQ(value, 77u);
  EXPECT_NE(SettingsKey::OpenExistingForWriting(SettingsStore::Fetchwick), nullptr);
}

TEST_F(SettingsKeyTest, StringsRoundTripUpTo259BytesAndLongerOnesReadAsMissing) {
  const std::vector<std::string> texts = {
      "", "/home/u/Downloads/", std::string(259, 'x'), "caf\xc3\xa9 \xe2\x82\xac", "raw \xff\xfe bytes",
      "=;#[]\"' tabs\tand\nnewline", "@ByteArray(not really)"};
  {
    auto writer = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_NE(writer, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) ASSERT_TRUE(writer->WriteString("t" + std::to_string(i), texts[i]));
    ASSERT_TRUE(writer->WriteString("long", std::string(260, 'y')));
    ASSERT_TRUE(writer->Close());
  }
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  ASSERT_NE(reader, nullptr);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    auto read = reader->ReadString("t" + std::to_string(i));
    ASSERT_TRUE(read.has_value()) << i;
    EXPECT_EQ(*read, texts[i]) << i;
  }
  EXPECT_FALSE(reader->ReadString("long").has_value());
}

TEST_F(SettingsKeyTest, DwordsRoundTripAndGarbageLeavesTheDefault) {
  {
    auto writer = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_NE(writer, nullptr);
    writer->WriteDword("zero", 0);
    writer->WriteDword("max", 0xFFFFFFFFu);
    writer->WriteString("text", "12abc");
    writer->WriteString("negative", "-1");
    writer->WriteString("huge", "4294967296");
    ASSERT_TRUE(writer->Close());
  }
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  std::uint32_t value = 9;
  EXPECT_TRUE(reader->ReadDword("zero", value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(reader->ReadDword("max", value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  for (const char* bad : {"text", "negative", "huge", "absent"}) {
    value = 9;
    EXPECT_FALSE(reader->ReadDword(bad, value)) << bad;
    EXPECT_EQ(value, 9u) << bad;
  }
}

TEST_F(SettingsKeyTest, NamesWithSeparatorsAndOddCharactersRoundTripInASubkey) {
  const std::vector<std::string> names = {"http://host/a/b?x=1&y=2#frag",
                                          "C:\\dir\\file",
                                          "100% sure %2F",
                                          "a=b;c#d[e]f",
                                          " leading and trailing ",
                                          "@default",
                                          "caf\xc3\xa9",
                                          "http://h/" + std::string(300, 'p')};
  {
    auto history = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick, "History");
    ASSERT_NE(history, nullptr);
    for (const auto& name : names) ASSERT_TRUE(history->WriteString(name, ""));
    ASSERT_TRUE(history->Close());
  }
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick, "History");
  ASSERT_NE(reader, nullptr);
  std::vector<std::string> read;
  for (std::uint32_t i = 0; auto name = reader->EnumValueName(i); ++i) read.push_back(*name);
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end());
  std::sort(read.begin(), read.end());
  EXPECT_EQ(read, expected);

  // The subkey is separate from the values of the key above it.
  auto root = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_FALSE(root->EnumValueName(0).has_value());
  EXPECT_TRUE(root->SubkeyExists("History"));
}

TEST_F(SettingsKeyTest, DeletingASubkeyKeepsTheOtherValues) {
  {
    auto root = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    root->WriteDword("Crawl Depth", 3);
    root->Close();
    auto history = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick, "History");
    history->WriteString("http://a/", "");
    history->Close();
  }
  auto root = SettingsKey::OpenExistingForWriting(SettingsStore::Fetchwick);
  ASSERT_TRUE(root->DeleteSubkey("History"));
  ASSERT_TRUE(root->Close());
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_FALSE(reader->SubkeyExists("History"));
  std::uint32_t depth = 0;
  EXPECT_TRUE(reader->ReadDword("Crawl Depth", depth));
  EXPECT_EQ(depth, 3u);
}

TEST_F(SettingsKeyTest, AStoreThatCannotBeCreatedFailsToOpen) {
  // A configuration folder below a plain file cannot be created, even by root.
  const std::string blocker = m_settings.configHome() + "/not-a-folder";
  WriteFile(blocker, "x");
  ::setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);
  EXPECT_EQ(SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick), nullptr);
  EXPECT_EQ(SettingsKey::OpenForReading(SettingsStore::Fetchwick), nullptr);
}

TEST_F(SettingsKeyTest, ReadOnlyKeysRefuseWrites) {
  SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick)->Close();
  auto reader = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_FALSE(reader->WriteString("x", "y"));
  EXPECT_FALSE(reader->WriteDword("x", 1));
}

}  // namespace
