// The crawler's own downloader (no engine): texts, files on disk, unique
// names, failures, Stop Downloads and Cancel Current Download.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "http/errors.h"
#include "tests/crawler/core/doc_fixture.h"
#include "tests/support/body_pattern.h"

namespace {

using namespace std::chrono_literals;

class OwnDownload : public DocTest {
 protected:
  void SetUp() override {
    StoreDownloadDirectory(m_downloads.path());
    MakeDoc();
  }

  void Queue(const std::string& path, const std::string& name) {
    LinkEntry entry;
    entry.url = m_server.Url(path);
    entry.name = name;
    Doc().QueueDownload(entry);
  }

  std::string Saved(const std::string& name) const { return ReadFile(m_downloads.file(name)); }
  bool Exists(const std::string& name) const {
    struct stat info {};
    return ::stat(m_downloads.file(name).c_str(), &info) == 0;
  }
};

TEST_F(OwnDownload, ReportsEveryStepAndWritesTheBytes) {
  m_server.Handle("/a.bin", Script{.size = 10000});
  m_server.Handle("/b.bin", Script{.size = 5000, .framing = Framing::Chunked});
  EXPECT_EQ(Doc().DownloadDirectory(), m_downloads.path() + "/");
  Queue("/a.bin", "a.bin");
  Queue("/b.bin", "b.bin");
  ASSERT_TRUE(Doc().WaitForDownloads(10s));

  const std::vector<std::string> texts = m_host.LinesOf("download");
  ASSERT_GE(texts.size(), 9u);
  std::vector<std::string> steps;  // the texts with progress runs folded into one
  long long last = 0;
  for (const std::string& text : texts) {
    const auto of = text.find(" of ");
    if (of == std::string::npos) {
      steps.push_back(text);
      last = 0;
      continue;
    }
    // Progress: the count grows by at most one chunk at a time.
    const long long count = std::atoll(text.substr(text.rfind(", ") + 2).c_str());
    EXPECT_GT(count, last) << text;
    EXPECT_LE(count - last, 4095) << text;
    last = count;
    const std::string folded = text.substr(0, text.rfind(", ") + 2) + "N" + text.substr(of);
    if (steps.empty() || steps.back() != folded) steps.push_back(folded);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "Trying to download a.bin", "Downloading a.bin, 10000 bytes",
                       "Downloading a.bin, N of 10000 bytes", "Finished downloading a.bin",
                       "Trying to download b.bin", "Downloading b.bin, unknown size 12150",
                       "Downloading b.bin, N of -1 bytes", "Finished downloading b.bin", "Download complete."}));
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Downloading a.bin, 10000 of 10000 bytes"), texts.end());
  EXPECT_EQ(Saved("a.bin"), BodyBytes(0, 10000));
  EXPECT_EQ(Saved("b.bin"), BodyBytes(0, 5000));
  EXPECT_EQ(Doc().DownloadStatus(), "Download complete.");
  EXPECT_FALSE(Doc().IsDownloading());
  EXPECT_FALSE(Doc().DownloadThreadRunning());
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  const auto request = m_server.Requests().at(0);
  EXPECT_EQ(request.Header("Accept").value_or(""), "*/*");
  EXPECT_EQ(request.Header("User-Agent").value_or(""), "Mozilla");
}

TEST_F(OwnDownload, NeverWritesOverAFileThatIsThere) {
  m_server.Handle("/a.zip", Script{.size = 300});
  m_server.Handle("/r.pdf", Script{.size = 200});
  WriteFile(m_downloads.file("a.zip"), "first");
  WriteFile(m_downloads.file("a_1.zip"), "second");
  WriteFile(m_downloads.file("report_9.pdf"), "ninth");
  ::mkdir(m_downloads.file("data").c_str(), 0700);  // a folder takes a name as well
  Queue("/a.zip", "a.zip");
  Queue("/a.zip", "a.zip");
  Queue("/r.pdf", "report_9.pdf");
  Queue("/r.pdf", "data");
  ASSERT_TRUE(Doc().WaitForDownloads(10s));
  EXPECT_EQ(Saved("a.zip"), "first");
  EXPECT_EQ(Saved("a_1.zip"), "second");
  EXPECT_EQ(Saved("a_2.zip"), BodyBytes(0, 300));
  EXPECT_EQ(Saved("a_3.zip"), BodyBytes(0, 300));
  EXPECT_EQ(Saved("report_9.pdf"), "ninth");
  EXPECT_EQ(Saved("report_10.pdf"), BodyBytes(0, 200));
  EXPECT_EQ(Saved("data_1"), BodyBytes(0, 200));
}

