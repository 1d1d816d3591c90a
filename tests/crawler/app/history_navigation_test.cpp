// The main window's address bar, history, navigation, keys, busy animation
// and closing.
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "crawler/app/open_url_dialog.h"
#include "gui/busy_animation.h"
#include "gui/status_panes.h"
#include "settings/settings.h"
#include "tests/crawler/app/crawler_window_fixture.h"

namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

TEST_F(CrawlerWindowTest, EnterListsThePageAndBackForwardRefreshBrowseAsInABrowser) {
  ServeSite();
  Start();
  EXPECT_EQ(Frame().windowTitle().toStdString(), "Untitled - Fetchwick");
  EXPECT_EQ(Frame().Panes()->Message().toStdString(), "Ready");

  const std::string index = Url("/index.html");
  const std::string page2 = Url("/page2.html");
  TypeAddress(index);
  ASSERT_TRUE(WaitForPage(index));
  // HREF links first, then SRC links, in the list; the rows go by name.
  std::vector<std::string> listed;
  for (const LinkEntry* entry : Doc().Links()->Entries()) listed.push_back(entry->name);
  EXPECT_EQ(listed, (Names{"zeta.zip", "alpha.exe", "page2.html", "song.mp3", "big.iso", "pic.gif"}));
  EXPECT_EQ(RowNames(), (Names{"alpha.exe", "big.iso", "page2.html", "pic.gif", "song.mp3", "zeta.zip"}));
  EXPECT_EQ(Column(LinkListModel::kUrl)[0], Url("/alpha.exe"));
  EXPECT_EQ(Column(LinkListModel::kExtension)[0], "exe");
  EXPECT_EQ(Column(LinkListModel::kSize)[0], "");  // no size asked yet
  EXPECT_EQ(Frame().windowTitle().toStdString(), index + " - Fetchwick");
  EXPECT_EQ(HistoryEntries(), Names{index});
  EXPECT_EQ(Frame().Panes()->Message().toStdString(), "Crawl complete.");
  SaveScreenshot(&Frame(), "crawler-after-crawl");

  TypeAddress(page2);
  ASSERT_TRUE(WaitForPage(page2));
  EXPECT_EQ(RowNames(), (Names{"index.html", "other.pdf"}));
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{index});
  EXPECT_FALSE(Command(cmd::ID_GO_FORWARD)->isEnabled());

  Run(cmd::ID_GO_BACK);
  ASSERT_TRUE(WaitForPage(index));
  EXPECT_EQ(Doc().ForwardStack(), std::deque<std::string>{page2});
  EXPECT_EQ(Frame().windowTitle().toStdString(), index + " - Fetchwick");
  Run(cmd::ID_GO_FORWARD);
  ASSERT_TRUE(WaitForPage(page2));
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{index});
  EXPECT_TRUE(Doc().ForwardStack().empty());
  EXPECT_EQ(HistoryEntries(), (Names{index, page2}));

  // Refresh fetches the page of the selected entry, which the crawl left
  // showing, whatever has been typed since.
  const auto fetches = [&] {
    std::size_t count = 0;
    for (const RecordedRequest& request : m_server.Requests()) count += request.target == "/page2.html";
    return count;
  };
  const std::size_t before = fetches();
  // The crawl's address reaches the box through a posted event, and the key
  // does nothing until the idle refresh has enabled its command.
  ASSERT_TRUE(WaitUntil([&] {
    return Frame().AddressBox()->SelectedEntryText() == page2 && Command(cmd::ID_REFRESH)->isEnabled();
  }));
  Frame().AddressBox()->lineEdit()->setText(QStringLiteral("typed but not entered"));
  PressKey(&View(), Qt::Key_F5);
  ASSERT_TRUE(WaitUntil([&] { return fetches() == before + 1 && !Doc().IsBusy(); }));
  ASSERT_TRUE(WaitForPage(page2));
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{index});

  // Picking an entry crawls it without adding it again; Backspace in the
  // list goes back.
  CAddressBox* box = Frame().AddressBox();
  emit box->activated(0);
  ASSERT_TRUE(WaitForPage(index));
  EXPECT_EQ(HistoryEntries(), (Names{index, page2}));
  View().setFocus();
  PressKey(&View(), Qt::Key_Backspace);
  ASSERT_TRUE(WaitForPage(page2));
}

