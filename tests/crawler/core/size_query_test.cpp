// The size query: what it reports, and that it shares the crawl session
// without cutting a crawl short.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "http/errors.h"
#include "tests/crawler/core/doc_fixture.h"

namespace {

using namespace std::chrono_literals;

class SizeQuery : public DocTest {};

TEST_F(SizeQuery, ReportsTheLengthOnlyOfAnAnswerThatHasOne) {
  m_server.Handle("/sized.bin", Script{.size = 123456});
  m_server.Handle("/chunked.bin", Script{.size = 5000, .framing = Framing::Chunked});
  m_server.Handle("/empty.bin", Script{.size = 0});
  m_server.Handle("/gone.bin", Script{.status = 404, .text = "an error page with a length"});
  MakeDoc();
  EXPECT_EQ(Doc().QueryFileSize(m_server.Url("/sized.bin")), 123456);
  EXPECT_EQ(Doc().QueryFileSize(m_server.Url("/chunked.bin")), -1);
  EXPECT_EQ(Doc().QueryFileSize(m_server.Url("/empty.bin")), 0);
  // An error page's length is not the file's size.
  EXPECT_EQ(Doc().QueryFileSize(m_server.Url("/gone.bin")), -1);
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  // Asked with an ordinary GET, the body never read.
  EXPECT_EQ(m_server.Requests().at(0).method, "GET");

  const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.bin";
  EXPECT_EQ(Doc().QueryFileSize(refused), -1);
  // The box names the address it is about.
  EXPECT_EQ(m_host.LinesOf("box"),
            std::vector<std::string>{http::ErrorMessage(http::ERROR_INTERNET_CANNOT_CONNECT) + "\nURL: " + refused});
  // The query announces no busy period of its own, and holds no session after it.
  EXPECT_EQ(m_host.Count("busy start"), 0u);
  EXPECT_FALSE(Doc().IsBusy());
}

TEST_F(SizeQuery, GetFileSizeStoresEachSizeInRowOrderInsideOneBusyPeriod) {
  m_server.Handle("/a.zip", Script{.size = 10});
  m_server.Handle("/b.zip", Script{.size = 20, .framing = Framing::Chunked});
  m_server.Handle("/c.zip", Script{.size = 30});
  MakeDoc();
  Doc().SetPageAddress(m_server.Url("/"));
  for (std::string url : {"a.zip", "b.zip", "c.zip"}) Doc().AddLink(url, Notify::Off);
  auto list = Doc().Links();
  const std::vector<const LinkEntry*> rows = {list->At(2), list->At(0), list->At(1)};

  std::mutex mutex;
  std::vector<std::string> told;
  Doc().StartSizeQuery(SizeQueryJob{list, rows, [&](const LinkEntry& entry) {
                                      std::lock_guard lock(mutex);
                                      told.push_back(entry.name + "=" + std::to_string(entry.size.load()));
                                    }});
  ASSERT_TRUE(m_host.WaitFor("busy end"));
  ASSERT_TRUE(Doc().WaitForSizeQueries(5s));
  EXPECT_EQ(m_host.Lines(), (std::vector<std::string>{"busy start", "busy end"}));
  std::lock_guard lock(mutex);
  EXPECT_EQ(told, (std::vector<std::string>{"c.zip=30", "a.zip=10", "b.zip=-1"}));
  EXPECT_EQ(list->At(0)->size.load(), 10);

  // Without a main window the command only ends.
  m_host.Clear();
  m_host.hasMainWindow = false;
  Doc().StartSizeQuery(SizeQueryJob{list, rows, {}});
  ASSERT_TRUE(Doc().WaitForSizeQueries(5s));
  EXPECT_TRUE(m_host.Lines().empty());
}

TEST_F(SizeQuery, EndingDuringACrawlLeavesTheCrawlRunningToItsEnd) {
  // The page's link comes last, after a trickle of well over half a second.
  m_server.Handle("/slow.html", Script{.text = std::string(3000, ' ') + "<a href=tail.zip>",
                                       .contentType = "text/html",
                                       .trickleBytes = 100,
                                       .trickleGap = 25ms});
  m_server.Handle("/file.bin", Script{.size = 4242});
  MakeDoc();
  Doc().StartCrawl(m_server.Url("/slow.html"), AddToHistory::Yes, PushCurrent::Yes);
  ASSERT_TRUE(m_host.WaitFor("busy start"));
  while (m_server.Requests().empty()) std::this_thread::sleep_for(2ms);

  EXPECT_EQ(Doc().QueryFileSize(m_server.Url("/file.bin")), 4242);
  EXPECT_TRUE(Doc().IsBusy());  // the crawl still holds the session

  auto done = m_host.TakeCrawlDone();
  ASSERT_TRUE(done);
  EXPECT_EQ(ListedUrls(*done->list), std::vector<std::string>{m_server.Url("/tail.zip")});
  EXPECT_EQ(m_host.Count("busy end"), 1u);
  EXPECT_FALSE(Doc().IsBusy());
}

TEST_F(SizeQuery, StopCrawlEndsAQueryInProgressSilently) {
  m_server.Handle("/held.bin", Script{.size = 100, .holdHead = true});
  MakeDoc();
  std::int32_t size = 0;
  std::thread query([&] { size = Doc().QueryFileSize(m_server.Url("/held.bin")); });
  while (m_server.Requests().empty()) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(Doc().IsBusy());
  Doc().StopCrawl();
  query.join();
  m_server.ReleaseHolds();
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  EXPECT_FALSE(Doc().IsBusy());
}

}  // namespace