TEST_F(OwnDownload, AFailedEntryShowsWhyAndTheQueueGoesOn) {
  m_server.Handle("/gone.bin", Script{.status = 404, .text = "not here"});
  m_server.Handle("/cut.bin", Script{.size = 8000, .cutAfter = 3000});
  m_server.Handle("/ok.bin", Script{.size = 6000});
  const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.bin";
  Queue("/gone.bin", "gone.bin");
  Doc().QueueDownload([&] {
    LinkEntry entry;
    entry.url = refused;
    entry.name = "refused.bin";
    return entry;
  }());
  Queue("/ok.bin", "missing/ok.bin");  // a folder that is not there
  Queue("/cut.bin", "cut.bin");
  Queue("/ok.bin", "ok.bin");
  ASSERT_TRUE(Doc().WaitForDownloads(10s));

  EXPECT_EQ(m_host.LinesOf("box"),
            (std::vector<std::string>{"Download error: 404 Not Found\nURL: " + m_server.Url("/gone.bin"),
                                      http::ErrorMessage(http::ERROR_INTERNET_CANNOT_CONNECT) + "\nURL: " + refused,
                                      "Error writing file: " + m_downloads.file("missing/ok.bin") +
                                          "\nNo such file or directory"}));
  // A connection cut short ends the file with what came, without a box;
  // its ending, like every failed one, says how far it got.
  EXPECT_EQ(Saved("cut.bin"), BodyBytes(0, 3000));
  EXPECT_EQ(Saved("ok.bin"), BodyBytes(0, 6000));
  EXPECT_FALSE(Exists("gone.bin"));
  const auto texts = m_host.LinesOf("download");
  for (const char* ending : {"Failed downloading cut.bin (3000 of 8000 bytes)", "Failed downloading gone.bin (0 bytes)",
                             "Failed downloading refused.bin (0 bytes)", "Finished downloading ok.bin"})
    EXPECT_EQ(std::count(texts.begin(), texts.end(), ending), 1) << ending;
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.starts_with("Finished"); }), 1);
  EXPECT_EQ(texts.back(), "Download complete.");
}

TEST_F(OwnDownload, StopDownloadsKeepsWhatArrivedAndEmptiesTheQueue) {
  m_server.Handle("/held.bin", Script{.size = 100000, .holdAfter = 20000});
  m_server.Handle("/next.bin", Script{.size = 100});
  Queue("/held.bin", "held.bin");
  Queue("/next.bin", "next.bin");
  Queue("/next.bin", "again.bin");
  ASSERT_TRUE(m_host.WaitFor("download Downloading held.bin, 20000 of 100000 bytes"));
  EXPECT_TRUE(Doc().IsDownloading());
  Doc().StopDownloads();
  ASSERT_TRUE(Doc().WaitForDownloads(5s));
  m_server.ReleaseHolds();

  EXPECT_EQ(Saved("held.bin"), BodyBytes(0, 20000));
  EXPECT_FALSE(Exists("next.bin"));
  EXPECT_EQ(Targets(), std::vector<std::string>{"/held.bin"});
  const auto texts = m_host.LinesOf("download");
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "Stopped downloading held.bin (20000 of 100000 bytes)");
  EXPECT_EQ(texts.back(), "Download complete.");
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  EXPECT_FALSE(Doc().IsDownloading());
}

TEST_F(OwnDownload, CancelCutsTheCurrentFileAndTheRestFollow) {
  m_server.Handle("/first.bin", Script{.size = 100000, .holdAfter = 20000});
  m_server.Handle("/second.bin", Script{.size = 50000});
  m_server.Handle("/third.bin", Script{.size = 70000, .framing = Framing::Chunked});
  Queue("/first.bin", "first.bin");
  Queue("/second.bin", "second.bin");
  Queue("/third.bin", "third.bin");
  ASSERT_TRUE(m_host.WaitFor("download Downloading first.bin, 20000 of 100000 bytes"));
  Doc().CancelCurrentDownload();
  ASSERT_TRUE(Doc().WaitForDownloads(10s));
  m_server.ReleaseHolds();

  EXPECT_EQ(Saved("first.bin"), BodyBytes(0, 20000));
  EXPECT_EQ(Saved("second.bin"), BodyBytes(0, 50000));
  EXPECT_EQ(Saved("third.bin"), BodyBytes(0, 70000));
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  const auto texts = m_host.LinesOf("download");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Canceled downloading first.bin (20000 of 100000 bytes)"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Finished downloading third.bin"), 1);
}

TEST_F(OwnDownload, AFileQueuedAsTheWorkerEndsIsNeverLeftBehind) {
  m_server.Handle("/small.bin", Script{.size = 64});
  // Entries arrive while the worker is busy, as it finds its queue empty,
  // and after it has ended: each must be downloaded.
  std::mt19937 random(7);
  const int count = 40;
  for (int i = 0; i < count; ++i) {
    Queue("/small.bin", "f" + std::to_string(i) + ".bin");
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
  }
  ASSERT_TRUE(Doc().WaitForDownloads(10s));
  for (int i = 0; i < count; ++i) EXPECT_EQ(Saved("f" + std::to_string(i) + ".bin"), BodyBytes(0, 64)) << i;
  EXPECT_EQ(m_host.LinesOf("download").back(), "Download complete.");
}

TEST_F(OwnDownload, ClosingTheDocumentEndsATransferAtOnce) {
  m_server.Handle("/held.bin", Script{.size = 100000, .holdAfter = 10000});
  Queue("/held.bin", "held.bin");
  Queue("/held.bin", "later.bin");
  ASSERT_TRUE(m_host.WaitFor("download Downloading held.bin, 10000 of 100000 bytes"));
  const auto closing = Clock::now();
  DestroyDoc();
  EXPECT_LT(Clock::now() - closing, 2s);
  m_server.ReleaseHolds();
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  EXPECT_FALSE(Exists("later.bin"));
}

}  // namespace
