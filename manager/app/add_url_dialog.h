#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace queuebay {

// "Add URL": addresses to download, one per line. OK takes them only when
// every one begins with "http:" or "https:"; otherwise "Not valid URL" names
// the ones refused and the dialog stays open with the text as typed. Enter
// is OK, as in a one-line field; Shift+Enter starts a new line, and pasting
// several lines takes them all.
class CAddUrlDlg final : public QDialog {
 public:
  static constexpr char kNotValid[] = "Not valid URL";

  explicit CAddUrlDlg(QWidget* parent = nullptr);

  // The first address, and its file name (its last path segment), on OK.
  const std::string& URL() const { return m_strURL; }
  const std::string& FileName() const { return m_strFileName; }
  // Every address, in the order typed, on OK.
  const std::vector<std::string>& URLs() const { return m_urls; }
  QPlainTextEdit* Field() const { return m_url; }

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* m_url;
  std::string m_strURL;
  std::string m_strFileName;
  std::vector<std::string> m_urls;
};

// The box text for addresses refused: "Not valid URL" alone for one address
// of one, otherwise followed by the refused ones (the first ten).
std::string NotValidText(const std::vector<std::string>& refused, std::size_t offered);

}  // namespace queuebay
