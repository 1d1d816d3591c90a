// The queue, connection point and settings of the engine, with no worker
// taking records (thread count 0) unless a test says otherwise.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "contract/status.h"
#include "pullwright/download_engine.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/pullwright/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

class EngineQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    WriteSetting(*key, setting::kThreadCount, 0);
    WriteDownloadDirectory(*key, m_downloads.path() + "/");
    m_engine = CDownloadEngine::Create();
    m_sink = Advise();
  }

  std::shared_ptr<RecordingSink> Advise(std::uint32_t* cookie = nullptr) {
    auto sink = std::make_shared<RecordingSink>();
    std::shared_ptr<IConnectionPoint> point;
    EXPECT_EQ(m_engine->FindConnectionPoint(IID_ICallbackItf, &point), S_OK);
    std::uint32_t ignored = 0;
    EXPECT_EQ(point->Advise(sink, cookie ? cookie : &ignored), S_OK);
    return sink;
  }

  std::vector<std::string> Listed(std::uint32_t ask = 100) {
    std::shared_ptr<IEnumFiles> files;
    EXPECT_EQ(m_engine->EnumFiles(&files), S_OK);
    std::vector<_LinkStructType> records(ask);
    std::uint32_t fetched = 0;
    files->Next(ask, records.data(), &fetched);
    std::vector<std::string> hrefs;
    for (std::uint32_t i = 0; i < fetched; ++i) hrefs.emplace_back(RecordText(records[i].szHref));
    return hrefs;
  }

  TempSettings m_settings;
  TempDir m_downloads;
  std::shared_ptr<CDownloadEngine> m_engine;
  std::shared_ptr<RecordingSink> m_sink;
};

TEST_F(EngineQueueTest, QueuedRecordsAreReportedWithEmptyTextAndListedInOrder) {
  EXPECT_EQ(m_engine->DownloadFile("a.zip", "http://h/a.zip"), S_OK);
  EXPECT_EQ(m_engine->DownloadFile("b.zip", "http://h/b.zip"), S_OK);
  EXPECT_EQ(m_engine->DownloadFile("a.zip", "http://h/a.zip"), S_OK);  // a second record, not refused
  const auto events = m_sink->Events();
  ASSERT_EQ(events.size(), 3u);
  for (const auto& event : events) {
    EXPECT_EQ(event.status, STATUS_QUEUED);
    EXPECT_EQ(event.text, "");
  }
  EXPECT_EQ(events[1].name(), "b.zip");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"http://h/a.zip", "http://h/b.zip", "http://h/a.zip"}));

  std::int32_t downloading = -1;
  EXPECT_EQ(m_engine->IsDownloading(&downloading), S_OK);
  EXPECT_EQ(downloading, 0);  // waiting records alone are not downloading
}

