// The document with the real pullwright program: creation and advising,
// downloads handed to the engine, the callback object's reactions, the
// disconnection when the document goes, and connecting again once the
// engine has gone away.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "contract/status.h"
#include "crawler/core/callback_itf.h"
#include "proxystub/activation.h"
#include "tests/crawler/core/doc_fixture.h"
#include "tests/support/body_pattern.h"
#include "tests/support/engine_home.h"

namespace {

using namespace std::chrono_literals;

class EngineLink : public DocTest {
 protected:
  void SetUp() override { StoreDownloadDirectory(m_downloads.path()); }
  void TearDown() override {
    DestroyDoc();
    m_engine.StopServers();
  }

  void Register(std::uint32_t threads) { ASSERT_TRUE(m_engine.Register(threads)); }

  void Queue(const std::string& path, const std::string& name) {
    LinkEntry entry;
    entry.url = m_server.Url(path);
    entry.name = name;
    Doc().QueueDownload(entry);
  }

  std::vector<std::string> Pending() {
    std::shared_ptr<IEnumFiles> files;
    EXPECT_EQ(Doc().Engine()->EnumPending(&files), S_OK);
    std::vector<std::string> listed;
    _LinkStructType record{};
    std::uint32_t fetched = 0;
    while (files && files->Next(1, &record, &fetched) == S_OK && fetched == 1)
      listed.push_back(std::string(RecordText(record.szFileName)) + " " + std::string(RecordText(record.szHref)));
    return listed;
  }

  EngineHome m_engine{PULLWRIGHT_PROGRAM};
};

// A host whose idle refresh, once armed, holds the event that woke it until
// it is let go: the callback object leaves the engine's call unanswered.
class StallingHost final : public RecordingHost {
 public:
  void Arm() { m_armed = true; }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
  }
  void WakeIdleRefresh() override {
    if (m_armed.exchange(false)) {
      std::unique_lock lock(m_mutex);
      m_changed.wait(lock, [&] { return m_released; });
    }
    RecordingHost::WakeIdleRefresh();
  }

 private:
  std::atomic<bool> m_armed{false};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_released = false;
};

TEST_F(EngineLink, DownloadFileGoesToTheEngineInRowOrderAndStartsNoThreadOfOurs) {
  Register(0);  // records stay queued
  MakeDoc(LocalDocOptions(EngineUse::Create));
  ASSERT_NE(Doc().Engine(), nullptr);
  ASSERT_NE(Doc().Sink(), nullptr);
  EXPECT_FALSE(Doc().IsDownloading());
  Queue("/one.zip", "one.zip");
  Queue("/two.zip", "two.zip");
  Queue("/three.zip", "three.zip");
  EXPECT_EQ(Pending(), (std::vector<std::string>{"one.zip " + m_server.Url("/one.zip"),
                                                 "two.zip " + m_server.Url("/two.zip"),
                                                 "three.zip " + m_server.Url("/three.zip")}));
  // Each record's STATUS_QUEUED came back through the callback object, whose
  // empty text empties the status pane.
  ASSERT_TRUE(m_host.WaitFor("download ", 3));
  EXPECT_EQ(Doc().DownloadStatus(), "");
  EXPECT_FALSE(Doc().DownloadThreadRunning());
  EXPECT_TRUE(m_server.Requests().empty());

  // The options' folder goes to the engine with its final "/", and the
  // engine makes it.
  const std::string folder = m_downloads.path() + "/chosen";
  Doc().ApplyOptions(CrawlerOptions{folder, "", 5, true});
  char stored[kMaxTextBytes] = {};
  EXPECT_EQ(Doc().Engine()->GetDLDir(sizeof stored, stored), S_OK);
  EXPECT_EQ(std::string(stored), folder + "/");
  struct stat info {};
  EXPECT_EQ(::stat(folder.c_str(), &info), 0);
}

TEST_F(EngineLink, TheCallbackObjectReactsToEachCode) {
  Register(0);
  MakeDoc(LocalDocOptions(EngineUse::Create));
  ASSERT_NE(Doc().Sink(), nullptr);
  ICallbackItf& sink = *Doc().Sink();
  const _LinkStructType record{};
  m_host.Clear();

  EXPECT_EQ(sink.DownloadStatus(STATUS_ERROR, "Error Opening URL: 12029", record), S_OK);
  EXPECT_EQ(sink.DownloadStatus(STATUS_ERROR, nullptr, record), S_OK);  // nothing at all
  EXPECT_EQ(m_host.Lines(),
            (std::vector<std::string>{"error Error Opening URL: 12029", "download Error Opening URL: 12029"}));
  EXPECT_EQ(Doc().DownloadStatus(), "Error Opening URL: 12029");

  m_host.Clear();
  for (std::uint32_t code : {4u, 5u, 6u, 7u, 9u}) sink.DownloadStatus(code, ("code " + std::to_string(code)).c_str(), record);
  sink.DownloadStatus(STATUS_PROGRESS, nullptr, record);  // no text: the pane keeps its text
  sink.DownloadStatus(STATUS_QUEUED, "", record);
  EXPECT_EQ(m_host.Lines(), (std::vector<std::string>{"download code 4", "download code 5", "download code 6",
                                                      "download code 7", "download code 9", "download "}));

  // Without a view no box; without a main window no wake-up; the text is kept all the same.
  m_host.Clear();
  m_host.hasView = false;
  sink.DownloadStatus(STATUS_ERROR, "lost", record);
  m_host.hasMainWindow = false;
  sink.DownloadStatus(STATUS_STARTING, "quiet", record);
  EXPECT_EQ(m_host.Lines(), std::vector<std::string>{"download lost"});
  EXPECT_EQ(Doc().DownloadStatus(), "quiet");
}

