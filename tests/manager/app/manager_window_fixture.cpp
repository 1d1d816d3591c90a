#include "tests/manager/app/manager_window_fixture.h"

#include <QItemSelectionModel>
#include <QTest>

#include "settings/settings.h"
#include "settings/settings_key.h"

HRESULT RecordingSink::DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType&) {
  std::lock_guard lock(m_mutex);
  m_lines.push_back(std::to_string(dwStatus) + " " + (pszStatus ? pszStatus : "(null)"));
  return S_OK;
}

std::vector<std::string> RecordingSink::Lines() const {
  std::lock_guard lock(m_mutex);
  return m_lines;
}

void ManagerWindowTest::RegisterEngine(std::uint32_t threads) {
  auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  ASSERT_TRUE(key);
  ASSERT_TRUE(WriteDownloadDirectory(*key, m_downloads.path()));
  ASSERT_TRUE(m_engine.Register(threads));
}

void ManagerWindowTest::Start(bool createEngine, const std::vector<std::string>& arguments) {
  // One Queuebay at a time: a second would hand its addresses to the first.
  Close();
  m_app = std::make_unique<queuebay::CQueuebayApp>();
  m_app->SetAskOnClose(m_askOnClose);
  ManagerDocOptions options;
  options.createEngine = createEngine;
  ASSERT_TRUE(m_app->InitInstance(arguments, options));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
}

void ManagerWindowTest::Close() {
  // A test that failed half-way is not held up by the close question.
  if (m_app) m_app->SetAskOnClose(false);
  CloseProgram(m_app);
}

void ManagerWindowTest::TearDown() {
  CloseMessageBoxes();
  Close();
  m_ownConnection.reset();
  m_engine.StopServers();
}

void ManagerWindowTest::Run(int id) { TriggerWhenEnabled(Command(id)); }

std::vector<std::string> ManagerWindowTest::Column(int column) {
  std::vector<std::string> texts;
  for (int row = 0; row < Model().rowCount(); ++row)
    texts.push_back(Model().data(Model().index(row, column), Qt::DisplayRole).toString().toStdString());
  return texts;
}

void ManagerWindowTest::SelectRows(const std::vector<int>& rows) {
  QItemSelectionModel* selection = View().selectionModel();
  selection->clearSelection();
  for (int row : rows)
    selection->select(Model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}


IDownloadEngine& ManagerWindowTest::OwnEngine() {
  if (!m_ownConnection) {
    m_ownConnection = std::make_unique<ps::EngineConnection>();
    EXPECT_EQ(m_ownConnection->CreateEngine(), S_OK);
    EXPECT_EQ(m_ownConnection->AdviseSink(&m_events), S_OK);
  }
  return *m_ownConnection->engine();
}

std::vector<std::string> ManagerWindowTest::EngineQueue() {
  std::shared_ptr<IEnumFiles> files;
  EXPECT_EQ(OwnEngine().EnumFiles(&files), S_OK);
  std::vector<std::string> urls;
  _LinkStructType record{};
  std::uint32_t fetched = 0;
  while (files && files->Next(1, &record, &fetched) == S_OK && fetched == 1)
    urls.emplace_back(RecordText(record.szHref));
  return urls;
}