TEST_F(EngineQueueTest, NextDeliversWhatIsLeftAndSaysSo) {
  for (const char* href : {"http://h/1", "http://h/2", "http://h/3"}) m_engine->DownloadFile("f", href);
  std::shared_ptr<IEnumFiles> files;
  ASSERT_EQ(m_engine->EnumFiles(&files), S_OK);
  _LinkStructType records[5]{};
  std::uint32_t fetched = 99;
  EXPECT_EQ(files->Next(5, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(RecordText(records[2].szHref), "http://h/3");
  EXPECT_EQ(files->Next(0, records, &fetched), S_OK);
  EXPECT_EQ(files->Next(1, records, nullptr), S_FALSE);

  // Reset sees the engine as it is now.
  m_engine->DownloadFile("f", "http://h/4");
  EXPECT_EQ(files->Reset(), S_OK);
  EXPECT_EQ(files->Next(4, records, &fetched), S_OK);
  EXPECT_EQ(fetched, 4u);
  EXPECT_EQ(files->Skip(1), E_NOTIMPL);
  std::shared_ptr<IEnumFiles> clone;
  EXPECT_EQ(files->Clone(&clone), E_NOTIMPL);

  std::shared_ptr<IEnumFiles> pending, active;
  ASSERT_EQ(m_engine->EnumPending(&pending), S_OK);
  ASSERT_EQ(m_engine->EnumDownloading(&active), S_OK);
  EXPECT_EQ(pending->Next(5, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 4u);
  EXPECT_EQ(active->Next(5, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
}

TEST_F(EngineQueueTest, CancelRemovesOnlyTheFirstPendingMatch) {
  m_engine->DownloadFile("a", "http://h/a");
  m_engine->DownloadFile("b", "http://h/b");
  m_engine->DownloadFile("a2", "http://h/a");
  EXPECT_EQ(m_engine->CancelDownloadFile("http://h/a"), S_OK);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"http://h/b", "http://h/a"}));
  auto events = m_sink->Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events.back().status, STATUS_DONE);
  EXPECT_EQ(events.back().text, "Canceled a");

  // Case matters, and nothing matching means nothing reported.
  EXPECT_EQ(m_engine->CancelDownloadFile("http://h/B"), S_OK);
  EXPECT_EQ(m_engine->CancelDownloadFile("http://h/none"), S_OK);
  EXPECT_EQ(m_sink->Events().size(), 4u);
}

TEST_F(EngineQueueTest, StopDropsPendingRecordsWithoutReports) {
  for (const char* href : {"http://h/1", "http://h/2", "http://h/3"}) m_engine->DownloadFile("f", href);
  EXPECT_EQ(m_engine->StopAllDownloads(), S_OK);
  EXPECT_TRUE(Listed().empty());
  EXPECT_EQ(m_sink->Events().size(), 3u);
}

TEST_F(EngineQueueTest, TextsTheRecordCannotHoldAreRefused) {
  const std::string longest(259, 'x');
  EXPECT_EQ(m_engine->DownloadFile(longest.c_str(), "http://h/a"), S_OK);
  EXPECT_EQ(m_engine->DownloadFile((longest + "x").c_str(), "http://h/a"), E_INVALIDARG);
  EXPECT_EQ(m_engine->DownloadFile("a", ("http://h/" + longest).c_str()), E_INVALIDARG);
  EXPECT_EQ(m_engine->DownloadFile(nullptr, "http://h/a"), E_POINTER);
  EXPECT_EQ(m_sink->Events().size(), 1u);
}

TEST_F(EngineQueueTest, NamesNeverLeaveTheDownloadFolderAndArePrintable) {
  struct Case {
    const char* name;
    const char* href;
    const char* stored;
  };
  const Case cases[] = {
      {"../../etc/passwd", "http://h/x", "passwd"},
      {"..\\..\\evil.exe", "http://h/x", "evil.exe"},
      {"dir/", "http://h/files/pack.zip?x=1", "pack.zip"},
      {"..", "http://h/a/b/", "h"},
      {"", "http://h/", "h"},
      {".", "http://h", "h"},
      {"", "http://h/My%20File.PDF?v=2", "My File.pdf"},
      {"-rf.bin", "http://h/x", "_rf.bin"},
      {"invoice\xE2\x80\xAE" "fdp.exe", "http://h/x", "invoice_fdp.exe"},
      {"100%25.txt", "http://h/x", "100%25.txt"},  // a name is not an address: nothing is decoded
      {"plain.txt", "http://h/other", "plain.txt"},
      {"a\x1b[2J\r\nb\x7f.txt", "http://h/x", "a_[2J__b_.txt"},
      {"", "http://h/x\ty", "x_y"},
  };
  for (const Case& c : cases) m_engine->DownloadFile(c.name, c.href);
  const auto events = m_sink->Events();
  ASSERT_EQ(events.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(events[i].name(), cases[i].stored) << cases[i].name;
}

TEST_F(EngineQueueTest, ConnectionSlotsFillTheLowestFreeAndErrorsReachOnlyTheFirst) {
  std::shared_ptr<IConnectionPoint> point;
  ASSERT_EQ(m_engine->FindConnectionPoint(IID_ICallbackItf, &point), S_OK);
  std::shared_ptr<IConnectionPoint> none;
  EXPECT_EQ(m_engine->FindConnectionPoint(IID_IEnumFiles, &none), CONNECT_E_NOCONNECTION);

  std::uint32_t second = 0, third = 0;
  auto secondSink = Advise(&second);
  auto thirdSink = Advise(&third);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(third, 3u);
  std::uint32_t cookie = 0;
  EXPECT_EQ(point->Advise(nullptr, &cookie), CONNECT_E_CANNOTCONNECT);

  _LinkStructType record{};
  m_engine->FireDownloadStatus(STATUS_ERROR, "boom", record);
  m_engine->FireDownloadStatus(STATUS_PROGRESS, "p", record);
  EXPECT_EQ(m_sink->Codes(), (std::vector<std::uint32_t>{STATUS_ERROR, STATUS_PROGRESS}));
  EXPECT_EQ(secondSink->Codes(), std::vector<std::uint32_t>{STATUS_PROGRESS});

  // With the first slot empty an error reaches nobody, until a new sink takes it.
  EXPECT_EQ(point->Unadvise(1), S_OK);
  EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(99), CONNECT_E_NOCONNECTION);
  m_engine->FireDownloadStatus(STATUS_ERROR, "lost", record);
  EXPECT_EQ(secondSink->Codes().size(), 1u);
  std::uint32_t reused = 0;
  auto newcomer = Advise(&reused);
  EXPECT_EQ(reused, 1u);
  m_engine->FireDownloadStatus(STATUS_ERROR, "found", record);
  EXPECT_EQ(newcomer->Codes(), std::vector<std::uint32_t>{STATUS_ERROR});
}

TEST_F(EngineQueueTest, DownloadFolderAndNumbersGoToTheStore) {
  const std::string folder = m_downloads.path() + "/deeper/";
  EXPECT_EQ(m_engine->SetDLDir(folder.c_str()), S_OK);
  char buffer[260];
  EXPECT_EQ(m_engine->GetDLDir(sizeof buffer, buffer), S_OK);
  EXPECT_EQ(std::string(buffer), folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(m_engine->GetDLDir(3, buffer), E_FAIL);
  EXPECT_EQ(m_engine->GetDLDir(260, nullptr), E_FAIL);
  EXPECT_EQ(m_engine->SetDLDir(""), E_INVALIDARG);
  EXPECT_EQ(m_engine->SetDLDir("reldir/"), E_INVALIDARG);

  EXPECT_EQ(m_engine->SetThreadCount(7), S_OK);
  EXPECT_EQ(m_engine->SetMaxRetries(2), S_OK);
  auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_EQ(ReadDownloadDirectory(key.get()), folder);
  EXPECT_EQ(ReadSetting(key.get(), setting::kThreadCount), 7u);
  EXPECT_EQ(ReadSetting(key.get(), setting::kMaxRetries), 2u);
  EXPECT_EQ(m_engine->ThreadCount(), 0u);  // the running pool keeps its size
}

TEST_F(EngineQueueTest, AStoreThatCannotBeWrittenChangesNothingAndSaysSo) {
  char before[260];
  m_engine->GetDLDir(sizeof before, before);
  const std::string blocker = m_settings.configHome() + "/file";
  WriteFile(blocker, "x");
  ::setenv("XDG_CONFIG_HOME", (blocker + "/sub").c_str(), 1);
  EXPECT_EQ(m_engine->SetDLDir("/tmp/elsewhere/"), E_FAIL);
  EXPECT_EQ(m_engine->SetThreadCount(3), E_FAIL);
  EXPECT_EQ(m_engine->SetMaxRetries(3), E_FAIL);
  char after[260];
  m_engine->GetDLDir(sizeof after, after);
  EXPECT_STREQ(before, after);
}

TEST(EngineSettings, AFreshUserGetsFiveWorkersAndTheUsersDownloadFolder) {
  TempSettings settings;
  TempDir home;
  const ScopedEnv homeVariable("HOME", home.path());
  auto engine = CDownloadEngine::Create();
  EXPECT_EQ(engine->ThreadCount(), 5u);
  char folder[260];
  ASSERT_EQ(engine->GetDLDir(sizeof folder, folder), S_OK);
  EXPECT_EQ(std::string(folder), DefaultDownloadDirectory());
  EXPECT_EQ(std::string(folder).rfind(home.path(), 0), 0u);
}

}  // namespace

namespace {

TEST(QueuedRecord, CountersSaturateWhileTrueSizesDecide) {
  QueuedRecord record;
  record.SetFileSize(5'000'000'000ull);
  record.SetCurrentSize(4'294'967'296ull);
  EXPECT_EQ(record.ls.dwFileSize, 0xFFFFFFFFu);
  EXPECT_EQ(record.ls.dwCurrentSize, 0xFFFFFFFFu);
  EXPECT_TRUE(record.EndedShort());  // 32-bit counters alone would say it is complete
  record.SetCurrentSize(5'000'000'000ull);
  EXPECT_FALSE(record.EndedShort());
  record.SetFileSize(0);
  record.SetCurrentSize(10);
  EXPECT_FALSE(record.EndedShort());  // an unknown size never brings a record back
}

}  // namespace
