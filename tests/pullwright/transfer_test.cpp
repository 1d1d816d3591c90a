// Transfers against a local server: what lands on disk, what each sink is
// told, and what the server was asked.
#include <gtest/gtest.h>

#include <filesystem>

#include "contract/status.h"
#include "tests/pullwright/engine_fixture.h"

namespace {

const std::string kCut = "Error Opening URL: 12030 (the connection with the server was terminated abnormally)";

using Transfer = EngineFixture;
namespace fs = std::filesystem;

std::size_t CountCode(const std::vector<RecordingSink::Event>& events, std::uint32_t code) {
  return RecordingSink::Count(events, code);
}

std::vector<std::string> Errors(const std::vector<RecordingSink::Event>& events) {
  return TextsOf(events, STATUS_ERROR);
}

TEST_F(Transfer, NewFileReportsEveryStepAndLandsWhole) {
  StartEngine(1);
  m_server.Handle("/pack.zip", {.size = 10000});
  Download("pack.zip", "/pack.zip");
  ASSERT_TRUE(WaitUntilIdle());

  const auto events = EventsOf("/pack.zip");
  const auto codes = Codes(events);
  ASSERT_GE(codes.size(), 6u);
  EXPECT_EQ(codes[0], STATUS_QUEUED);
  EXPECT_EQ(codes[1], STATUS_TRYING);
  EXPECT_EQ(codes[2], STATUS_STARTING);
  EXPECT_EQ(codes.back(), STATUS_DONE);
  for (std::size_t i = 3; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], STATUS_PROGRESS) << i;
  EXPECT_EQ(events[1].text, "Trying to download pack.zip");
  EXPECT_EQ(events[2].text, "Downloading pack.zip, 10000 bytes");
  EXPECT_EQ(events[events.size() - 2].text, "Downloading pack.zip, 10000 of 10000 bytes");
  EXPECT_EQ(events.back().text, "Finished downloading pack.zip");
  EXPECT_EQ(events.back().record.dwCurrentSize, 10000u);
  EXPECT_EQ(events.back().record.dwFileSize, 10000u);

  EXPECT_TRUE(SameBytes(ReadFile(Target("pack.zip")), BodyBytes(0, 10000)));
  const auto requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].Header("Range").has_value());
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla");
}

std::vector<std::string> Ranges(const TestServer& server) {
  std::vector<std::string> ranges;
  for (const auto& request : server.Requests())
    if (auto range = request.Header("Range")) ranges.push_back(*range);
  return ranges;
}

TEST_F(Transfer, ACutConnectionResumesWithARangeUntilTheFileIsWhole) {
  StartEngine(1);
  m_server.Handle("/big.bin", {.size = 20000, .cutAfter = 10000});
  Download("big.bin", "/big.bin");
  ASSERT_TRUE(WaitUntilIdle());

  EXPECT_TRUE(SameBytes(ReadFile(Target("big.bin")), BodyBytes(0, 20000)));
  // Each range starts 4095 bytes before the end of the file, so that the
  // seam can be checked.
  EXPECT_EQ(Ranges(m_server), (std::vector<std::string>{"bytes=5905-", "bytes=11810-"}));
  const auto events = EventsOf("/big.bin");
  EXPECT_EQ(CountCode(events, STATUS_TRYING), 3u);
  EXPECT_EQ(CountCode(events, STATUS_ERROR), 0u);  // a cut connection is not an error
  EXPECT_EQ(events.back().text, "Finished downloading big.bin");
}

