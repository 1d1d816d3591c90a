// The Options dialog: its fields, the checks that keep it open, and what OK
// hands to the document.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "crawler/app/options_dialog.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/crawler/app/crawler_window_fixture.h"

namespace {

using Names = std::vector<std::string>;

// Presses OK and says whether the dialog closed; a refusal's message is
// closed and its text kept.
bool PressOk(COptionsDlg& dialog, std::string* refusal = nullptr) {
  QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
  const std::vector<std::string> texts = OpenMessageTexts();
  if (refusal) *refusal = texts.empty() ? "" : texts.front();
  CloseMessageBoxes();
  return !dialog.isVisible();
}

TEST_F(CrawlerWindowTest, OptionsShowsTheSettingsAndOkAppliesThemWhenTheyAreSound) {
  Start();
  EXPECT_TRUE(WithModalDialog<COptionsDlg>(Command(cmd::ID_OPTIONS), [&](COptionsDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Options"));
    Names groups;
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) groups.push_back(group->title().toStdString());
    EXPECT_EQ(groups, (Names{"Download", "Display Filter", "Deep Crawl"}));
    // Fields in order, with what the document runs with.
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), m_downloads.path() + "/");
    EXPECT_EQ(dialog.BrowseButton()->text(), QStringLiteral("..."));
    EXPECT_EQ(dialog.FilterField()->text(), QString());
    EXPECT_EQ(dialog.DepthField()->text(), QStringLiteral("5"));
    EXPECT_TRUE(dialog.ExcludeForeignBox()->isChecked());
    EXPECT_EQ(dialog.ExcludeForeignBox()->text().remove(QLatin1Char('&')), QStringLiteral("Exclude Foreign Hosts"));
    // The depth takes digits only and shows its range.
    EXPECT_TRUE(HasLabel(dialog, QStringLiteral("(1\u201320)")));
    dialog.DepthField()->clear();
    QTest::keyClicks(dialog.DepthField(), "a1-b2");
    EXPECT_EQ(dialog.DepthField()->text(), QStringLiteral("12"));
    SaveScreenshot(&dialog, "crawler-options");

    // Depths outside 1 to 20, or no number, keep the dialog open with a
    // message that names the bounds; so does an empty folder.
    for (const char* depth : {"0", "21", "", "two"}) {
      dialog.DepthField()->setText(QString::fromLatin1(depth));
      std::string refusal;
      EXPECT_FALSE(PressOk(dialog, &refusal)) << depth;
      EXPECT_EQ(refusal, "Please enter a crawl depth from 1 to 20.") << depth;
      EXPECT_EQ(dialog.focusWidget(), dialog.DepthField());
    }
    dialog.DepthField()->setText(QStringLiteral("20"));
    dialog.FolderField()->clear();
    std::string refusal;
    EXPECT_FALSE(PressOk(dialog, &refusal));
    EXPECT_EQ(refusal, "Please enter a download folder.");
    ExpectFolderRefusals(dialog, dialog.FolderField(), m_downloads, "crawler-options-folder-refused");

    dialog.FolderField()->setText(QString::fromStdString(m_downloads.path() + "/chosen"));
    dialog.FilterField()->setText(QStringLiteral("ZIP, exe;*.gif"));
    dialog.ExcludeForeignBox()->setChecked(false);
    EXPECT_TRUE(PressOk(dialog));
  }));
  EXPECT_EQ(Doc().DownloadDirectory(), m_downloads.path() + "/chosen/");
  EXPECT_TRUE(std::filesystem::is_directory(m_downloads.file("chosen")));  // made by OK
  EXPECT_EQ(Doc().CrawlDepth(), 20);
  EXPECT_FALSE(Doc().ExcludeForeign());
  EXPECT_EQ(Doc().FileFilter(), (std::set<std::string>{"exe", "gif", "zip"}));
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  EXPECT_EQ(ReadSetting(key.get(), setting::kCrawlDepth), 20u);
  EXPECT_EQ(ReadSetting(key.get(), setting::kExcludeForeign), 0u);
  EXPECT_EQ(ReadFileFilter(key.get()).value_or(""), "ZIP, exe;*.gif");

  // The next opening shows the filter as the set it became; Cancel changes nothing.
  EXPECT_TRUE(WithModalDialog<COptionsDlg>(Command(cmd::ID_OPTIONS), [&](COptionsDlg& dialog) {
    EXPECT_EQ(dialog.FilterField()->text(), QStringLiteral("exe,gif,zip,"));
    EXPECT_EQ(dialog.DepthField()->text(), QStringLiteral("20"));
    dialog.DepthField()->setText(QStringLiteral("3"));
    dialog.reject();
  }));
  EXPECT_EQ(Doc().CrawlDepth(), 20);
}

TEST_F(CrawlerWindowTest, ARelativeFolderIsMadeWhole) {
  Start();
  // OK creates the folder: in the test's own, not wherever the test runs.
  const QString runningIn = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(m_downloads.path())));
  EXPECT_TRUE(WithModalDialog<COptionsDlg>(Command(cmd::ID_OPTIONS), [&](COptionsDlg& dialog) {
    dialog.FolderField()->setText(QStringLiteral("relative/place"));
    EXPECT_TRUE(PressOk(dialog));
  }));
  EXPECT_EQ(Doc().DownloadDirectory(), QDir::currentPath().toStdString() + "/relative/place/");
  QDir::setCurrent(runningIn);
}

}  // namespace
