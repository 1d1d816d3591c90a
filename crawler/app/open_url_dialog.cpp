#include "crawler/app/open_url_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/dialog_fields.h"

COpenURLDlg::COpenURLDlg(QWidget* parent) : QDialog(parent), m_url(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Open URL"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  m_url->setMinimumWidth(320);
  form->addRow(gui::LabelFor(m_url, QStringLiteral("&Open:"), this), m_url);
  layout->addLayout(form);
  gui::AddOkCancel(this, layout);
}

std::string COpenURLDlg::URL() const { return m_url->text().toStdString(); }
