#include "manager/app/add_url_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/dialog_fields.h"
#include "gui/message_boxes.h"
#include "manager/app/main_frame.h"
#include "manager/core/download_format.h"

namespace queuebay {

CAddUrlDlg::CAddUrlDlg(QWidget* parent) : QDialog(parent), m_url(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Add URL"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(gui::LabelFor(m_url, QStringLiteral("&URL to Download:"), this));
  m_url->setMinimumWidth(340);
  layout->addWidget(m_url);
  gui::AddOkCancel(this, layout);
}

void CAddUrlDlg::accept() {
  m_strURL = m_url->text().toStdString();
  if (!IsDownloadableUrl(m_strURL)) {
    gui::OpenMessageBox(this, QString::fromLatin1(CMainFrame::kAppTitle), QString::fromLatin1(kNotValid),
                        QMessageBox::Critical);
    return;
  }
  m_strFileName = FileNameFromUrl(m_strURL);
  QDialog::accept();
}

}  // namespace queuebay
