#pragma once

#include <QDialog>

#include "manager/core/queuebay_doc.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace queuebay {

// "Options": the download folder, the number of concurrent downloads and
// the number of retries, as stored; OK checks them and keeps the dialog
// open, with a message that names the problem, while one is wrong. A
// folder is fit once it exists (OK creates it) and takes new files.
class CDownloadOptionsDlg final : public QDialog {
 public:
  static constexpr std::uint32_t kMinThreads = 1;
  static constexpr std::uint32_t kMaxThreads = 50;
  static constexpr char kThreadNote[] = "A new number applies when the download engine next starts.";

  CDownloadOptionsDlg(const DownloadOptions& stored, QWidget* parent = nullptr);

  // What OK accepted; the folder is absolute.
  const DownloadOptions& Values() const { return m_values; }

  QLineEdit* FolderField() const { return m_downloadDir; }
  QLineEdit* ThreadField() const { return m_threadCount; }
  QLineEdit* RetryField() const { return m_maxRetries; }
  QPushButton* BrowseButton() const { return m_browse; }
  QLabel* ThreadNote() const { return m_threadNote; }
  QCheckBox* NoticesBox() const { return m_notices; }

  void accept() override;

 private:
  DownloadOptions m_values;
  QLineEdit* m_downloadDir;
  QPushButton* m_browse;
  QLineEdit* m_threadCount;
  QLineEdit* m_maxRetries;
  QLabel* m_threadNote = nullptr;
  QCheckBox* m_notices;
};

}  // namespace queuebay
