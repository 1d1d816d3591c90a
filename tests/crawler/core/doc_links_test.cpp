#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawler/core/fetchwick_doc.h"
#include "tests/crawler/core/doc_fixture.h"

namespace {

class DocLinks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_doc.SetPageAddress("http://h/dir/page.html")); }

  bool Add(std::string url, Notify notify = Notify::Off) { return m_doc.AddLink(url, notify); }

  TempSettings m_settings;
  RecordingHost m_host;
  CFetchwickDoc m_doc{m_host, LocalDocOptions()};
};

TEST_F(DocLinks, PageScanListsHrefValuesThenSrcValuesOnce) {
  m_doc.SetPageText(
      "<html><head><link rel=stylesheet href=\"style.css\"><script src=\"/js/app.js\"></script></head>\n"
      "<body><a href='files/a.zip'>A</a> <img src=\"files/a.zip\"> <a href=\"mailto:me@h\">me</a>\n"
      "<a HREF=\"MAILTO:you@h\">you</a> <a href=\"#top\">top</a> <a href=\"http://other/x.html\">x</a>\n"
      "<img src='pics/P.PNG' alt=\"src=no\"> <a href='files/a.zip'>again</a> <a href='Files/a.zip'>case</a>\n"
      "<a href=\"../up.html#part\">up</a></body></html>");
  m_doc.ScanForKeyword("HREF");
  m_doc.ScanForKeyword("SRC");
  const std::vector<std::string> expected = {
      "http://h/dir/style.css",  "http://h/dir/files/a.zip", "MAILTO:you@h",
      "http://other/x.html",     "http://h/dir/Files/a.zip", "http://h/up.html",
      "http://h/js/app.js",      "http://h/dir/pics/P.PNG",
  };
  EXPECT_EQ(ListedUrls(*m_doc.Links()), expected);
  EXPECT_TRUE(m_host.LinksFound().empty());
}

TEST_F(DocLinks, AddLinkListsNamesAndTellsWhatTheDeepCrawlFollows) {
  struct Case {
    const char* reference;
    bool follow;
    const char* url;  // null: not listed
    const char* name;
    const char* extension;
    std::int32_t isFile;
  };
  const Case cases[] = {
      {"", false, nullptr, "", "", 0},
      {"mailto:someone", false, nullptr, "", "", 0},
      {"javascript:void(0)", false, nullptr, "", "", 0},
      {"JavaScript:go()", false, nullptr, "", "", 0},
      {"files/Report.PDF", false, "http://h/dir/files/Report.PDF", "Report.pdf", "pdf", 1},
      {"sub/", true, "http://h/dir/sub/", "h", "", 0},
      {"/index.HTML", true, "http://h/index.HTML", "index.html", "html", 0},
      {"show.php", false, "http://h/dir/show.php", "show.php", "php", 1},
      {"cgi/prog.cgi?x=1", true, "http://h/dir/cgi/prog.cgi?x=1", "prog.cgi", "cgi", 0},
      {"http://other/p.html", false, "http://other/p.html", "p.html", "html", 0},
      {"http://H/p.html", false, "http://H/p.html", "p.html", "html", 0},
      {"http://h:81/", true, "http://h:81/", "h", "", 0},
      {"http://example.com", false, "http://example.com", "example.com", "", 0},
      {"http://bad host/q.html", false, "http://bad host/q.html", "q.html", "html", 0},
      {"http://bad host/", false, "http://bad host/", "bad host", "", 0},
      {"files/Report.PDF", false, nullptr, "", "", 0},
      {"http://h/dir/files/Report.PDF", false, nullptr, "", "", 0},
      {"files/report.pdf", false, "http://h/dir/files/report.pdf", "report.pdf", "pdf", 1},
      // One file, one entry, however the path to it is spelt.
      {"./files/../files/Report.PDF", false, nullptr, "", "", 0},
      {"tel:123", false, "tel:123", "123", "", 0},
  };
  std::size_t listed = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(Add(c.reference), c.follow) << c.reference;
    const auto list = m_doc.Links();
    if (!c.url) {
      EXPECT_EQ(list->Count(), listed) << c.reference;
      continue;
    }
    ASSERT_EQ(list->Count(), ++listed) << c.reference;
    const LinkEntry& entry = *list->At(listed - 1);
    EXPECT_EQ(entry.url, c.url);
    EXPECT_EQ(entry.name, c.name) << c.url;
    EXPECT_EQ(entry.extension, c.extension) << c.url;
    EXPECT_EQ(entry.isFile, c.isFile) << c.url;
    EXPECT_EQ(entry.size.load(), 0);
  }

  m_doc.SetExcludeForeign(false);
  EXPECT_TRUE(Add("http://elsewhere/p.html"));
  // Only web addresses are fetched: others would be taken for host names.
  EXPECT_FALSE(Add("MAILTO:you@h"));
  EXPECT_FALSE(Add("tel:456"));
  EXPECT_TRUE(m_doc.IsSameSite("http://bad host/"));
  EXPECT_FALSE(Add("http://elsewhere/f.zip"));
}

