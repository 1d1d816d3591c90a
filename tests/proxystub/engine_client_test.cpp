// The headless engine_client against the real server and a local HTTP
// server: its output lines and its exit rule.
#include <sys/stat.h>

#include <filesystem>

#include "tests/proxystub/server_fixture.h"
#include "tests/support/test_server.h"

namespace {

std::size_t FileSize(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

TEST_F(ServerTest, EngineClientPrintsEveryEventAndEndsWhenItsFilesAreDone) {
  Register();
  TestServer http;
  http.Handle("/files/a.bin", {.size = 300000});
  TempDir downloads;
  const std::string file = http.Url("/files/a.bin");
  const std::string missing = http.Url("/missing.txt");
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--dir", downloads.path() + "/", file, missing});
  ASSERT_EQ(client.Wait(std::chrono::seconds(30)), 0);
  while (client.ReadLine(std::chrono::milliseconds(200))) {
  }
  EXPECT_EQ(FileSize(downloads.file("a.bin")), 300000u);
  const auto& lines = client.lines();
  auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("8\t\t" + file + "\ta.bin\t0\t0\t0\t0"));
  EXPECT_TRUE(has("7\tTrying to download missing.txt\t" + missing + "\tmissing.txt\t0\t0\t0\t0"));
  // A line break in a text is escaped, so every event stays one line.
  EXPECT_TRUE(has("3\tDownload error: 404 Not Found\\nFile: missing.txt\t" + missing + "\tmissing.txt\t0\t0\t0\t0"));
  const auto done = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind("5\tFinished downloading a.bin\t" + file + "\ta.bin\t300000\t300000\t", 0) == 0;
  });
  EXPECT_NE(done, lines.end());
  EXPECT_GT(std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.rfind("6\t", 0) == 0; }),
            0);
}

TEST_F(ServerTest, EngineClientQuietPrintsOnlyErrorsAndEnds) {
  Register();
  TestServer http;
  http.Handle("/b.bin", {.size = 100000});
  TempDir downloads;
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--quiet", "--dir", downloads.path() + "/", http.Url("/b.bin"),
                       http.Url("/gone")});
  ASSERT_EQ(client.Wait(std::chrono::seconds(30)), 0);
  while (client.ReadLine(std::chrono::milliseconds(200))) {
  }
  ASSERT_FALSE(client.lines().empty());
  for (const std::string& line : client.lines())
    EXPECT_TRUE(line.rfind("3\t", 0) == 0 || line.rfind("5\t", 0) == 0) << line;
  EXPECT_EQ(FileSize(downloads.file("b.bin")), 100000u);
}

TEST_F(ServerTest, EngineClientMakesItsFolderWholeAndItsLinesPrintable) {
  Register();
  TestServer http;
  http.Handle("/c.bin", {.size = 1000});
  TempDir downloads;
  // A folder relative to where the client runs, which is not where the
  // engine runs.
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(downloads.path());
  const std::string odd = http.Url("/x\x01y\x1b");
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--dir", "rel/", http.Url("/c.bin"), odd});
  std::filesystem::current_path(here);
  ASSERT_EQ(client.Wait(std::chrono::seconds(30)), 0);
  while (client.ReadLine(std::chrono::milliseconds(200))) {
  }
  EXPECT_EQ(FileSize(downloads.file("rel/c.bin")), 1000u);
  const std::string escaped = http.Url("/x\\x01y\\x1b");
  const auto& lines = client.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "7\tTrying to download x_y_\t" + escaped + "\tx_y_\t0\t0\t0\t0"),
            lines.end());
}

TEST_F(ServerTest, EngineClientGivesUpOnAServerThatAnswersRangesWithAPage) {
  Register();
  SetMaxRetries(2);
  TestServer http;
  // Every connection breaks off, and every range is answered with a page.
  http.Handle("/r.bin", {.size = 300000, .ranges = RangeMode::ShortPage, .cutAfter = 100000});
  TempDir downloads;
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "--quiet", "--dir", downloads.path() + "/", http.Url("/r.bin")});
  ASSERT_EQ(client.Wait(std::chrono::seconds(30)), 0);
  while (client.ReadLine(std::chrono::milliseconds(200))) {
  }
  const auto& lines = client.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.rfind("3\t", 0) == 0; }),
            1);
  EXPECT_LE(std::distance(std::filesystem::directory_iterator(downloads.path()), std::filesystem::directory_iterator()),
            1);
}

