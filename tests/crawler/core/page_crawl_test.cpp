// Page crawls against the local server: what is listed, what the windows
// are told and in which order, errors, stops, superseded crawls, Back and
// Forward.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "http/errors.h"
#include "tests/crawler/core/doc_fixture.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

Script Page(std::string html) {
  Script script;
  script.text = std::move(html);
  script.contentType = "text/html";
  return script;
}

class PageCrawl : public DocTest {
 protected:
  // A page crawl as the address bar's Enter starts it, seen through to its end.
  void CrawlAndDeliver(const std::string& url) {
    Doc().StartCrawl(url, AddToHistory::Yes, PushCurrent::Yes);
    ASSERT_TRUE(DeliverCrawlDone()) << url;
  }
  // Whether a request for `target` arrives within the test's patience.
  bool WaitForRequest(const std::string& target) {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      for (const std::string& seen : Targets())
        if (seen == target) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
};

TEST_F(PageCrawl, ListsHrefsThenSrcsAndMakesThePrefixedAddressCurrent) {
  // A NUL byte in the middle of the page ends nothing but a value.
  m_server.Handle("/dir/page.html",
                  Page("<html><img src=\"pic.png\"><a href=\"a.zip\">a</a>\0<a href='/b.html'>b</a>\n"
                       "<script src=js/app.js></script><a href=\"mailto:x@y\">m</a><a href=a.zip>again</a>"s));
  MakeDoc();
  const std::string typed = m_server.Url("/dir/page.html").substr(7);  // without "http://"
  const std::string full = "http://" + typed;
  Doc().StartCrawl(typed, AddToHistory::Yes, PushCurrent::Yes);
  auto done = m_host.TakeCrawlDone();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->url, full);
  EXPECT_EQ(done->list, Doc().Links());
  const std::string origin = full.substr(0, full.find("/dir/"));
  EXPECT_EQ(ListedUrls(*Doc().Links()), (std::vector<std::string>{full.substr(0, full.rfind('/')) + "/a.zip",
                                                                   origin + "/b.html",
                                                                   origin + "/dir/pic.png",
                                                                   origin + "/dir/js/app.js"}));
  // The page crawl lists silently; the view rebuilds from the list later.
  EXPECT_TRUE(m_host.LinksFound().empty());
  EXPECT_EQ(m_host.Lines(), (std::vector<std::string>{"status Crawling " + typed, "busy start", "busy end",
                                                      "status Crawl complete.", "crawl done " + full}));
  EXPECT_TRUE(Doc().CurrentURL().empty());  // nothing changes before the view hands the message over

  m_host.Clear();
  Doc().OnCrawlDone(*done);
  EXPECT_EQ(Doc().CurrentURL(), full);
  EXPECT_EQ(Doc().Title(), full);
  EXPECT_TRUE(Doc().BackStack().empty());  // there was no current address to push
  EXPECT_EQ(m_host.Lines(),
            (std::vector<std::string>{"rebuild", "history " + full, "title " + full, "address " + full}));
  EXPECT_FALSE(Doc().IsBusy());

  // The next crawl pushes the address it replaces; a list pick adds no history.
  m_server.Handle("/other.html", Page("<a href=x.zip>"));
  m_host.Clear();
  Doc().StartCrawl(m_server.Url("/other.html"), AddToHistory::No, PushCurrent::Yes);
  ASSERT_TRUE(DeliverCrawlDone());
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{full});
  EXPECT_TRUE(m_host.LinesOf("history").empty());
}

TEST_F(PageCrawl, ErrorPagesShowABoxAndStillBecomeCurrentWhileConnectionErrorsChangeNothing) {
  m_server.Handle("/good.html", Page("<a href=a.zip>"));
  m_server.Handle("/gone.html", Script{.status = 404, .text = "<a href=hidden.zip>", .contentType = "text/html"});
  MakeDoc();
  CrawlAndDeliver(m_server.Url("/good.html"));

  m_host.Clear();
  CrawlAndDeliver(m_server.Url("/gone.html"));
  EXPECT_EQ(m_host.LinesOf("box"),
            std::vector<std::string>{"Download error: 404 Not Found\nURL: " + m_server.Url("/gone.html")});
  EXPECT_EQ(Doc().Links()->Count(), 0u);
  EXPECT_EQ(Doc().CurrentURL(), m_server.Url("/gone.html"));
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{m_server.Url("/good.html")});

  // An https address keeps its scheme (a closed port refuses it) rather than
  // turning into "http://https://...", which would fail on the name instead.
  m_host.Clear();
  const std::string refused = "https://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.html";
  Doc().StartCrawl(refused, AddToHistory::Yes, PushCurrent::Yes);
  ASSERT_TRUE(m_host.WaitFor("status Crawl complete."));
  ASSERT_TRUE(Doc().WaitForCrawl(10s));
  EXPECT_EQ(m_host.LinesOf("box"),
            std::vector<std::string>{http::ErrorMessage(http::ERROR_INTERNET_CANNOT_CONNECT) + "\nURL: " + refused});
  EXPECT_FALSE(m_host.TakeCrawlDone(0ms));
  EXPECT_EQ(Doc().CurrentURL(), m_server.Url("/gone.html"));

  // Nothing to crawl: nothing happens at all.
  m_host.Clear();
  Doc().StartCrawl("", AddToHistory::Yes, PushCurrent::Yes);
  EXPECT_TRUE(m_host.Lines().empty());

  // Without a main window no crawl holds a session, so nothing is fetched.
  const std::size_t requests = m_server.Requests().size();
  m_host.hasMainWindow = false;
  Doc().StartCrawl(m_server.Url("/good.html"), AddToHistory::Yes, PushCurrent::Yes);
  ASSERT_TRUE(m_host.WaitFor("status Crawl complete."));
  ASSERT_TRUE(Doc().WaitForCrawl(10s));
  EXPECT_EQ(m_server.Requests().size(), requests);
  EXPECT_EQ(m_host.Count("busy start"), 0u);
  EXPECT_FALSE(m_host.TakeCrawlDone(0ms));
}

