#pragma once

#include <QDialog>

#include "crawler/core/fetchwick_doc.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// "Options": the download folder, the display filter, the crawl depth and
// whether a deep crawl stays on the page's host. OK checks the folder and
// the depth and keeps the dialog open, with a message, while one is wrong;
// a folder is fit once it exists (OK creates it) and takes new files.
class COptionsDlg final : public QDialog {
 public:
  static constexpr unsigned kMinDepth = 1;
  static constexpr unsigned kMaxDepth = 20;

  COptionsDlg(const CrawlerOptions& values, QWidget* parent = nullptr);

  // What the fields held when OK was accepted. The folder is absolute.
  const CrawlerOptions& Values() const { return m_values; }

  QLineEdit* FolderField() const { return m_downloadDir; }
  QLineEdit* FilterField() const { return m_fileFilter; }
  QLineEdit* DepthField() const { return m_crawlDepth; }
  QCheckBox* ExcludeForeignBox() const { return m_excludeForeign; }
  QPushButton* BrowseButton() const { return m_browse; }

  void accept() override;

 private:
  CrawlerOptions m_values;
  QLineEdit* m_downloadDir;
  QPushButton* m_browse;
  QLineEdit* m_fileFilter;
  QLineEdit* m_crawlDepth;
  QCheckBox* m_excludeForeign;
};