// The rate is what this attempt moved over its own time: the 900,000 bytes
// already on disk must not count as if they had just arrived.
TEST_F(Transfer, AResumedFileShowsTheRateOfThisAttemptOnly) {
  StartEngine(1);
  WriteFile(Target("late.bin"), BodyBytes(0, 900000));
  // About 300,000 bytes a second.
  m_server.Handle("/late.bin", {.size = 1000000, .trickleBytes = 15000, .trickleGap = std::chrono::milliseconds(50)});
  Download("late.bin", "/late.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("late.bin")), BodyBytes(0, 1000000)));
  std::uint32_t fastest = 0;
  for (const auto& event : EventsOf("/late.bin"))
    if (event.status == STATUS_PROGRESS) fastest = std::max(fastest, event.record.dwBytesPerSecond);
  EXPECT_GT(fastest, 0u);
  EXPECT_LE(fastest, 600000u);
}

TEST_F(Transfer, AServerWithoutRangesStartsOverInsteadOfAppending) {
  StartEngine(1);
  const std::string body = BodyBytes(0, 10000);
  WriteFile(Target("old.bin"), body.substr(0, 5000));
  m_server.Handle("/old.bin", {.raw = "HTTP/1.0 200 OK\r\nContent-Length: 10000\r\n\r\n" + body});
  Download("old.bin", "/old.bin");
  ASSERT_TRUE(WaitUntilIdle());

  EXPECT_TRUE(SameBytes(ReadFile(Target("old.bin")), body));
  for (const auto& request : m_server.Requests()) EXPECT_FALSE(request.Header("Range").has_value());
  const auto events = EventsOf("/old.bin");
  const auto firstProgress = std::find_if(events.begin(), events.end(),
                                          [](const auto& e) { return e.status == STATUS_PROGRESS; });
  ASSERT_NE(firstProgress, events.end());
  EXPECT_LE(firstProgress->record.dwCurrentSize, 4095u);  // counted from 0, not from 5000
}

TEST_F(Transfer, PartialFilesThatDoNotMatchAreKeptAndANewNameTaken) {
  StartEngine(1);
  WriteFile(Target("doc.pdf"), "something else entirely");
  m_server.Handle("/doc.pdf", {.size = 9000});
  Download("doc.pdf", "/doc.pdf");
  ASSERT_TRUE(WaitUntilIdle());

  EXPECT_EQ(ReadFile(Target("doc.pdf")), "something else entirely");
  EXPECT_TRUE(SameBytes(ReadFile(Target("doc_1.pdf")), BodyBytes(0, 9000)));
  const auto events = EventsOf("/doc.pdf");
  EXPECT_EQ(events.back().text, "Finished downloading doc_1.pdf");
  const auto requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Header("Range"), "bytes=0-");
}

TEST_F(Transfer, AnswersWithoutLengthOrWithErrorsAreNotRetried) {
  StartEngine(2);
  m_server.Handle("/stream", {.size = 7000, .framing = Framing::UntilClose});
  m_server.Handle("/gone.zip", {.status = 404, .text = std::string("not here")});
  Download("stream.bin", "/stream");
  Download("gone.zip", "/gone.zip");
  ASSERT_TRUE(WaitUntilIdle());

  const auto stream = EventsOf("/stream");
  EXPECT_EQ(CountCode(stream, STATUS_TRYING), 1u);
  ASSERT_GE(stream.size(), 3u);
  EXPECT_EQ(stream[2].text, "Downloading stream.bin, unknown size 12150");
  EXPECT_EQ(stream.back().record.dwFileSize, 0u);
  EXPECT_TRUE(SameBytes(ReadFile(Target("stream.bin")), BodyBytes(0, 7000)));

  const auto gone = EventsOf("/gone.zip");
  EXPECT_EQ(Codes(gone), (std::vector<std::uint32_t>{STATUS_QUEUED, STATUS_TRYING, STATUS_ERROR, STATUS_DONE}));
  EXPECT_EQ(gone[2].text, "Download error: 404 Not Found\nFile: gone.zip");
  EXPECT_FALSE(fs::exists(Target("gone.zip")));
}

TEST_F(Transfer, TimeoutsGoBackToTheQueueUpToTheLimitThenAreReported) {
  StartEngine(1, 2, std::chrono::milliseconds(200));
  m_server.Handle("/slow", {.size = 10, .holdHead = true});
  Download("slow", "/slow");
  ASSERT_TRUE(WaitUntilIdle());
  m_server.ReleaseHolds();

  const auto events = EventsOf("/slow");
  std::vector<std::uint32_t> queuedCounts;
  for (const auto& event : events)
    if (event.status == STATUS_QUEUED) queuedCounts.push_back(event.record.dwTimeouts);
  EXPECT_EQ(queuedCounts, (std::vector<std::uint32_t>{0, 1, 2, 3}));  // the first is the new record
  ASSERT_EQ(CountCode(events, STATUS_ERROR), 1u);
  const auto error = std::find_if(events.begin(), events.end(), [](const auto& e) { return e.status == STATUS_ERROR; });
  EXPECT_EQ(error->text, "Error Opening URL: 12002 (the operation timed out)\nURL: " + m_server.Url("/slow"));
  EXPECT_EQ(events.back().status, STATUS_DONE);
}