TEST_F(CrawlerWindowTest, MessagesAndPromptsTakeTheRoomTheStatusPaneLeavesEmpty) {
  Start();
  QStatusBar* bar = Frame().statusBar();
  QLabel* message = nullptr;
  QLabel* status = nullptr;
  for (QLabel* pane : bar->findChildren<QLabel*>()) {
    if (pane->accessibleName() == QStringLiteral("Message")) message = pane;
    if (pane->accessibleName() == QStringLiteral("Download status")) status = pane;
  }
  ASSERT_TRUE(message && status);
  const QString crawling = QStringLiteral("Deep Crawling http://127.0.0.1:8080/docs/library/functions.html");
  const QString prompt = QStringLiteral("Recursively crawl the site from this page.");
  const int crawlingWidth = message->fontMetrics().horizontalAdvance(crawling);
  const int promptWidth = bar->fontMetrics().horizontalAdvance(prompt);

  // A crawl text: its pane is as wide as the whole text.
  Frame().SetStatusText(crawling);
  EXPECT_TRUE(WaitUntil([&] { return message->width() > crawlingWidth && message->text() == crawling; }));
  SaveScreenshot(&Frame(), "crawler-long-message");
  // A prompt, which the bar paints up to the status pane.
  bar->showMessage(prompt);
  EXPECT_TRUE(WaitUntil([&] { return status->x() - 8 > promptWidth; }));
  SaveScreenshot(&Frame(), "crawler-long-prompt");
  bar->clearMessage();

  // Only a text longer than the bar ends in an ellipsis; the pane still
  // holds it whole.
  const QString endless = crawling.repeated(10);
  Frame().SetStatusText(endless);
  EXPECT_TRUE(WaitUntil([&] { return message->text().endsWith(QChar(0x2026)); }));
  EXPECT_EQ(Frame().Panes()->Message(), endless);
  EXPECT_EQ(message->toolTip(), endless);
}

TEST_F(CrawlerWindowTest, HistoryIsSavedInByteOrderAndComesBackInTheStoresOrder) {
  for (const char* page : {"/b.html", "/a.html", "/c.html"}) m_server.Handle(page, Script{.text = "<p>"});
  // A name longer than any buffer is loaded whole.
  const std::string longAddress = "http://example.invalid/" + std::string(300, 'x');
  ASSERT_TRUE(ReplaceHistory({longAddress}));
  Start();
  EXPECT_EQ(HistoryEntries(), Names{longAddress});
  Frame().ClearHistory();
  EXPECT_TRUE(HistoryEntries().empty());
  EXPECT_TRUE(ReadHistory().empty());

  for (const char* page : {"/b.html", "/a.html", "/c.html"}) {
    TypeAddress(Url(page));
    ASSERT_TRUE(WaitForPage(Url(page)));
  }
  EXPECT_EQ(HistoryEntries(), (Names{Url("/b.html"), Url("/a.html"), Url("/c.html")}));
  Close();
  EXPECT_EQ(ReadHistory(), (Names{Url("/a.html"), Url("/b.html"), Url("/c.html")}));
  Start();
  EXPECT_EQ(HistoryEntries(), ReadHistory());
}