TEST_F(ServerTest, EngineClientFailsWithoutAnEngine) {
  ChildProcess client({ENGINE_CLIENT_PROGRAM, "http://127.0.0.1:1/x"});
  EXPECT_EQ(client.Wait(std::chrono::seconds(5)), 1);
}

}  // namespace

// Every way a download can end, through the real engine: only the whole
// file reads as finished, and errors carry their meaning in words.
TEST_F(ServerTest, EngineClientEndingsTellWhatHappened) {
  Register();
  TestServer http;
  http.Handle("/whole.bin", {.size = 20000});
  http.Handle("/broken.bin", {.status = 500, .text = std::string("oops")});
  http.Handle("/held.bin", {.size = 100000, .holdAfter = 10000});
  TempDir downloads;
  const std::string dir = downloads.path() + "/";
  // Texts of one code for one address, from a finished run's lines.
  auto texts = [](const ChildProcess& client, const std::string& code, const std::string& url) {
    std::vector<std::string> found;
    for (const std::string& line : client.lines()) {
      const auto tab = line.find('\t', code.size() + 1);
      if (line.starts_with(code + "\t") && line.find("\t" + url + "\t") == tab)
        found.push_back(line.substr(code.size() + 1, tab - code.size() - 1));
    }
    return found;
  };
  const std::string whole = http.Url("/whole.bin"), missing = http.Url("/missing.bin"),
                    broken = http.Url("/broken.bin"), unknown = "http://nohost.invalid/u.bin",
                    held = http.Url("/held.bin");
  ChildProcess cancelling({ENGINE_CLIENT_PROGRAM, "--cancel-after-ms", "3000", "--dir", dir, whole, missing, broken,
                           unknown, held});
  ASSERT_EQ(cancelling.Wait(std::chrono::seconds(60)), 0);
  while (cancelling.ReadLine(std::chrono::milliseconds(200))) {
  }
  http.ReleaseHolds();
  ChildProcess stopping({ENGINE_CLIENT_PROGRAM, "--stop-after-ms", "3000", "--dir", dir + "stop/", held});
  ASSERT_EQ(stopping.Wait(std::chrono::seconds(60)), 0);
  while (stopping.ReadLine(std::chrono::milliseconds(200))) {
  }
  http.ReleaseHolds();

  EXPECT_EQ(texts(cancelling, "5", whole), std::vector<std::string>{"Finished downloading whole.bin"});
  const struct {
    const ChildProcess& client;
    std::string url, ending;
  } endings[] = {{cancelling, missing, "Failed downloading missing.bin (0 bytes)"},
                 {cancelling, broken, "Failed downloading broken.bin (0 bytes)"},
                 {cancelling, unknown, "Failed downloading u.bin (0 bytes)"},
                 // The engine unlists a cancelled file at once, so the
                 // client may end before the transfer's own report comes.
                 {cancelling, held, "Canceled "},
                 {stopping, held, "Stopped downloading held.bin ("}};
  for (const auto& e : endings) {
    const auto done = texts(e.client, "5", e.url);
    EXPECT_TRUE(std::any_of(done.begin(), done.end(), [&](const auto& t) { return t.starts_with(e.ending); })) << e.url;
    EXPECT_TRUE(std::none_of(done.begin(), done.end(), [](const auto& t) { return t.starts_with("Finished"); }))
        << e.url;
  }
  EXPECT_EQ(texts(cancelling, "3", missing), std::vector<std::string>{"Download error: 404 Not Found\\nFile: missing.bin"});
  EXPECT_EQ(texts(cancelling, "3", broken),
            std::vector<std::string>{"Download error: 500 Internal Server Error\\nFile: broken.bin"});
  EXPECT_EQ(texts(cancelling, "3", unknown),
            std::vector<std::string>{"Error Opening URL: 12007 (the server name or address could not be resolved)"
                                     "\\nURL: " + unknown});
}