TEST_F(Transfer, AServerThatRefusesOrAnUnknownSchemeIsReportedWithTheAddress) {
  StartEngine(1, 0);  // a refusing server is asked once more, a second later
  const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.zip";
  const std::string ftp = "ftp://127.0.0.1/x.zip";
  m_engine->DownloadFile("x.zip", refused.c_str());
  m_engine->DownloadFile("x.zip", ftp.c_str());
  ASSERT_TRUE(WaitUntilIdle());
  std::vector<std::string> errors;
  for (const auto& event : m_sink->Events())
    if (event.status == STATUS_ERROR) errors.push_back(event.text);
  // The refused one waits for its retry; the other is not held up behind it.
  EXPECT_EQ(errors, (std::vector<std::string>{"Error Opening URL: 12006 (the URL does not use a recognized protocol)\nURL: " + ftp,
                                              "Error Opening URL: 12029 (a connection with the server could not be established)\nURL: " + refused}));
  EXPECT_EQ(RecordingSink::Count(m_sink->Events(), STATUS_TRYING), 3u);
}

TEST_F(Transfer, AServerThatSendsNothingIsGivenUpAfterTheRetries) {
  StartEngine(1, 1);
  m_server.Handle("/empty", {.size = 5000, .cutAfter = 0});
  Download("empty.bin", "/empty");
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/empty");
  EXPECT_EQ(CountCode(events, STATUS_TRYING), 2u);
  EXPECT_EQ(Errors(events), std::vector<std::string>{kCut});
  EXPECT_EQ(events.back().text, "Failed downloading empty.bin (0 of 5000 bytes): " + std::string(kCut));
}

TEST_F(Transfer, ABrokenBodyIsTriedAgainAndThenReportedWithItsError) {
  // Bodies without a length that break before their end, on servers that
  // cannot resume them: they must not pass for complete files.
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::pair<const char*, Script> cases[] = {
      {"/inside", {.raw = chunkedHead + "1000\r\n" + std::string(2000, 'a')}},
      {"/between", {.size = 300000, .framing = Framing::Chunked, .ranges = RangeMode::Ignore, .cutAfter = 100000}},
      {"/malformed", {.raw = chunkedHead + "10\r\n" + std::string(16, 'b') + "\r\nzz\r\n"}},
      {"/reset", {.raw = "HTTP/1.1 200 OK\r\n\r\n" + std::string(3000, 'c'), .rawReset = true}},
  };
  StartEngine(4, 1);
  for (const auto& [path, script] : cases) {
    m_server.Handle(path, script);
    Download(path + 1, path);
  }
  ASSERT_TRUE(WaitUntilIdle());
  for (const auto& [path, script] : cases) {
    const auto events = EventsOf(path);
    EXPECT_GE(CountCode(events, STATUS_TRYING), 2u) << path;
    EXPECT_EQ(Errors(events), std::vector<std::string>{kCut}) << path;
    EXPECT_EQ(events.back().status, STATUS_DONE) << path;
  }
}

TEST_F(Transfer, ContentThatChangesOnEveryRequestEndsWithOneFile) {
  StartEngine(1, 2);
  m_server.Handle("/moving.bin", {.size = 20000, .changing = true, .cutAfter = 6000});
  Download("moving.bin", "/moving.bin");
  ASSERT_TRUE(WaitUntilIdle());
  // The first attempt, then three that get no further than it did.
  const auto events = EventsOf("/moving.bin");
  EXPECT_EQ(CountCode(events, STATUS_TRYING), 4u);
  EXPECT_EQ(Errors(events), std::vector<std::string>{kCut});
  EXPECT_EQ(std::distance(fs::directory_iterator(m_downloads.path()), fs::directory_iterator()), 1);
}

TEST_F(Transfer, AFileChangedBehindItsFirstBytesStartsOverInANewFile) {
  StartEngine(1);
  const std::string partial = BodyBytes(0, 4095) + std::string(1905, 'x');
  WriteFile(Target("doc.bin"), partial);
  m_server.Handle("/doc.bin", {.size = 20000});
  Download("doc.bin", "/doc.bin");
  ASSERT_TRUE(WaitUntilIdle());

  EXPECT_EQ(ReadFile(Target("doc.bin")), partial);
  EXPECT_TRUE(SameBytes(ReadFile(Target("doc_1.bin")), BodyBytes(0, 20000)));
  EXPECT_EQ(Ranges(m_server), (std::vector<std::string>{"bytes=1905-", "bytes=0-"}));
  EXPECT_EQ(EventsOf("/doc.bin").back().text, "Finished downloading doc_1.bin");
}

