// Queuebay beside its queue: the history, closing with work left, adding
// many addresses at once, one window per user, keys and layout.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "manager/app/history_list_model.h"
#include "manager/app/history_panel.h"
#include "manager/app/history_view.h"
#include "tests/manager/app/manager_window_fixture.h"
#include "tests/support/child_process.h"

namespace {

using Names = std::vector<std::string>;
using queuebay::HistoryListModel;

class QueuebayDailyTest : public ManagerWindowTest {
 protected:
  HistoryListModel& History() { return App().History()->Model(); }
  Names HistoryColumn(int column) {
    Names texts;
    for (int row = 0; row < History().rowCount(); ++row)
      texts.push_back(History().data(History().index(row, column), Qt::DisplayRole).toString().toStdString());
    return texts;
  }
  std::string HistoryFile() { return m_settings.dataHome() + "/fetchwick/history.json"; }
  // Answers the next modal box with the button whose text starts with `button`.
  static void AnswerNextBox(const QString& button, const std::string& screenshot = {}) {
    QTimer::singleShot(0, [=] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_TRUE(box);
      if (!screenshot.empty()) SaveScreenshot(box, screenshot);
      for (QAbstractButton* candidate : box->buttons())
        if (candidate->text().remove('&').startsWith(button)) return candidate->click();
      ADD_FAILURE() << "no button " << button.toStdString();
    });
  }
};

TEST_F(QueuebayDailyTest, EndingsLandInTheHistoryAndSurviveARestart) {
  RegisterEngine(2);
  m_server.Handle("/whole.bin", {.size = 20000});
  m_server.Handle("/held.iso", {.size = 4'000'000, .holdAfter = 1'200'000});
  m_server.Handle("/held.zip", {.size = 1'000'000, .holdAfter = 700'000});
  Start(true, {m_server.Url("/whole.bin"), m_server.Url("/missing.bin")});
  ASSERT_TRUE(WaitUntil([&] { return History().rowCount() == 2; }));
  CloseMessageBoxes();  // the 404's box
  App().AddAddresses({m_server.Url("/held.iso"), m_server.Url("/held.zip")});
  ASSERT_TRUE(WaitUntil([&] { return Column(queuebay::DownloadListModel::kDownloaded) == Names{"1200000", "700000"}; }));
  // The bars follow the records while both wait part-way.
  EXPECT_EQ(Model().index(1, 3).data(queuebay::DownloadListModel::kProgressRole).toDouble(), 0.7);
  SaveScreenshot(&Frame(), "manager-downloading");
  Run(qcmd::ID_STOP_DOWNLOADS);
  ASSERT_TRUE(WaitUntil([&] { return History().rowCount() == 4; }));
  m_server.ReleaseHolds();
  // Newest first; the first two ended in either order.
  const Names names = HistoryColumn(HistoryListModel::kFileName);
  const Names outcomes = HistoryColumn(HistoryListModel::kOutcome);
  const int whole = names[3] == "whole.bin" ? 3 : 2;
  EXPECT_EQ(names[5 - whole], "missing.bin");
  EXPECT_EQ(Names(outcomes.begin(), outcomes.begin() + 2), (Names{"Stopped", "Stopped"}));
  EXPECT_EQ(outcomes[whole], "Finished");
  EXPECT_EQ(outcomes[5 - whole], "Failed: Download error: 404 Not Found");
  EXPECT_EQ(HistoryColumn(HistoryListModel::kSize)[whole], "19.5 KB");
  SaveScreenshot(&Frame(), "manager-history");

  Start();
  EXPECT_EQ(HistoryColumn(HistoryListModel::kOutcome), outcomes);
  // Download Again goes the way Add URL goes.
  App().History()->View()->selectionModel()->select(History().index(whole, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  Run(qcmd::ID_HISTORY_DOWNLOAD_AGAIN);
  ASSERT_TRUE(WaitUntil([&] { return History().rowCount() == 5; }));
  EXPECT_EQ(HistoryColumn(HistoryListModel::kOutcome).front(), "Finished");
  Run(qcmd::ID_HISTORY_CLEAR);
  EXPECT_EQ(History().rowCount(), 0);
}

TEST_F(QueuebayDailyTest, ADamagedHistoryIsSetAsideAndANewOneBegins) {
  std::filesystem::create_directories(m_settings.dataHome() + "/fetchwick");
  WriteFile(HistoryFile(), "{\"version\":1,\"entries\":[{\"url\":");
  Start(false);
  const Names texts = OpenMessageTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(texts.front().starts_with("The download history could not be read.")) << texts.front();
  EXPECT_FALSE(std::filesystem::exists(HistoryFile()));
  EXPECT_EQ(History().rowCount(), 0);
}

TEST_F(QueuebayDailyTest, ClosingWithDownloadsLeftAsksAndTheNextStartOffersThemAgain) {
  RegisterEngine(0);
  m_askOnClose = true;
  Start(true, {"http://127.0.0.1:1/one.zip", "http://127.0.0.1:1/two.zip"});
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  AnswerNextBox("Cancel");
  EXPECT_FALSE(Frame().close());
  EXPECT_TRUE(Frame().isVisible());
  AnswerNextBox("Close Queuebay", "manager-close-question");
  EXPECT_TRUE(Frame().close());
  m_app.reset();
  m_engine.StopServers();  // the queue is gone with the engine

  Start();
  QMessageBox* offer = App().ResumeOffer();
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->text().toStdString(), "2 downloads were not finished when Queuebay last closed:\none.zip\ntwo.zip");
  SaveScreenshot(offer, "manager-resume-offer");
  for (QAbstractButton* button : offer->buttons())
    if (button->text() == "&Queue Again") button->click();
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  // Offered once only.
  App().SetAskOnClose(false);
  Start();
  EXPECT_FALSE(App().ResumeOffer());
}

TEST_F(QueuebayDailyTest, PastedAndDroppedLinesAreAddedAndTheRefusedToldOnce) {
  RegisterEngine(0);
  Start();
  QGuiApplication::clipboard()->setText("http://127.0.0.1:1/a.zip\n ftp://h/b.zip\r\nhttps://127.0.0.1:1/c.zip\n");
  PressKey(&View(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  EXPECT_EQ(OpenMessageTexts(), Names{"Not valid URL:\nftp://h/b.zip"});
  CloseMessageBoxes();

  QMimeData data;
  data.setUrls({QUrl("http://127.0.0.1:1/d.zip"), QUrl("http://127.0.0.1:1/e%20f.zip")});
  const QPoint at = View().viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(View().viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(View().viewport(), &drop);
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 4; }));
  EXPECT_EQ(Column(queuebay::DownloadListModel::kFileName), (Names{"a.zip", "c.zip", "d.zip", "e f.zip"}));
}

TEST_F(QueuebayDailyTest, ASecondQueuebayHandsItsAddressesToTheFirstAndEnds) {
  RegisterEngine(0);
  Start();
  ChildProcess second({QUEUEBAY_PROGRAM, "http://127.0.0.1:1/handed.zip"});
  std::optional<int> code;
  // Wait gives the code once; the loop keeps the window's events going.
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (!code) code = second.Wait(std::chrono::milliseconds(1));
        return code.has_value();
      },
      std::chrono::seconds(30)));
  EXPECT_EQ(*code, 0);
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 1; }));
  EXPECT_EQ(Model().UrlAt(0), "http://127.0.0.1:1/handed.zip");
}