TEST_F(PageCrawl, StopEndsAFetchSilentlyAndNothingBecomesCurrent) {
  m_server.Handle("/held.html", Script{.text = "<a href=a.zip>", .contentType = "text/html", .holdHead = true});
  MakeDoc();
  Doc().StartCrawl(m_server.Url("/held.html"), AddToHistory::Yes, PushCurrent::Yes);
  ASSERT_TRUE(WaitForRequest("/held.html"));
  EXPECT_TRUE(Doc().IsBusy());
  Doc().StopCrawl();
  EXPECT_FALSE(Doc().IsBusy());
  ASSERT_TRUE(Doc().WaitForCrawl(2s));
  m_server.ReleaseHolds();
  EXPECT_EQ(m_host.Lines(), (std::vector<std::string>{"status Crawling " + m_server.Url("/held.html"), "busy start",
                                                      "busy end", "busy end", "status Crawl complete."}));
  EXPECT_FALSE(m_host.TakeCrawlDone(0ms));
  EXPECT_TRUE(Doc().CurrentURL().empty());
}

TEST_F(PageCrawl, ANewCrawlSilencesTheOneItReplaces) {
  m_server.Handle("/old.html", Script{.text = "<a href=old.zip>", .contentType = "text/html", .holdHead = true});
  m_server.Handle("/new.html", Page("<a href=new.zip>"));
  MakeDoc();
  Doc().StartCrawl(m_server.Url("/old.html"), AddToHistory::Yes, PushCurrent::Yes);
  const std::shared_ptr<LinkList> oldList = Doc().Links();
  ASSERT_TRUE(WaitForRequest("/old.html"));
  Doc().StartCrawl(m_server.Url("/new.html"), AddToHistory::Yes, PushCurrent::Yes);
  auto done = m_host.TakeCrawlDone();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->url, m_server.Url("/new.html"));
  Doc().OnCrawlDone(*done);
  m_server.ReleaseHolds();

  // A message of the old crawl, however late, is dropped.
  Doc().OnCrawlDone(CrawlDoneMessage{oldList, m_server.Url("/old.html")});
  EXPECT_EQ(Doc().CurrentURL(), m_server.Url("/new.html"));
  EXPECT_TRUE(Doc().BackStack().empty());
  DestroyDoc();  // joins the old crawl thread too

  EXPECT_EQ(oldList->Count(), 0u);
  EXPECT_NE(oldList, done->list);
  EXPECT_EQ(ListedUrls(*done->list), std::vector<std::string>{m_server.Url("/new.zip")});
  // The old crawl's own busy end, texts and boxes never came: one busy
  // period was ended by the replacement, the other by the new crawl.
  EXPECT_EQ(m_host.Lines(), (std::vector<std::string>{"status Crawling " + m_server.Url("/old.html"), "busy start",
                                                      "busy end", "status Crawling " + m_server.Url("/new.html"),
                                                      "busy start", "busy end", "status Crawl complete.",
                                                      "crawl done " + m_server.Url("/new.html"), "rebuild",
                                                      "history " + m_server.Url("/new.html"),
                                                      "title " + m_server.Url("/new.html"),
                                                      "address " + m_server.Url("/new.html")}));
}

