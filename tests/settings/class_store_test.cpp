// The class registry the interface library writes without Qt and the
// settings store over QSettings read each other's file alike.
#include "proxystub/class_store.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_key.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::string_literals;

struct Entry {
  std::string key;
  std::string name;
  std::string value;
};

// Paths and names as an installation may have them: spaces at either end,
// quotes, separators of the file's syntax, escapes, text beyond ASCII, bytes
// that are no UTF-8, a NUL, and the "@" the store itself gives meaning to.
const Entry kEntries[] = {
    {"CLSID\\{8B468963-5CF5-4085-8B4D-47EC2A843B95}\\LocalServer32", "", "/opt/fetch wick/bin/pullwright"},
    {"AppID\\Pullwright.EXE", "AppID", " two;sides=, and \"quotes\" "},
    {"Keys\\with spaces\\and %20 @at", "named/value\\x", "C:\\new\\x1f\\0"},
    {"General", "", "a group named like the root's section"},
    {"", "root value", "@at the start"},
    {"Text", "", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x93\xA6 \x01\x1F" "1f\x7F tab\tline\nend"},
    {"Bytes", "", "/home/\xE9t\xE9/\xFF\xFE" "0x"},
    {"Nul", "", "a\0" "1b"s},
    {"Empty", "", ""},
};

TEST(ClassStore, ReadsWhatTheSettingsStoreWroteAndBack) {
  TempSettings settings;
  for (const Entry& entry : kEntries) {
    const auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Classes, entry.key);
    ASSERT_TRUE(key && key->WriteString(entry.name, entry.value) && key->Close()) << entry.key;
  }
  const std::optional<ps::ClassStore> read = ps::ClassStore::Load();
  ASSERT_TRUE(read);
  for (const Entry& entry : kEntries) EXPECT_EQ(read->Read(entry.key, entry.name), entry.value) << entry.key;

  // The other way round, and entries the edit leaves alone stay as they were.
  ASSERT_TRUE(ps::EditClassStore([](ps::ClassStore& store) {
    for (const Entry& entry : kEntries) store.Write(entry.key + "\\again", entry.name, entry.value);
  }));
  for (const Entry& entry : kEntries) {
    for (const std::string& key : {entry.key, entry.key + "\\again"}) {
      const auto reader = SettingsKey::OpenForReading(SettingsStore::Classes, key);
      ASSERT_TRUE(reader) << key;
      EXPECT_EQ(reader->ReadString(entry.name), entry.value) << key;
    }
  }
}

TEST(ClassStore, DeletesAKeyWithEverythingBelowIt) {
  TempSettings settings;
  ASSERT_TRUE(ps::EditClassStore([](ps::ClassStore& store) {
    store.Write("CLSID\\{A}", "", "class");
    store.Write("CLSID\\{A}\\LocalServer32", "", "/bin/a");
    store.Write("CLSID\\{AB}", "", "a neighbour with the same start");
  }));
  ASSERT_TRUE(ps::EditClassStore([](ps::ClassStore& store) { store.Delete("CLSID\\{A}"); }));
  const auto reader = SettingsKey::OpenForReading(SettingsStore::Classes, "CLSID");
  ASSERT_TRUE(reader);
  EXPECT_FALSE(reader->SubkeyExists("{A}"));
  EXPECT_TRUE(reader->SubkeyExists("{AB}"));
}

TEST(ClassStore, DamagedLinesLeaveTheSoundEntriesReadable) {
  const ps::ClassStore store = ps::ClassStore::Parse(
      "[CLSID\n"
      "no equals sign\n"
      "=no key\n"
      "cut%U12=1\n"
      "open=\"quote\n"
      "escapes=\\x\\\n"
      "list=a, b\n"
      "variant=@Variant(\\0\\0)\n"
      "[Server]\r\n"
      "  %40default = \"/opt/pw\" \r\n"
      "[\n"
      "%4=%\n"
      "root=\\\n");
  EXPECT_EQ(store.Read("Server"), "/opt/pw");
  EXPECT_FALSE(store.Read("CLSID", "list"));
  EXPECT_FALSE(store.Read("CLSID", "variant"));
  EXPECT_EQ(store.Read("CLSID", "open"), "quote");
  EXPECT_EQ(store.Read("CLSID", "escapes"), "");
  EXPECT_EQ(store.Read("", "root"), "");
}

TEST(ClassStore, ATextOf260BytesReadsAsMissing) {
  ps::ClassStore store;
  store.Write("Long", "", std::string(259, 'x'));
  store.Write("Longer", "", std::string(260, 'x'));
  EXPECT_TRUE(store.Read("Long"));
  EXPECT_FALSE(store.Read("Longer"));
}

}  // namespace
