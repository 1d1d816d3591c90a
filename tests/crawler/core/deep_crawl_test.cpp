// Deep crawls against the local server. The server's request log is the
// witness of what was fetched, and in which order.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/crawler/core/doc_fixture.h"

namespace {

using namespace std::chrono_literals;

Script Page(std::string html) {
  Script script;
  script.text = std::move(html);
  script.contentType = "text/html";
  return script;
}

class DeepCrawl : public DocTest {
 protected:
  // index -> a, f.zip, b, index (itself); a -> c, b; b -> a, d; c -> e.
  void ServeSite() {
    m_server.Handle("/index.html", Page("<a href=a.html> <a href=\"f.zip\"> <a href='b.html'> <a href=index.html>"
                                        " <img src=pic.png>"));
    m_server.Handle("/a.html", Page("<a href=c.html> <a href=/b.html>"));
    m_server.Handle("/b.html", Page("<a href=a.html> <a href=d.html>"));
    m_server.Handle("/c.html", Page("<a href=e.html>"));
    m_server.Handle("/d.html", Page("<html></html>"));
    m_server.Handle("/e.html", Page("<html></html>"));
  }

  // Runs a deep crawl of `path` at `depth` to its end.
  void Crawl(const std::string& path, int depth) {
    Doc().SetCrawlDepth(depth);
    Doc().StartDeepCrawl(m_server.Url(path), AddToHistory::Yes);
    ASSERT_TRUE(Doc().WaitForCrawl(10s));
  }

  std::vector<std::string> Urls(std::initializer_list<const char*> paths) {
    std::vector<std::string> urls;
    for (const char* path : paths) urls.push_back(m_server.Url(path));
    return urls;
  }
};

TEST_F(DeepCrawl, FetchesDepthFirstToTheDepthAndNeverAFile) {
  ServeSite();
  MakeDoc();
  Crawl("/index.html", 0);
  EXPECT_TRUE(Targets().empty());
  EXPECT_EQ(Doc().Links()->Count(), 0u);

  Crawl("/index.html", 1);
  EXPECT_EQ(Targets(), std::vector<std::string>{"/index.html"});
  // Only HREF values: a deep crawl does not scan for SRC.
  EXPECT_EQ(ListedUrls(*Doc().Links()), Urls({"/a.html", "/f.zip", "/b.html", "/index.html"}));

  Crawl("/index.html", 3);
  // The start page is not listed, so its link to itself fetches it once
  // more, one level down. b is met first through a, with one level left,
  // then from index with two: fetched again then, which reaches d. a, met
  // again from b with fewer levels left, is not.
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/index.html", "/index.html", "/a.html", "/c.html", "/b.html",
                                                 "/b.html", "/d.html", "/index.html"}));
  EXPECT_EQ(ListedUrls(*Doc().Links()),
            Urls({"/a.html", "/c.html", "/e.html", "/b.html", "/d.html", "/f.zip", "/index.html"}));
  // One session for the whole crawl keeps one connection alive.
  EXPECT_EQ(m_server.Connections(), 2u);
}

// A generated site where depth first meets most pages down long routes
// first: every depth fetches exactly the pages within it by their shortest
// route, and a page is fetched again only with more levels left than any
// fetch before, so at most once for each number of levels it can have.
TEST_F(DeepCrawl, CoversEveryPageWithinTheDepthOfItsShortestRoute) {
  constexpr int kPages = 40;
  std::mt19937 random(15);
  std::vector<std::vector<int>> links(kPages);
  for (int page = 0; page < kPages; ++page) {
    // A chain through every page first, then shortcuts.
    links[page].push_back((page + 1) % kPages);
    for (int i = 0; i < 3; ++i) links[page].push_back(std::uniform_int_distribution<int>(0, kPages - 1)(random));
    std::string html;
    for (int target : links[page]) html += "<a href=\"./p" + std::to_string(target) + ".html\">\n";
    m_server.Handle("/p" + std::to_string(page) + ".html", Page(html));
  }
  // Shortest routes from p0.
  std::vector<int> distance(kPages, kPages);
  std::deque<int> queue{0};
  distance[0] = 0;
  while (!queue.empty()) {
    const int page = queue.front();
    queue.pop_front();
    for (int target : links[page])
      if (distance[target] > distance[page] + 1) {
        distance[target] = distance[page] + 1;
        queue.push_back(target);
      }
  }

  MakeDoc();
  for (int depth = 1; depth <= 6; ++depth) {
    const std::size_t before = m_server.Requests().size();
    Crawl("/p0.html", depth);
    std::map<std::string, int> fetches;
    const auto targets = Targets();
    for (std::size_t i = before; i < targets.size(); ++i) ++fetches[targets[i]];
    std::map<std::string, int> within;
    for (int page = 0; page < kPages; ++page)
      if (distance[page] < depth) within["/p" + std::to_string(page) + ".html"] = depth - distance[page];
    ASSERT_EQ(fetches.size(), within.size()) << "depth " << depth;
    for (const auto& [target, count] : fetches) {
      ASSERT_TRUE(within.contains(target)) << target << " at depth " << depth;
      EXPECT_LE(count, within[target]) << target << " at depth " << depth;
    }
  }
}

