#include "tests/crawler/app/crawler_window_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QTest>

#include "settings/settings.h"
#include "settings/settings_key.h"

void CrawlerWindowTest::ServeSite() {
  m_server.Handle("/index.html", Script{.text = "<html><body>\n"
                                                "<a href=\"zeta.zip\">z</a> <A HREF=\"alpha.exe\">a</A>\n"
                                                "<a href=\"page2.html\">2</a> <img src=\"pic.gif\">\n"
                                                "<a href=\"song.mp3\">s</a> <a href=\"big.iso\">b</a>\n"
                                                "</body></html>",
                                        .contentType = "text/html"});
  m_server.Handle("/page2.html", Script{.text = "<a href=\"index.html\">i</a> <a href=\"other.pdf\">o</a>",
                                        .contentType = "text/html"});
  for (const char* file : {"/zeta.zip", "/alpha.exe", "/pic.gif", "/song.mp3", "/other.pdf"})
    m_server.Handle(file, Script{.size = 1000 + std::string(file).size()});
  // The server gives no length for this one.
  m_server.Handle("/big.iso", Script{.size = 5000, .framing = Framing::Chunked});
}

void CrawlerWindowTest::Start(EngineUse engine, const std::vector<std::string>& arguments) {
  {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key);
    ASSERT_TRUE(WriteDownloadDirectory(*key, m_downloads.path()));
  }
  DocOptions options;
  options.engine = engine;
  options.sessions.proxy = http::ProxyMode::Direct;
  options.sessions.connectTimeout = std::chrono::seconds(5);
  options.sessions.receiveTimeout = std::chrono::seconds(10);
  m_app = std::make_unique<CFetchwickApp>();
  ASSERT_TRUE(m_app->InitInstance(arguments, options));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
}

void CrawlerWindowTest::Close() { CloseProgram(m_app); }

void CrawlerWindowTest::TearDown() {
  CloseMessageBoxes();
  Close();
}

void CrawlerWindowTest::Run(int id) { TriggerWhenEnabled(Command(id)); }

void CrawlerWindowTest::TypeAddress(const std::string& url) {
  CAddressBox* box = Frame().AddressBox();
  box->lineEdit()->clear();
  QTest::keyClicks(box->lineEdit(), QString::fromStdString(url));
  QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}

bool CrawlerWindowTest::WaitForPage(const std::string& url) {
  // The address box learns the address through a posted event after the
  // document: the page is in place once both have it.
  return WaitUntil([&] {
    return Doc().CurrentURL() == url && !Doc().IsBusy() && View().Model().List() == Doc().Links() &&
           Frame().GetAddressText(false) == url;
  });
}

std::vector<std::string> CrawlerWindowTest::Column(int column) {
  std::vector<std::string> texts;
  const QAbstractItemModel& model = View().Model();
  for (int row = 0; row < model.rowCount(); ++row)
    texts.push_back(model.data(model.index(row, column), Qt::DisplayRole).toString().toStdString());
  return texts;
}

void CrawlerWindowTest::Select(const std::vector<std::string>& names, int column) {
  QItemSelectionModel* selection = View().selectionModel();
  selection->clearSelection();
  const std::vector<std::string> shown = Column(column);
  for (const std::string& name : names) {
    const auto at = std::find(shown.begin(), shown.end(), name);
    ASSERT_NE(at, shown.end()) << name;
    const QModelIndex row = View().Model().index(static_cast<int>(at - shown.begin()), 0);
    selection->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
  }
}

std::vector<std::string> CrawlerWindowTest::HistoryEntries() {
  std::vector<std::string> entries;
  CAddressBox* box = Frame().AddressBox();
  for (int i = 0; i < box->count(); ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}
