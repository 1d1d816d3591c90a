#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

// "Open URL": one field for the address to crawl.
class COpenURLDlg final : public QDialog {
 public:
  explicit COpenURLDlg(QWidget* parent = nullptr);
  std::string URL() const;
  QLineEdit* Field() const { return m_url; }

 private:
  QLineEdit* m_url;
};
