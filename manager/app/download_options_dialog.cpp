#include "manager/app/download_options_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_fields.h"
#include "gui/message_boxes.h"
#include "manager/core/download_format.h"

namespace queuebay {

using gui::LabelFor;

CDownloadOptionsDlg::CDownloadOptionsDlg(const DownloadOptions& stored, QWidget* parent)
    : QDialog(parent),
      m_values(stored),
      m_downloadDir(new QLineEdit(QString::fromStdString(stored.downloadDir), this)),
      m_browse(gui::BrowseButton(m_downloadDir, this)),
      m_threadCount(gui::NumberField(stored.threadCount, this)),
      m_maxRetries(gui::NumberField(stored.maxRetries, this)),
      m_notices(new QCheckBox(QStringLiteral("Show a desktop &notice when a download finishes or fails"), this)) {
  setWindowTitle(QStringLiteral("Options"));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral("Download"), this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(LabelFor(m_downloadDir, QStringLiteral("Download &Folder:"), group), 0, 0, 1, 3);
  m_downloadDir->setMinimumWidth(300);
  grid->addWidget(m_downloadDir, 1, 0, 1, 2);
  grid->addWidget(m_browse, 1, 2);
  grid->addWidget(LabelFor(m_threadCount, QStringLiteral("Maximum &Concurrent Downloads:"), group), 2, 0);
  m_threadCount->setMaximumWidth(70);
  grid->addWidget(gui::WithNote(m_threadCount, gui::RangeNote(kMinThreads, kMaxThreads), group), 2, 1, 1, 2);
  // The engine sizes its set of workers when it starts.
  m_threadNote = new QLabel(QString::fromLatin1(kThreadNote), group);
  m_threadCount->setAccessibleDescription(m_threadCount->accessibleDescription() + QLatin1Char(' ') +
                                          m_threadNote->text());
  grid->addWidget(m_threadNote, 3, 1, 1, 2);
  grid->addWidget(LabelFor(m_maxRetries, QStringLiteral("Maximum &Retry Attempts:"), group), 4, 0);
  m_maxRetries->setMaximumWidth(70);
  grid->addWidget(m_maxRetries, 4, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  layout->addWidget(group);
  m_notices->setChecked(stored.notices);
  layout->addWidget(m_notices);
  gui::AddOkCancel(this, layout);
}

void CDownloadOptionsDlg::accept() {
  if (m_downloadDir->text().trimmed().isEmpty())
    return gui::RefuseField(this, m_downloadDir, QStringLiteral("Please enter a download folder."));
  const std::optional<std::uint32_t> threads = ReadNumberField(m_threadCount->text().toStdString());
  if (!threads) return gui::RefuseField(this, m_threadCount, QStringLiteral("Maximum Concurrent Downloads must be a number."));
  if (*threads < kMinThreads || *threads > kMaxThreads)
    return gui::RefuseField(this, m_threadCount, QStringLiteral("Maximum Concurrent Downloads must be from %1 to %2.")
                                     .arg(kMinThreads)
                                     .arg(kMaxThreads));
  const std::optional<std::uint32_t> retries = ReadNumberField(m_maxRetries->text().toStdString());
  if (!retries) return gui::RefuseField(this, m_maxRetries, QStringLiteral("Maximum Retry Attempts must be a number."));
  // The folder last: it is created here, once nothing else keeps the dialog open.
  const QString folder = gui::AbsoluteFolder(m_downloadDir->text());
  if (const QString refusal = gui::PrepareDownloadFolder(folder); !refusal.isEmpty())
    return gui::RefuseField(this, m_downloadDir, refusal);
  m_values.downloadDir = folder.toStdString();
  m_values.threadCount = *threads;
  m_values.maxRetries = *retries;
  m_values.notices = m_notices->isChecked();
  QDialog::accept();
}

}  // namespace queuebay
