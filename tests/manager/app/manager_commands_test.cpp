// Add URL and Options: their checks, and what reaches the engine.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "manager/app/add_url_dialog.h"
#include "manager/app/download_options_dialog.h"
#include "manager/app/ending_notices.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/manager/app/manager_window_fixture.h"

namespace {

using Names = std::vector<std::string>;

// Presses OK; gives the text of a refusal (closed again), empty when none,
// and its caption and icon.
std::string PressOk(QDialog& dialog, std::string* caption = nullptr, QMessageBox::Icon* icon = nullptr) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
  const std::vector<QMessageBox*> boxes = OpenMessageBoxes();
  const std::string text = boxes.empty() ? "" : boxes.front()->text().toStdString();
  if (caption) *caption = boxes.empty() ? "" : boxes.front()->windowTitle().toStdString();
  if (icon) *icon = boxes.empty() ? QMessageBox::NoIcon : boxes.front()->icon();
  CloseMessageBoxes();
  return text;
}

TEST_F(ManagerWindowTest, AddUrlTakesHttpAndHttpsAndNamesTheFileByTheLastSegment) {
  RegisterEngine(0);
  Start();
  EXPECT_TRUE(WithModalDialog<queuebay::CAddUrlDlg>(Command(qcmd::ID_ADD_URL), [&](queuebay::CAddUrlDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add URL"));
    for (const char* refused : {"HTTP://h/x", "ftp://h/x", "http", ""}) {
      dialog.Field()->setPlainText(QString::fromLatin1(refused));
      std::string caption;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      EXPECT_EQ(PressOk(dialog, &caption, &icon), "Not valid URL") << refused;
      EXPECT_EQ(caption, "Fetchwick Download Manager");
      EXPECT_EQ(icon, QMessageBox::Critical);
      EXPECT_TRUE(dialog.isVisible());
      EXPECT_EQ(dialog.Field()->toPlainText().toStdString(), refused);
    }
    SaveScreenshot(&dialog, "manager-add-url");
    dialog.Field()->setPlainText(QString::fromStdString(m_server.Url("/dir/get.php?id=7")));
    EXPECT_EQ(PressOk(dialog), "");
    EXPECT_FALSE(dialog.isVisible());
  }));
  EXPECT_TRUE(WithModalDialog<queuebay::CAddUrlDlg>(Command(qcmd::ID_CONTEXT_ADD_URL), [&](queuebay::CAddUrlDlg& dialog) {
    dialog.Field()->setPlainText(QStringLiteral("https://127.0.0.1:1/a.zip"));
    EXPECT_EQ(PressOk(dialog), "");
    EXPECT_EQ(dialog.FileName(), "a.zip");
  }));
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  EXPECT_EQ(Column(queuebay::DownloadListModel::kFileName), (Names{"get.php", "a.zip"}));
  EXPECT_EQ(EngineQueue(), (Names{m_server.Url("/dir/get.php?id=7"), "https://127.0.0.1:1/a.zip"}));

  // An address that ends with "/" is named by its host.
  EXPECT_TRUE(WithModalDialog<queuebay::CAddUrlDlg>(Command(qcmd::ID_ADD_URL), [&](queuebay::CAddUrlDlg& dialog) {
    dialog.Field()->setPlainText(QStringLiteral("http://127.0.0.1:1/folder/"));
    EXPECT_EQ(PressOk(dialog), "");
    EXPECT_EQ(dialog.FileName(), "127.0.0.1");
  }));
  // Several lines: one refused keeps the dialog open and is named; blank
  // lines and the space around each address do not count.
  EXPECT_TRUE(WithModalDialog<queuebay::CAddUrlDlg>(Command(qcmd::ID_ADD_URL), [&](queuebay::CAddUrlDlg& dialog) {
    dialog.Field()->setPlainText(QStringLiteral("http://127.0.0.1:1/b.zip\nftp://h/x\n"));
    EXPECT_EQ(PressOk(dialog), "Not valid URL:\nftp://h/x");
    EXPECT_TRUE(dialog.isVisible());
    dialog.Field()->setPlainText(QStringLiteral("http://127.0.0.1:1/b.zip\n\n  http://127.0.0.1:1/c.zip \n"));
    EXPECT_EQ(PressOk(dialog), "");
  }));
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 5; }));
  EXPECT_EQ(Column(queuebay::DownloadListModel::kFileName), (Names{"get.php", "a.zip", "127.0.0.1", "b.zip", "c.zip"}));
}