// A page past either limit is cut there; its links so far are listed and the
// status text says so. A page of exactly the size limit is whole.
TEST_F(PageCrawl, APageIsCutShortAtTheSizeOrTimeLimit) {
  const std::string first = "<a href=first.zip>";
  const std::string late = "<a href=late.zip>";
  struct Case {
    std::string path;
    Script script;
    PageLimits limits;
    std::vector<std::string> listed;
    std::string cut;  // the status text of the cut, none when whole
  };
  const Case cases[] = {
      {"/big.html", Page(first + std::string(5000, ' ') + late), {.maxBytes = 4096}, {"/first.zip"},
       "Page cut short after 4096 bytes: "},
      {"/fits.html", Page(first + std::string(4096 - first.size() - late.size(), ' ') + late), {.maxBytes = 4096},
       {"/first.zip", "/late.zip"}, ""},
      // About three minutes of trickle, cut after one second.
      {"/endless.html",
       Script{.text = first + std::string(1 << 20, ' ') + late,
              .contentType = "text/html",
              .trickleBytes = 100,
              .trickleGap = 20ms},
       {.maxTime = 1s}, {"/first.zip"}, "Page cut short after 1.0 seconds: "},
      // A body that never ends, as fast as the server can send it.
      {"/endless.html",
       Script{.size = std::uint64_t{1} << 40, .contentType = "text/html", .framing = Framing::UntilClose},
       {.maxBytes = 65536}, {}, "Page cut short after 65536 bytes: "},
  };
  for (const Case& c : cases) {
    m_server.Handle(c.path, c.script);
    DocOptions options = LocalDocOptions();
    options.pageLimits = c.limits;
    MakeDoc(options);
    m_host.Clear();
    const std::string url = m_server.Url(c.path);
    CrawlAndDeliver(url);
    std::vector<std::string> listed;
    for (const std::string& path : c.listed) listed.push_back(m_server.Url(path));
    EXPECT_EQ(ListedUrls(*Doc().Links()), listed) << c.path;
    const std::vector<std::string> status = m_host.LinesOf("status");
    if (c.cut.empty()) {
      EXPECT_EQ(status, (std::vector<std::string>{"Crawling " + url, "Crawl complete."}));
    } else {
      EXPECT_EQ(status, (std::vector<std::string>{"Crawling " + url, c.cut + url,
                                                  "Crawl complete. Pages cut short: 1."}));
    }
  }
}

// A page lists its first links up to the link limit and says that the rest
// are left out, the count written as people write it; links met again do
// not count. A page of exactly the limit is whole.
TEST_F(PageCrawl, ListsNoMoreThanTheLinkLimitAndSaysSo) {
  constexpr std::size_t kLinks = 1236;
  std::string html;
  for (std::size_t i = 0; i < kLinks; ++i) html += "<a href=f" + std::to_string(i) + ".zip><a href=f0.zip>";
  m_server.Handle("/many.html", Page(html));
  const std::string url = m_server.Url("/many.html");
  struct Case {
    std::size_t limit;
    std::vector<std::string> status;  // after "Crawling"
  };
  const Case cases[] = {
      {1234, {"Only the first 1,234 links are listed: " + url, "Crawl complete. Only the first 1,234 links are listed."}},
      {kLinks, {"Crawl complete."}},
  };
  for (const Case& c : cases) {
    DocOptions options = LocalDocOptions();
    options.pageLimits.maxLinks = c.limit;
    MakeDoc(options);
    m_host.Clear();
    CrawlAndDeliver(url);
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < c.limit; ++i) listed.push_back(m_server.Url("/f" + std::to_string(i) + ".zip"));
    EXPECT_EQ(ListedUrls(*Doc().Links()), listed) << c.limit;
    std::vector<std::string> status{"Crawling " + url};
    status.insert(status.end(), c.status.begin(), c.status.end());
    EXPECT_EQ(m_host.LinesOf("status"), status) << c.limit;
  }
}

TEST_F(PageCrawl, BackTwiceThenForwardOnce) {
  for (const char* path : {"/a.html", "/b.html", "/c.html"}) m_server.Handle(path, Page("<a href=f.zip>"));
  MakeDoc();
  const std::string a = m_server.Url("/a.html"), b = m_server.Url("/b.html"), c = m_server.Url("/c.html");
  CrawlAndDeliver(a);
  CrawlAndDeliver(b);
  CrawlAndDeliver(c);
  EXPECT_EQ(Doc().BackStack(), (std::deque<std::string>{a, b}));

  // The stacks change at once, before the crawl has fetched anything.
  Doc().OnBack();
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{a});
  EXPECT_EQ(Doc().ForwardStack(), std::deque<std::string>{c});
  ASSERT_TRUE(DeliverCrawlDone());
  EXPECT_EQ(Doc().CurrentURL(), b);
  Doc().OnBack();
  ASSERT_TRUE(DeliverCrawlDone());
  EXPECT_EQ(Doc().CurrentURL(), a);
  EXPECT_TRUE(Doc().BackStack().empty());
  EXPECT_EQ(Doc().ForwardStack(), (std::deque<std::string>{c, b}));
  Doc().OnBack();  // nothing left to go back to
  EXPECT_EQ(Doc().ForwardStack().size(), 2u);

  Doc().OnForward();
  EXPECT_EQ(Doc().ForwardStack(), std::deque<std::string>{c});
  ASSERT_TRUE(DeliverCrawlDone());
  EXPECT_EQ(Doc().CurrentURL(), b);
  // Forward pushes the address it leaves when its crawl is done.
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{a});
  // Only the three typed addresses went into the history.
  EXPECT_EQ(m_host.LinesOf("history"), (std::vector<std::string>{a, b, c}));
}

}  // namespace