TEST_F(QueuebayDailyTest, KeysWorkAndTheLayoutIsKept) {
  RegisterEngine(0);
  Start(true, {"http://127.0.0.1:1/a.zip", "http://127.0.0.1:1/b.zip", "http://127.0.0.1:1/c.zip"});
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 3; }));
  View().setFocus();
  PressKey(&View(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(View().SelectedUrls().size(), 3u);
  for (const QKeyCombination key : {QKeyCombination(Qt::SHIFT, Qt::Key_F10), QKeyCombination(Qt::Key_Menu)}) {
    // The menu runs its own loop; a timer there reads and closes it.
    QString first;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        first = menu->actions().front()->text();
        menu->close();
      }
    });
    watch.start(10);
    PressKey(&View(), key.key(), key.keyboardModifiers());
    WaitUntil([&] { return !first.isEmpty(); }, std::chrono::seconds(5));
    EXPECT_EQ(first, "Cancel Download(s)");
  }
  SelectRows({1});
  PressKey(&View(), Qt::Key_Delete);
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  EXPECT_EQ(Model().UrlAt(1), "http://127.0.0.1:1/c.zip");

  View().header()->resizeSection(1, 333);
  View().header()->moveSection(5, 0);
  Frame().resize(900, 500);
  Start();
  EXPECT_EQ(View().header()->sectionSize(1), 333);
  EXPECT_EQ(View().header()->logicalIndex(0), 5);
  EXPECT_EQ(Frame().size(), QSize(900, 500));
}

}  // namespace