TEST_F(DocLinks, RelativeReferencesKeepThePagesSchemeAndPort) {
  struct Case {
    const char* page;
    const char* reference;
    const char* complete;
  };
  const Case cases[] = {
      {"http://h:8080/dir/p.html", "a.zip", "http://h:8080/dir/a.zip"},
      {"https://h/dir/", "a.zip", "https://h/dir/a.zip"},
      {"HTTPS://h:8443/x/./y/../p.html", "/b.zip", "https://h:8443/b.zip"},
      {"http://h/dir/?q=1", "c.zip", "http://h/dir/c.zip"},
      {"http://h/dir", "d.zip", "http://h/dir/d.zip"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(m_doc.SetPageAddress(c.page)) << c.page;
    EXPECT_EQ(m_doc.Server(), "h");
    std::string url = c.reference;
    m_doc.AddLink(url, Notify::Off);
    EXPECT_EQ(url, c.complete) << c.page;
  }
  // Ports are not compared by the same-site test.
  ASSERT_TRUE(m_doc.SetPageAddress("http://h:8080/"));
  EXPECT_TRUE(m_doc.IsSameSite("https://h/x.html"));
  // An address the splitter rejects leaves the previous page's values.
  EXPECT_FALSE(m_doc.SetPageAddress("not an address"));
  EXPECT_EQ(m_doc.Origin(), "http://h:8080");
  EXPECT_EQ(m_doc.Base(), "/");
}

TEST_F(DocLinks, NotifiesTheViewOnlyWhenAskedAndWhenThereIsOne) {
  Add("a.zip", Notify::On);
  Add("b.zip", Notify::Off);
  Add("a.zip", Notify::On);  // already listed
  m_host.hasView = false;
  Add("c.zip", Notify::On);
  const auto posted = m_host.LinksFound();
  ASSERT_EQ(posted.size(), 1u);
  const LinkFoundMessage& message = posted[0];
  EXPECT_EQ(message.list, m_doc.Links());
  EXPECT_EQ(message.entry, m_doc.Links()->At(0));
  EXPECT_EQ(message.entry->url, "http://h/dir/a.zip");
}

TEST_F(DocLinks, ANewCrawlNeverFreesOrFillsTheListOfAnEarlierOne) {
  const std::shared_ptr<LinkList> first = m_doc.Links();
  Add("a.zip", Notify::On);
  const LinkEntry* row = first->At(0);

  m_doc.StartNewLinkList();
  const std::shared_ptr<LinkList> second = m_doc.Links();
  EXPECT_NE(second, first);
  EXPECT_EQ(second->Count(), 0u);
  // A message of the earlier crawl is told apart, and what it points to is intact.
  EXPECT_NE(m_host.LinksFound().at(0).list, second);
  EXPECT_EQ(m_host.LinksFound().at(0).entry->url, "http://h/dir/a.zip");

  // The superseded crawl goes on writing into its own list only.
  std::string late = "late.zip";
  m_doc.AddLink(first, late, Notify::Off);
  m_doc.SetPageText("<a href=scanned.zip>");
  m_doc.ScanForKeyword(first, "HREF");
  EXPECT_EQ(ListedUrls(*first), (std::vector<std::string>{"http://h/dir/a.zip", "http://h/dir/late.zip",
                                                          "http://h/dir/scanned.zip"}));
  EXPECT_EQ(first->At(0), row);
  EXPECT_EQ(second->Count(), 0u);
  // The new crawl lists an address again.
  EXPECT_FALSE(Add("a.zip"));
  EXPECT_EQ(ListedUrls(*second), std::vector<std::string>{"http://h/dir/a.zip"});
}

}  // namespace