TEST_F(Transfer, APartNobodyAskedForIsAnErrorAndNothingIsWritten) {
  StartEngine(1);
  m_server.Handle("/part.bin", {.status = 206, .size = 1000, .headers = {{"Content-Range", "bytes 0-999/5000"}}});
  Download("part.bin", "/part.bin");
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/part.bin");
  EXPECT_EQ(Errors(events), std::vector<std::string>{"Download error: 206 Partial Content\nFile: part.bin"});
  EXPECT_FALSE(fs::exists(Target("part.bin")));
}

TEST_F(Transfer, AFolderRemovedWhileTheFileIsWrittenIsAnErrorNamingTheFile) {
  StartEngine(1);
  const std::string folder = m_downloads.file("sub");
  ASSERT_EQ(m_engine->SetDLDir((folder + "/").c_str()), S_OK);
  m_server.Handle("/f.bin", {.size = 100000, .holdAfter = 10000});
  Download("f.bin", "/f.bin");
  ASSERT_TRUE(m_sink->WaitFor([](const auto& events) {
    return !events.empty() && events.back().status == STATUS_PROGRESS && events.back().record.dwCurrentSize >= 4095;
  }));
  fs::remove_all(folder);
  m_server.ReleaseHolds();
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/f.bin");
  EXPECT_EQ(Errors(events), std::vector<std::string>{"Error writing file: " + folder + "/f.bin\nNo such file or directory"});
  EXPECT_EQ(CountCode(events, STATUS_TRYING), 1u);
}

TEST_F(Transfer, AServerIgnoringRangesNeverCorruptsTheFile) {
  StartEngine(1, 2);
  m_server.Handle("/ign.bin", {.size = 12000, .ranges = RangeMode::Ignore, .cutAfter = 5000});
  Download("ign.bin", "/ign.bin");
  ASSERT_TRUE(WaitUntilIdle());
  // Every attempt starts over and breaks at the same point: the file holds
  // the body's first 5000 bytes, and the record is given up.
  EXPECT_TRUE(SameBytes(ReadFile(Target("ign.bin")), BodyBytes(0, 5000)));
  EXPECT_EQ(RecordingSink::Count(EventsOf("/ign.bin"), STATUS_ERROR), 1u);

  // Without the cut, the same server completes a partial file correctly.
  m_server.Handle("/ign.bin", {.size = 12000, .ranges = RangeMode::Ignore});
  Download("ign.bin", "/ign.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("ign.bin")), BodyBytes(0, 12000)));
}

TEST_F(Transfer, TheSameAddressTwiceGivesTwoFiles) {
  StartEngine(2);
  m_server.Handle("/twice.bin", {.size = 300000, .trickleBytes = 30000, .trickleGap = std::chrono::milliseconds(5)});
  Download("twice.bin", "/twice.bin");
  Download("twice.bin", "/twice.bin");
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(SameBytes(ReadFile(Target("twice.bin")), BodyBytes(0, 300000)));
  EXPECT_TRUE(SameBytes(ReadFile(Target("twice_1.bin")), BodyBytes(0, 300000)));
}

TEST_F(Transfer, AFolderThatCannotBeCreatedIsAnErrorNamingTheFile) {
  StartEngine(1);
  WriteFile(m_downloads.file("blocker"), "x");
  ASSERT_EQ(m_engine->SetDLDir((m_downloads.file("blocker") + "/sub/").c_str()), S_OK);
  m_server.Handle("/f.bin", {.size = 100});
  Download("f.bin", "/f.bin");
  ASSERT_TRUE(WaitUntilIdle());
  const auto events = EventsOf("/f.bin");
  ASSERT_EQ(CountCode(events, STATUS_ERROR), 1u);
  const auto error = std::find_if(events.begin(), events.end(), [](const auto& e) { return e.status == STATUS_ERROR; });
  EXPECT_EQ(error->text.rfind("Error writing file: " + m_downloads.file("blocker") + "/sub/f.bin\n", 0), 0u)
      << error->text;
  EXPECT_EQ(CountCode(events, STATUS_TRYING), 1u);
}

}  // namespace