TEST_F(ManagerWindowTest, OptionsShowTheStoreAndPassCheckedNumbersToTheEngine) {
  RegisterEngine(0);
  {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    ASSERT_TRUE(key);
    key->DeleteValue(setting::kThreadCount.name);  // absent: shown as 5
    ASSERT_TRUE(WriteSetting(*key, setting::kMaxRetries, 9));
  }
  Start();
  EXPECT_TRUE(WithModalDialog<queuebay::CDownloadOptionsDlg>(Command(qcmd::ID_OPTIONS), [&](queuebay::CDownloadOptionsDlg& dialog) {
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), m_downloads.path() + "/");
    EXPECT_EQ(dialog.ThreadField()->text(), QStringLiteral("5"));
    EXPECT_EQ(dialog.RetryField()->text(), QStringLiteral("9"));
    // Numbers take digits only; the thread count shows its range and when
    // it applies.
    EXPECT_TRUE(HasLabel(dialog, QStringLiteral("(1\u201350)")));
    EXPECT_EQ(dialog.ThreadNote()->text().toStdString(), "A new number applies when the download engine next starts.");
    for (QLineEdit* field : {dialog.ThreadField(), dialog.RetryField()}) {
      field->clear();
      QTest::keyClicks(field, "abc0-7");
      EXPECT_EQ(field->text(), QStringLiteral("07"));
    }
    dialog.ThreadField()->setText(QStringLiteral("5"));
    dialog.RetryField()->setText(QStringLiteral("9"));
    SaveScreenshot(&dialog, "manager-options");
    const std::pair<const char*, const char*> refusals[] = {
        {"0", "Maximum Concurrent Downloads must be from 1 to 50."},
        {"51", "Maximum Concurrent Downloads must be from 1 to 50."},
        {"-1", "Maximum Concurrent Downloads must be from 1 to 50."},
        {"many", "Maximum Concurrent Downloads must be a number."},
    };
    for (const auto& [threads, refusal] : refusals) {
      dialog.ThreadField()->setText(QString::fromLatin1(threads));
      EXPECT_EQ(PressOk(dialog), refusal) << threads;
      EXPECT_EQ(dialog.focusWidget(), dialog.ThreadField());
    }
    dialog.ThreadField()->setText(QStringLiteral("50"));
    dialog.RetryField()->setText(QStringLiteral("x"));
    EXPECT_EQ(PressOk(dialog), "Maximum Retry Attempts must be a number.");
    dialog.FolderField()->clear();
    dialog.RetryField()->setText(QStringLiteral("-1"));
    EXPECT_EQ(PressOk(dialog), "Please enter a download folder.");
    ExpectFolderRefusals(dialog, dialog.FolderField(), m_downloads, "manager-options-folder-refused");
    dialog.FolderField()->setText(QString::fromStdString(m_downloads.path() + "/new"));
    // Desktop notices are on until turned off here; the window follows at once.
    EXPECT_TRUE(dialog.NoticesBox()->isChecked());
    dialog.NoticesBox()->setChecked(false);
    EXPECT_EQ(PressOk(dialog), "");
  }));
  EXPECT_FALSE(CQueuebayDoc::ReadStoredOptions().notices);
  EXPECT_FALSE(App().Notices()->Enabled());
  // Options is in the Downloads menu too. The engine stored what it was
  // given; the next opening shows it.
  QMenu* downloads = nullptr;
  for (QAction* menu : Frame().menuBar()->actions())
    if (menu->text() == QStringLiteral("&Downloads")) downloads = menu->menu();
  ASSERT_TRUE(downloads);
  ASSERT_TRUE(downloads->actions().contains(Command(qcmd::ID_OPTIONS)));
  EXPECT_TRUE(WithModalDialog<queuebay::CDownloadOptionsDlg>(Command(qcmd::ID_OPTIONS), [&](queuebay::CDownloadOptionsDlg& dialog) {
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), m_downloads.path() + "/new/");
    EXPECT_EQ(dialog.ThreadField()->text(), QStringLiteral("50"));
    EXPECT_EQ(dialog.RetryField()->text(), QStringLiteral("4294967295"));
    dialog.ThreadField()->setText(QStringLiteral("1"));
    dialog.RetryField()->setText(QStringLiteral("12abc"));
    EXPECT_EQ(PressOk(dialog), "");
  }));
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  std::uint32_t threads = 0, retries = 0;
  ASSERT_TRUE(key->ReadDword(setting::kThreadCount.name, threads));
  ASSERT_TRUE(key->ReadDword(setting::kMaxRetries.name, retries));
  EXPECT_EQ(threads, 1u);
  EXPECT_EQ(retries, 12u);

  // Open Downloads asks the engine for its folder.
  DesktopStandIns desktop({"xdg-open"});
  Run(qcmd::ID_OPEN_DOWNLOADS);
  ASSERT_TRUE(desktop.WaitForStarts("xdg-open", 1));
  EXPECT_EQ(desktop.Starts("xdg-open").front(), Names{m_downloads.path() + "/new/"});
}

TEST_F(ManagerWindowTest, AddressesOnTheCommandLineAreAddedWithTheSameCheck) {
  RegisterEngine(0);
  Start(true, {"http://127.0.0.1:1/one.zip", "ftp://127.0.0.1/no.zip", "https://127.0.0.1:1/two.zip"});
  ASSERT_TRUE(WaitUntil([&] { return Model().rowCount() == 2; }));
  EXPECT_EQ(Column(queuebay::DownloadListModel::kFileName), (Names{"one.zip", "two.zip"}));
  EXPECT_EQ(OpenMessageTexts(), Names{"Not valid URL:\nftp://127.0.0.1/no.zip"});
}

}  // namespace
