#include "crawler/app/options_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_fields.h"
#include "gui/message_boxes.h"

using gui::LabelFor;

COptionsDlg::COptionsDlg(const CrawlerOptions& values, QWidget* parent)
    : QDialog(parent),
      m_values(values),
      m_downloadDir(new QLineEdit(QString::fromStdString(values.downloadDir), this)),
      m_browse(gui::BrowseButton(m_downloadDir, this)),
      m_fileFilter(new QLineEdit(QString::fromStdString(values.fileFilter), this)),
      m_crawlDepth(gui::NumberField(values.crawlDepth, this)),
      m_excludeForeign(new QCheckBox(QStringLiteral("E&xclude Foreign Hosts"), this)) {
  setWindowTitle(QStringLiteral("Options"));
  auto* layout = new QVBoxLayout(this);

  auto* download = new QGroupBox(QStringLiteral("Download"), this);
  auto* downloadLayout = new QGridLayout(download);
  downloadLayout->addWidget(LabelFor(m_downloadDir, QStringLiteral("Download &Folder:"), download), 0, 0, 1, 2);
  m_downloadDir->setMinimumWidth(300);
  downloadLayout->addWidget(m_downloadDir, 1, 0);
  downloadLayout->addWidget(m_browse, 1, 1);
  layout->addWidget(download);

  auto* filter = new QGroupBox(QStringLiteral("Display Filter"), this);
  auto* filterLayout = new QVBoxLayout(filter);
  filterLayout->addWidget(LabelFor(m_fileFilter, QStringLiteral("File &Extensions:"), filter));
  filterLayout->addWidget(m_fileFilter);
  layout->addWidget(filter);

  auto* deep = new QGroupBox(QStringLiteral("Deep Crawl"), this);
  auto* deepLayout = new QGridLayout(deep);
  deepLayout->addWidget(LabelFor(m_crawlDepth, QStringLiteral("Crawl &Depth:"), deep), 0, 0);
  m_crawlDepth->setMaximumWidth(60);
  deepLayout->addWidget(gui::WithNote(m_crawlDepth, gui::RangeNote(kMinDepth, kMaxDepth), deep), 0, 1);
  m_excludeForeign->setChecked(values.excludeForeign);
  deepLayout->addWidget(m_excludeForeign, 1, 0, 1, 2);
  deepLayout->setColumnStretch(2, 1);
  layout->addWidget(deep);

  gui::AddOkCancel(this, layout);
}

void COptionsDlg::accept() {
  const QString folder = m_downloadDir->text().trimmed();
  if (folder.isEmpty()) return gui::RefuseField(this, m_downloadDir, QStringLiteral("Please enter a download folder."));
  bool number = false;
  const unsigned depth = m_crawlDepth->text().trimmed().toUInt(&number);
  if (!number || depth < kMinDepth || depth > kMaxDepth)
    return gui::RefuseField(this, m_crawlDepth, QStringLiteral("Please enter a crawl depth from %1 to %2.").arg(kMinDepth).arg(kMaxDepth));

  // The folder last: it is created here, once nothing else keeps the dialog open.
  const QString absolute = gui::AbsoluteFolder(folder);
  if (const QString refusal = gui::PrepareDownloadFolder(absolute); !refusal.isEmpty())
    return gui::RefuseField(this, m_downloadDir, refusal);

  m_values.downloadDir = absolute.toStdString();
  m_values.fileFilter = m_fileFilter->text().toStdString();
  m_values.crawlDepth = depth;
  m_values.excludeForeign = m_excludeForeign->isChecked();
  QDialog::accept();
}