TEST_F(CrawlerWindowTest, OpenUrlFromCtrlOCrawlsTheAddressEntered) {
  ServeSite();
  Start();
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<COpenURLDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Open URL"));
    QTest::keyClicks(dialog->Field(), QString::fromStdString(Url("/index.html")));
    QTest::keyClick(dialog->Field(), Qt::Key_Return);
  });
  PressKey(&Frame(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  EXPECT_EQ(HistoryEntries(), Names{Url("/index.html")});
}

TEST_F(CrawlerWindowTest, TheAnimationPlaysWhileBusyAndClosingEndsCrawlsAndBoxes) {
  m_server.Handle("/held.html", Script{.text = "<a href=\"x.zip\">", .holdHead = true});
  Start();
  gui::BusyAnimation* animation = Frame().Animation();
  EXPECT_FALSE(animation->isPlaying());
  TypeAddress(Url("/held.html"));
  ASSERT_TRUE(WaitUntil([&] { return animation->isPlaying() && Command(cmd::ID_STOP_CRAWL)->isEnabled(); }));
  Run(cmd::ID_STOP_CRAWL);
  ASSERT_TRUE(WaitUntil([&] { return !animation->isPlaying(); }));
  EXPECT_EQ(animation->currentFrame(), 0);

  // A crawl thread waiting on its box and another blocked in a fetch: the
  // window still closes at once, and the history is saved.
  TypeAddress(Url("/held.html"));
  auto list = std::make_shared<LinkList>();
  LinkEntry refused;
  refused.url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.zip";
  Doc().StartSizeQuery(SizeQueryJob{list, {list->Append(refused)}, {}});
  ASSERT_TRUE(WaitUntil([&] { return App().Boxes().OpenBoxes().size() == 1; }));
  Frame().AddToHistory("http://kept.invalid/");
  const auto started = std::chrono::steady_clock::now();
  Close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(ReadHistory(), Names{"http://kept.invalid/"});
}

TEST_F(CrawlerWindowTest, BrowserKeysAndMouseButtonsGoBackForwardAndOpenRows) {
  ServeSite();
  Start();
  const std::string index = Url("/index.html");
  const std::string page2 = Url("/page2.html");
  TypeAddress(index);
  ASSERT_TRUE(WaitForPage(index));
  TypeAddress(page2);
  ASSERT_TRUE(WaitForPage(page2));
  EXPECT_EQ(Command(cmd::ID_GO_BACK)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Left));
  // The menus show the keys beside the commands.
  for (QAction* title : Frame().menuBar()->actions()) {
    if (title->text() != QStringLiteral("&View")) continue;
    QMenuBar* bar = Frame().menuBar();
    title->menu()->popup(bar->mapToGlobal(bar->actionGeometry(title).bottomLeft()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(title->menu()));
    SaveScreenshotWithPopup(&Frame(), title->menu(), "crawler-view-menu");
    title->menu()->close();
  }

  // Each once the idle refresh has enabled the command, as for the user.
  const auto enabled = [&](int id) { return WaitUntil([&] { return Command(id)->isEnabled(); }); };
  View().setFocus();
  ASSERT_TRUE(enabled(cmd::ID_GO_BACK));
  PressKey(&View(), Qt::Key_Left, Qt::AltModifier);
  ASSERT_TRUE(WaitForPage(index));
  ASSERT_TRUE(enabled(cmd::ID_GO_FORWARD));
  PressKey(&View(), Qt::Key_Right, Qt::AltModifier);
  ASSERT_TRUE(WaitForPage(page2));
  ASSERT_TRUE(enabled(cmd::ID_GO_BACK));
  QTest::mousePress(View().viewport(), Qt::BackButton, {}, QPoint(5, 5));
  ASSERT_TRUE(WaitForPage(index));
  ASSERT_TRUE(enabled(cmd::ID_GO_FORWARD));
  QTest::mousePress(Frame().statusBar(), Qt::ForwardButton, {}, QPoint(5, 5));
  ASSERT_TRUE(WaitForPage(page2));

  // The menu key and Shift+F10 open the row menu once, at the current row.
  Select({"other.pdf"});
  for (const auto& [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
                                       std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
    int menus = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        ++menus;
        menu->close();
      }
    });
    closer.start(10);
    PressKey(&View(), key, modifiers);
    WaitUntil([] { return false; }, 100ms);
    EXPECT_EQ(menus, 1) << key;
  }

  // Enter on a row does what a double click does: a page is crawled...
  Select({"index.html"});
  PressKey(&View(), Qt::Key_Return);
  ASSERT_TRUE(WaitForPage(index));
  // ...and a file downloaded (a double click is a click, then the second).
  Select({"alpha.exe"});
  const QPoint row = View().visualRect(View().selectionModel()->currentIndex()).center();
  QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, row);
  QTest::mouseDClick(View().viewport(), Qt::LeftButton, {}, row);
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(m_downloads.file("alpha.exe")).size() == 1010; }));
}

TEST_F(CrawlerWindowTest, AnAddressDroppedOnTheWindowIsCrawledAsIfTyped) {
  ServeSite();
  Start();
  QMimeData urls;
  urls.setUrls({QUrl(QString::fromStdString(Url("/page2.html"))), QUrl(QStringLiteral("http://example.invalid/"))});
  QMimeData text;
  text.setText(QStringLiteral("\n  ") + QString::fromStdString(Url("/index.html")) + QStringLiteral("  \nmore"));
  for (const auto& [data, address] : {std::pair{&urls, Url("/page2.html")}, std::pair{&text, Url("/index.html")}}) {
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(&Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(&Frame(), &drop);
    ASSERT_TRUE(WaitForPage(address));
  }
  EXPECT_EQ(HistoryEntries(), (Names{Url("/page2.html"), Url("/index.html")}));
  EXPECT_EQ(Doc().BackStack(), std::deque<std::string>{Url("/page2.html")});
}

TEST_F(CrawlerWindowTest, TheAddressColumnTakesTheSpareWidthAndTheLayoutIsRemembered) {
  ServeSite();
  Start();
  Frame().setGeometry(40, 30, 1280, 800);
  QHeaderView* header = View().header();
  const auto otherWidths = [&] {
    return header->sectionSize(LinkListModel::kName) + header->sectionSize(LinkListModel::kExtension) +
           header->sectionSize(LinkListModel::kSize);
  };
  EXPECT_TRUE(WaitUntil([&] {
    return header->sectionSize(LinkListModel::kUrl) + otherWidths() == View().viewport()->width();
  }));
  TypeAddress(Url("/index.html"));
  ASSERT_TRUE(WaitForPage(Url("/index.html")));
  SaveScreenshot(&Frame(), "crawler-1280x800");

  header->resizeSection(LinkListModel::kName, 210);
  header->moveSection(header->visualIndex(LinkListModel::kSize), 0);
  Close();
  Start();
  EXPECT_EQ(Frame().size(), QSize(1280, 800));
  header = View().header();
  EXPECT_EQ(header->sectionSize(LinkListModel::kName), 210);
  EXPECT_EQ(header->logicalIndex(0), LinkListModel::kSize);
  EXPECT_EQ(header->logicalIndex(1), LinkListModel::kName);
}

}  // namespace
