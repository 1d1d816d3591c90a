#include "manager/app/add_url_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "gui/dialog_fields.h"
#include "gui/message_boxes.h"
#include "manager/app/main_frame.h"
#include "manager/core/download_format.h"

namespace queuebay {

std::string NotValidText(const std::vector<std::string>& refused, std::size_t offered) {
  std::string text = CAddUrlDlg::kNotValid;
  if (offered <= 1) return text;
  constexpr std::size_t kListed = 10;
  text += ":";
  for (std::size_t i = 0; i < refused.size() && i < kListed; ++i) text += "\n" + refused[i];
  if (refused.size() > kListed) text += "\nand " + std::to_string(refused.size() - kListed) + " more";
  return text;
}

CAddUrlDlg::CAddUrlDlg(QWidget* parent) : QDialog(parent), m_url(new QPlainTextEdit(this)) {
  setWindowTitle(QStringLiteral("Add URL"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(gui::LabelFor(m_url, QStringLiteral("&URL to Download:"), this));
  m_url->setMinimumWidth(340);
  m_url->setTabChangesFocus(true);
  m_url->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Room for a few lines; one is the usual case.
  m_url->setFixedHeight(m_url->fontMetrics().lineSpacing() * 4 + 12);
  m_url->installEventFilter(this);
  layout->addWidget(m_url);
  auto* hint = new QLabel(QStringLiteral("One address per line; Shift+Enter starts a new line."), this);
  hint->setEnabled(false);
  layout->addWidget(hint);
  gui::AddOkCancel(this, layout);
}

bool CAddUrlDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_url && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier)) {
      accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CAddUrlDlg::accept() {
  const std::string text = m_url->toPlainText().toStdString();
  std::vector<std::string> lines = AddressLines(text);
  // One line is taken as typed, the empty one included, and refused as a
  // whole when it is not an address.
  if (text.find_first_of("\r\n") == std::string::npos)
    lines = {text};
  else if (lines.empty())
    lines = {""};
  std::vector<std::string> refused;
  for (const std::string& line : lines)
    if (!IsDownloadableUrl(line)) refused.push_back(line);
  if (!refused.empty()) {
    gui::OpenMessageBox(this, QString::fromLatin1(CMainFrame::kAppTitle),
                        QString::fromStdString(NotValidText(refused, lines.size())), QMessageBox::Critical);
    return;
  }
  m_urls = std::move(lines);
  m_strURL = m_urls.front();
  m_strFileName = FileNameFromUrl(m_strURL);
  QDialog::accept();
}

}  // namespace queuebay