TEST_F(DeepCrawl, TellsTheViewEveryLinkAsFoundAndLeavesTheCurrentAddressAlone) {
  ServeSite();
  m_server.Handle("/broken.html", Script{.status = 404, .text = "<a href=hidden.html>", .contentType = "text/html"});
  m_server.Handle("/start.html", Page("<a href=broken.html> <a href=c.html>"));
  MakeDoc();
  Crawl("/start.html", 3);
  const std::string start = m_server.Url("/start.html");
  const std::vector<std::string> links = Urls({"/broken.html", "/c.html", "/e.html"});
  std::vector<std::string> expected = {"status Deep Crawling " + start, "busy start", "address " + start};
  for (const std::string& link : links) expected.push_back("link " + link);
  expected.insert(expected.end(), {"busy end", "status Crawl complete."});
  // No box for the 404, nothing listed from it, and no crawl-done.
  EXPECT_EQ(m_host.Lines(), expected);
  EXPECT_EQ(ListedUrls(*Doc().Links()), links);
  for (const LinkFoundMessage& message : m_host.LinksFound()) EXPECT_EQ(message.list, Doc().Links());
  EXPECT_TRUE(Doc().CurrentURL().empty());
  EXPECT_FALSE(Doc().IsBusy());
}

TEST_F(DeepCrawl, ExcludeForeignTellsHostNamesApartAndRelativeLinksKeepTheirPage) {
  // Two names of this machine count as two hosts.
  const std::string foreign = "http://localhost:" + m_server.Url("/").substr(17) + "far.html";
  m_server.Handle("/index.html", Page("<a href=\"" + foreign + "\"> <a href=near.html>"));
  m_server.Handle("/far.html", Page("<a href=deeper.html>"));
  m_server.Handle("/near.html", Page("<html></html>"));
  m_server.Handle("/deeper.html", Page("<html></html>"));

  MakeDoc();
  EXPECT_TRUE(Doc().ExcludeForeign());  // the default
  Crawl("/index.html", 3);
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/index.html", "/near.html"}));
  EXPECT_EQ(ListedUrls(*Doc().Links()), (std::vector<std::string>{foreign, m_server.Url("/near.html")}));

  Doc().SetExcludeForeign(false);
  Crawl("/index.html", 3);
  const auto requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  std::vector<std::string> fetched;
  for (std::size_t i = 2; i < requests.size(); ++i)
    fetched.push_back(requests[i].Header("Host").value_or("") + requests[i].target);
  const std::string local = m_server.Url("/").substr(7, m_server.Url("/").size() - 8);
  const std::string remote = "localhost:" + local.substr(local.find(':') + 1);
  // After the other host's page and its own link, the first page's
  // remaining relative link still goes to the first host.
  EXPECT_EQ(fetched, (std::vector<std::string>{local + "/index.html", remote + "/far.html",
                                               remote + "/deeper.html", local + "/near.html"}));
}

TEST_F(DeepCrawl, StopEndsQuicklyAndListsWhatTheFetchedPagesHold) {
  // p1 trickles for seconds; the stop has to cut it short.
  m_server.Handle("/index.html", Page("<a href=p1.html> <a href=p2.html> <a href=p3.html> <a href=f.zip>"));
  m_server.Handle("/p1.html", Script{.text = std::string(20000, ' ') + "<a href=never.html>",
                                     .contentType = "text/html",
                                     .trickleBytes = 200,
                                     .trickleGap = 100ms});
  m_server.Handle("/p2.html", Page("<a href=p4.html>"));
  MakeDoc();
  Doc().SetCrawlDepth(3);
  Doc().StartDeepCrawl(m_server.Url("/index.html"), AddToHistory::Yes);
  ASSERT_TRUE(m_host.WaitFor("link " + m_server.Url("/p1.html")));
  // Once p1 is asked for, the crawl is inside its trickle for seconds.
  const auto asked = Clock::now() + 5s;
  while (Targets().size() < 2 && Clock::now() < asked) std::this_thread::sleep_for(2ms);
  ASSERT_EQ(Targets().size(), 2u);
  ASSERT_TRUE(Doc().IsBusy());

  const auto stopped = Clock::now();
  Doc().StopCrawl();
  ASSERT_TRUE(Doc().WaitForCrawl(5s));
  EXPECT_LT(Clock::now() - stopped, 1s);
  m_server.ReleaseHolds();

  EXPECT_EQ(Targets(), (std::vector<std::string>{"/index.html", "/p1.html"}));
  // The rest of the start page is still listed, nothing is fetched.
  EXPECT_EQ(ListedUrls(*Doc().Links()), Urls({"/p1.html", "/p2.html", "/p3.html", "/f.zip"}));
  EXPECT_EQ(m_host.Lines().back(), "status Crawl complete.");
  EXPECT_TRUE(m_host.LinesOf("box").empty());
  EXPECT_FALSE(Doc().IsBusy());
}

// Once the list is full a deep crawl fetches nothing more: no page could
// list anything. Here a2.html, found on a1.html, is the first left out, and
// b.html is never fetched.
TEST_F(DeepCrawl, StopsWhenTheListIsFullAndSaysSo) {
  m_server.Handle("/start.html", Page("<a href=a.html> <a href=b.html> <a href=c.html>"));
  m_server.Handle("/a.html", Page("<a href=a1.html>"));
  m_server.Handle("/a1.html", Page("<a href=a2.html>"));
  m_server.Handle("/b.html", Page("<html></html>"));
  DocOptions options = LocalDocOptions();
  options.pageLimits.maxLinks = 2;
  MakeDoc(options);
  const std::string start = m_server.Url("/start.html");
  Crawl("/start.html", 5);
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/start.html", "/a.html", "/a1.html"}));
  EXPECT_EQ(ListedUrls(*Doc().Links()), Urls({"/a.html", "/a1.html"}));
  EXPECT_EQ(m_host.LinesOf("status"),
            (std::vector<std::string>{"Deep Crawling " + start, "Only the first 2 links are listed: " + m_server.Url("/a1.html"),
                                      "Crawl complete. Only the first 2 links are listed."}));
}

}  // namespace
