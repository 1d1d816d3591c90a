#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace queuebay {

// "Add URL": one address to download. OK takes only an address that begins
// with "http:" or "https:"; anything else is refused with "Not valid URL"
// and the dialog stays open with the text as typed.
class CAddUrlDlg final : public QDialog {
 public:
  static constexpr char kNotValid[] = "Not valid URL";

  explicit CAddUrlDlg(QWidget* parent = nullptr);

  const std::string& URL() const { return m_strURL; }
  // The address's last path segment, derived on OK.
  const std::string& FileName() const { return m_strFileName; }
  QLineEdit* Field() const { return m_url; }

  void accept() override;

 private:
  QLineEdit* m_url;
  std::string m_strURL;
  std::string m_strFileName;
};

}  // namespace queuebay