TEST_F(EngineLink, DownloadingFollowsTheEngineFromTryingToDone) {
  m_server.Handle("/held.bin", Script{.size = 50000, .holdAfter = 10000});
  Register(1);
  MakeDoc(LocalDocOptions(EngineUse::Create));
  EXPECT_FALSE(Doc().IsDownloading());
  Queue("/held.bin", "held.bin");
  // STATUS_TRYING asks the engine again, which is transferring by then.
  ASSERT_TRUE(m_host.WaitFor("download Trying to download held.bin"));
  EXPECT_TRUE(Doc().IsDownloading());
  ASSERT_TRUE(m_host.WaitForPrefix("download Downloading held.bin, 10000 of"));
  m_server.ReleaseHolds();
  ASSERT_TRUE(m_host.WaitFor("download Finished downloading held.bin"));
  // STATUS_DONE asks once more: the engine has finished.
  EXPECT_FALSE(Doc().IsDownloading());
  EXPECT_EQ(ReadFile(m_downloads.file("held.bin")), BodyBytes(0, 50000));
  EXPECT_FALSE(Doc().DownloadThreadRunning());
}

TEST_F(EngineLink, NoEventReachesTheDocumentOnceItIsGone) {
  m_server.Handle("/held.bin", Script{.size = 200000, .holdAfter = 10000});
  Register(1);
  MakeDoc(LocalDocOptions(EngineUse::Create));
  Queue("/held.bin", "held.bin");
  ASSERT_TRUE(m_host.WaitForPrefix("download Downloading held.bin, 10000 of"));
  DestroyDoc();
  const std::size_t lines = m_host.Lines().size();
  // The transfer goes on in the engine and reports to nobody here.
  m_server.ReleaseHolds();
  const std::string target = m_downloads.file("held.bin");
  struct stat info {};
  for (int i = 0; i < 500 && !(::stat(target.c_str(), &info) == 0 && info.st_size == 200000); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(info.st_size, 200000);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(m_host.Lines().size(), lines);
}

TEST_F(EngineLink, AfterTheEngineIsKilledTheNextDownloadStartsANewOne) {
  m_server.Handle("/held.bin", Script{.size = 200000, .holdAfter = 10000});
  m_server.Handle("/after.bin", Script{.size = 3000});
  Register(1);
  MakeDoc(LocalDocOptions(EngineUse::Create));
  Queue("/held.bin", "held.bin");
  ASSERT_TRUE(m_host.WaitForPrefix("download Downloading held.bin, 10000 of"));
  ASSERT_TRUE(Doc().IsDownloading());
  const pid_t killed = m_engine.ServerPid();
  ASSERT_GT(killed, 0);
  ASSERT_EQ(::kill(killed, SIGKILL), 0);
  // Told without a command; Stop Downloads has nothing to stop any more.
  ASSERT_TRUE(m_host.WaitFor("download Download engine stopped"));
  EXPECT_FALSE(Doc().IsDownloading());
  EXPECT_TRUE(Doc().EngineLost());

  Queue("/after.bin", "after.bin");
  ASSERT_TRUE(m_host.WaitFor("download Finished downloading after.bin"));
  EXPECT_EQ(ReadFile(m_downloads.file("after.bin")), BodyBytes(0, 3000));
  EXPECT_FALSE(Doc().EngineLost());
  EXPECT_NE(m_engine.ServerPid(), killed);
  EXPECT_FALSE(Doc().DownloadThreadRunning());
}

TEST_F(EngineLink, ADocumentWhoseCallbackObjectWasDroppedNoticesAndAdvisesAgain) {
  ScopedEnv sinkTimeout("PULLWRIGHT_SINK_TIMEOUT_MS", "300");
  m_server.Handle("/first.bin", Script{.size = 3000});
  m_server.Handle("/second.bin", Script{.size = 4000});
  Register(1);
  StallingHost host;
  CFetchwickDoc doc(host, LocalDocOptions(EngineUse::Create));
  host.Watch(&doc);
  const pid_t engine = m_engine.ServerPid();
  const auto queue = [&](const std::string& name) {
    LinkEntry entry;
    entry.url = m_server.Url("/" + name);
    entry.name = name;
    doc.QueueDownload(entry);
  };
  // The engine's report of the first file waits in our callback object
  // until the engine gives up on it.
  host.Arm();
  queue("first.bin");
  host.Release();
  ASSERT_TRUE(host.WaitFor("download Download engine stopped"));
  queue("second.bin");
  ASSERT_TRUE(host.WaitFor("download Finished downloading second.bin"));
  EXPECT_EQ(ReadFile(m_downloads.file("second.bin")), BodyBytes(0, 4000));
  EXPECT_EQ(m_engine.ServerPid(), engine);  // the same engine, advised again
  host.Watch(nullptr);
}

TEST_F(EngineLink, WithoutARegisteredEngineTheCrawlerDownloadsItself) {
  m_server.Handle("/own.bin", Script{.size = 3000});
  MakeDoc(LocalDocOptions(EngineUse::Create));
  EXPECT_EQ(Doc().Engine(), nullptr);
  EXPECT_EQ(Doc().Sink(), nullptr);
  Queue("/own.bin", "own.bin");
  ASSERT_TRUE(Doc().WaitForDownloads(10s));
  EXPECT_EQ(ReadFile(m_downloads.file("own.bin")), BodyBytes(0, 3000));
  EXPECT_EQ(Doc().DownloadStatus(), "Download complete.");
}

}  // namespace
