// The link list: deep crawls and the filter, sizes and sorting, the context
// menu, and the commands that hand addresses to the desktop.
#include <sys/stat.h>

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "crawler/app/link_list_export.h"
#include "gui/busy_animation.h"

#include "tests/crawler/app/crawler_window_fixture.h"

namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

// Clicks a column's heading as the user does.
void ClickHeading(CFetchwickView& view, int column) {
  QHeaderView* header = view.header();
  const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

TEST_F(CrawlerWindowTest, ADeepCrawlListsEveryLinkAndTheNextPageCrawlFiltersAgain) {
  ServeSite();
  Start();
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  Doc().SetFileFilter("zip html");
  EXPECT_EQ(RowNames(), (Names{"page2.html", "zeta.zip"}));

  Select({"page2.html"});
  Run(cmd::ID_DEEP_CRAWL);
  // The quick filter narrows the rows as they come; cleared, it shows them all.
  Frame().QuickFilter()->setText(QStringLiteral(".Zip"));
  ASSERT_TRUE(WaitUntil([&] { return !Doc().IsBusy() && Doc().Links()->Count() == 7; }));
  EXPECT_TRUE(WaitUntil([&] { return RowNames() == Names{"zeta.zip"}; })) << testing::PrintToString(RowNames());
  Frame().QuickFilter()->clear();
  // Rows come as the links are found, whatever the filter: the HREF links
  // of both pages (a deep crawl follows no SRC).
  const Names everything{"alpha.exe", "big.iso", "index.html", "other.pdf", "page2.html", "song.mp3", "zeta.zip"};
  ASSERT_TRUE(WaitUntil([&] { return RowNames() == everything; })) << testing::PrintToString(RowNames());

  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  EXPECT_EQ(RowNames(), (Names{"page2.html", "zeta.zip"}));
  // Runs of letters are the extensions: "mp3" is "mp", which nothing has.
  Doc().SetFileFilter("mp3");
  EXPECT_TRUE(RowNames().empty());
  Doc().SetFileFilter("");
  EXPECT_EQ(RowNames().size(), 6u);
}

TEST_F(CrawlerWindowTest, GetFileSizeFillsTheColumnWhileTheWindowGoesOnAndSizesSortUnsigned) {
  ServeSite();
  m_server.Handle("/zeta.zip", Script{.size = 777, .holdHead = true});
  Start();
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  Select({"alpha.exe", "big.iso", "zeta.zip"});
  Run(cmd::ID_GET_FILE_SIZE);
  const auto size = [&](const std::string& name) {
    const Names names = RowNames();
    const auto at = std::find(names.begin(), names.end(), name);
    return Column(LinkListModel::kSize)[static_cast<std::size_t>(at - names.begin())];
  };
  // The last answer is held: the first two sizes show, and the window keeps
  // handling its events, while the query waits.
  ASSERT_TRUE(WaitUntil([&] { return size("alpha.exe") == "1010" && size("big.iso") == "-1"; }));
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(10);
  EXPECT_TRUE(WaitUntil([&] { return ticks >= 10; }));
  EXPECT_EQ(size("zeta.zip"), "");
  EXPECT_TRUE(Frame().Animation()->isPlaying());
  m_server.ReleaseHolds();
  ASSERT_TRUE(WaitUntil([&] { return size("zeta.zip") == "777"; }));

  // The first click sorts ascending, the second descending; -1 is the
  // largest size, and rows without a size (0) come first.
  ClickHeading(View(), LinkListModel::kSize);
  EXPECT_EQ(Column(LinkListModel::kSize), (Names{"", "", "", "777", "1010", "-1"}));
  ClickHeading(View(), LinkListModel::kSize);
  EXPECT_EQ(Column(LinkListModel::kSize), (Names{"-1", "1010", "777", "", "", ""}));
  // One direction for every column: the third click sorts ascending again.
  ClickHeading(View(), LinkListModel::kName);
  EXPECT_EQ(RowNames(), (Names{"alpha.exe", "big.iso", "page2.html", "pic.gif", "song.mp3", "zeta.zip"}));
}

TEST_F(CrawlerWindowTest, TheContextMenuOffersWhatFitsTheSelection) {
  ServeSite();
  Start();
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  const auto texts = [&] {
    Names items;
    std::unique_ptr<QMenu> menu = View().CreateContextMenu();
    if (!menu) return items;
    for (QAction* action : menu->actions()) items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return items;
  };
  View().selectionModel()->clearSelection();
  EXPECT_TRUE(texts().empty());
  Select({"page2.html"});
  EXPECT_EQ(texts(), (Names{"Download File(s)", "-", "Crawl Page", "Deep Crawl", "-", "Launch Browser", "Get File Size"}));
  Select({"alpha.exe", "song.mp3"});
  EXPECT_EQ(texts(), (Names{"Download File(s)", "Get File Size"}));

  // The menu as the user opens it, pictured over the rows.
  EXPECT_EQ(PictureContextMenu(&View(), View().Model().index(3, 0), &Frame(), "crawler-context-menu"),
            (Names{"Download File(s)", "Get File Size"}));
}

TEST_F(CrawlerWindowTest, OnlyWebAddressesGoToTheBrowserAndTheDesktopGetsOneArgument) {
  DesktopStandIns desktop({"xdg-open", "queuebay"});
  const std::string odd = Url("/a;$(id)&b|c`d`.html");
  m_server.Handle("/links.html", Script{.text = "<a href=\"ftp://127.0.0.1/f.zip\"> <a href=\"" + odd +
                                                "\"> <a href=\"HTTPS://127.0.0.1/s.pdf\">"});
  Start();
  TypeAddress(Url("/links.html"));
  ASSERT_TRUE(WaitForPage(Url("/links.html")));
  Select({"f.zip"});
  Run(cmd::ID_LAUNCH_BROWSER);
  EXPECT_EQ(OpenMessageTexts(), Names{"Couldn't open ftp://127.0.0.1/f.zip in a web browser.\n\n"
                                      "Only web addresses (http and https) are opened there."});
  CloseMessageBoxes();
  Select({"s.pdf"});
  Run(cmd::ID_LAUNCH_BROWSER);
  Select({odd}, LinkListModel::kUrl);
  Run(cmd::ID_LAUNCH_BROWSER);
  ASSERT_TRUE(desktop.WaitForStarts("xdg-open", 2));
  // Each started on a thread of its own, in either order.
  std::vector<Names> starts = desktop.Starts("xdg-open");
  std::sort(starts.begin(), starts.end());
  EXPECT_EQ(starts, (std::vector<Names>{{"HTTPS://127.0.0.1/s.pdf"}, {odd}}));

  // Download Manager starts the manager program; Open Downloads, without an
  // engine, opens the crawler's own folder.
  Run(cmd::ID_DOWNLOAD_MANAGER);
  ASSERT_TRUE(desktop.WaitForStarts("queuebay", 1));
  EXPECT_EQ(desktop.Starts("queuebay"), std::vector<Names>{Names{}});
  Run(cmd::ID_OPEN_DOWNLOADS);
  ASSERT_TRUE(desktop.WaitForStarts("xdg-open", 3));
  EXPECT_EQ(desktop.Starts("xdg-open").back(), Names{m_downloads.path() + "/"});
  EXPECT_TRUE(OpenMessageBoxes().empty());

  // A folder that is not there cannot be opened.
  Doc().ApplyOptions(CrawlerOptions{m_downloads.path() + "/missing", "", 5, true});
  Run(cmd::ID_OPEN_DOWNLOADS);
  ASSERT_TRUE(WaitUntil([] { return OpenMessageTexts() == Names{"Couldn't open download folder"}; }));
  EXPECT_EQ(OpenMessageBoxes().front()->windowTitle().toStdString(), "Fetchwick");
}

TEST_F(CrawlerWindowTest, ABrowserThatCannotBeOpenedSaysWhyInABox) {
  // An opener that fails as xdg-open does on a desktop without a browser,
  // and no opener at all.
  TempDir failing, empty;
  WriteFile(failing.file("xdg-open"),
            "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
  ::chmod(failing.file("xdg-open").c_str(), 0755);
  m_server.Handle("/links.html", Script{.text = "<a href=\"doc.pdf\">"});
  Start();
  TypeAddress(Url("/links.html"));
  ASSERT_TRUE(WaitForPage(Url("/links.html")));
  Select({"doc.pdf"});
  const std::string address = Url("/doc.pdf");
  const std::pair<const TempDir*, std::string> openers[] = {
      {&failing, "No web browser is set up on this desktop (xdg-open: no method available for opening '" + address +
                     "')."},
      {&empty, "No program to open web addresses was found: xdg-open is missing (it comes with xdg-utils)."},
  };
  for (const auto& [folder, reason] : openers) {
    ScopedEnv path("PATH", folder->path());
    Run(cmd::ID_LAUNCH_BROWSER);
    ASSERT_TRUE(WaitUntil([] { return OpenMessageBoxes().size() == 1; })) << reason;
    QMessageBox* box = OpenMessageBoxes().front();
    EXPECT_EQ(box->text().toStdString(), "Couldn't open " + address + " in a web browser.\n\n" + reason);
    EXPECT_EQ(box->windowTitle().toStdString(), "Fetchwick");
    if (folder == &failing) SaveScreenshotWithPopup(&Frame(), box, "crawler-launch-browser-failed");
    CloseMessageBoxes();
  }
}

TEST_F(CrawlerWindowTest, DeepCrawlThisPageCountsThePagesAndLinksOfASite) {
  // A generated site: the start page links nine pages, each of which links
  // two files. The fifth page holds its answer, so the crawl is seen halfway.
  constexpr int kPages = 9;
  std::string start;
  for (int page = 1; page <= kPages; ++page) {
    const std::string name = std::string("p").append(std::to_string(page));
    start += "<a href=\"" + name + ".html\">" + name + "</a>\n";
    m_server.Handle("/" + name + ".html",
                    Script{.text = "<a href=\"" + name + "a.zip\">a</a> <a href=\"" + name + "b.pdf\">b</a>",
                           .contentType = "text/html",
                           .holdHead = page == 5});
  }
  m_server.Handle("/start.html", Script{.text = start, .contentType = "text/html"});
  const std::size_t pages = 1 + kPages;
  const std::size_t links = kPages * 3;
  Start();
  const std::string title = Frame().windowTitle().toStdString();
  Frame().AddressBox()->lineEdit()->setText(QString::fromStdString(Url("/start.html")));
  Run(cmd::ID_DEEP_CRAWL_PAGE);

  // The start page and four pages fetched, with their files; the fifth
  // waits for its answer and the four after it wait to be looked at.
  ASSERT_TRUE(WaitUntil([&] { return Frame().ProgressText() == "5 pages fetched, 13 links found, 4 waiting"; }))
      << Frame().ProgressText().toStdString();
  SaveScreenshot(&Frame(), "crawler-deep-crawl-progress");
  m_server.ReleaseHolds();
  ASSERT_TRUE(WaitUntil([&] { return !Doc().IsBusy() && RowNames().size() == links; }));
  const std::string counts =
      std::to_string(pages) + " pages fetched, " + std::to_string(links) + " links found, 0 waiting";
  EXPECT_TRUE(WaitUntil([&] { return Frame().ProgressText().toStdString() == counts; }))
      << Frame().ProgressText().toStdString();
  std::size_t fetched = 0;
  for (const RecordedRequest& request : m_server.Requests()) fetched += request.target.ends_with(".html");
  EXPECT_EQ(fetched, pages);
  // As a deep crawl from the list: neither the caption nor the history changes.
  EXPECT_EQ(Frame().windowTitle().toStdString(), title);
  EXPECT_TRUE(HistoryEntries().empty());
}

TEST_F(CrawlerWindowTest, TheQuickFilterNarrowsTheRowsWhichCopyAndSaveTakeAsShown) {
  ServeSite();
  Start();
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  Doc().SetFileFilter("zip exe html iso");
  const std::size_t requests = m_server.Requests().size();
  // Ctrl+F leads to it. Letter case aside, it looks in the name or the
  // address, on top of the extension filter.
  View().setFocus();
  PressKey(&View(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), Frame().QuickFilter());
  QTest::keyClicks(Frame().QuickFilter(), QStringLiteral("A"));
  EXPECT_EQ(RowNames(), (Names{"alpha.exe", "page2.html", "zeta.zip"}));
  SaveScreenshot(&Frame(), "crawler-quick-filter");
  Frame().QuickFilter()->setText(QString::fromStdString(Url("/big")));
  EXPECT_EQ(RowNames(), Names{"big.iso"});
  Frame().QuickFilter()->setText(QStringLiteral("i"));
  EXPECT_EQ(RowNames(), (Names{"big.iso", "zeta.zip"}));
  EXPECT_EQ(m_server.Requests().size(), requests);  // nothing fetched for it

  // Ctrl+A and Ctrl+C: every shown address, one a line.
  View().setFocus();
  PressKey(&View(), Qt::Key_A, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return Command(cmd::ID_COPY_ADDRESS)->isEnabled(); }));
  PressKey(&View(), Qt::Key_C, Qt::ControlModifier);
  const Names urls = Column(LinkListModel::kUrl);
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), urls[0] + "\n" + urls[1] + "\n");

  // Saved as shown, in either form.
  QString error;
  ASSERT_TRUE(View().SaveLinkList(QString::fromStdString(m_downloads.file("links.csv")), LinkListFormat::Csv, error));
  std::string csv = "File Name,Extension,Complete URL,File Size\r\n";
  for (std::size_t row = 0; row < urls.size(); ++row)
    csv += RowNames()[row] + "," + Column(LinkListModel::kExtension)[row] + "," + urls[row] + ",\r\n";
  EXPECT_EQ(ReadFile(m_downloads.file("links.csv")), csv);
  ASSERT_TRUE(View().SaveLinkList(QString::fromStdString(m_downloads.file("links.txt")), LinkListFormat::Text, error));
  EXPECT_EQ(ReadFile(m_downloads.file("links.txt")), urls[0] + "\n" + urls[1] + "\n");
  EXPECT_FALSE(View().SaveLinkList(QString::fromStdString(m_downloads.file("missing/links.csv")), LinkListFormat::Csv,
                                   error));

  Frame().QuickFilter()->clear();
  EXPECT_EQ(RowNames().size(), 4u);
}

TEST(LinkListExport, CsvFieldsAreQuotedOnlyWhereNeeded) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain.zip", "plain.zip"},       {"a,b.zip", "\"a,b.zip\""},        {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {" padded", "\" padded\""},     {"", ""},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

}  // namespace
