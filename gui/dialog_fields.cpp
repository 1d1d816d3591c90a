#include "gui/dialog_fields.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/message_boxes.h"

namespace gui {

QLabel* LabelFor(QWidget* field, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(field);
  return label;
}

QPushButton* BrowseButton(QLineEdit* folderField, QWidget* parent) {
  auto* button = new QPushButton(QStringLiteral("..."), parent);
  button->setAccessibleName(QStringLiteral("Browse for the download folder"));
  button->setAutoDefault(false);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  QObject::connect(button, &QPushButton::clicked, parent, [folderField, parent] {
    const QString chosen =
        QFileDialog::getExistingDirectory(parent, QStringLiteral("Download Folder"), folderField->text());
    if (!chosen.isEmpty()) folderField->setText(chosen);
  });
  return button;
}

void AddOkCancel(QDialog* dialog, QBoxLayout* layout) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
}

void RefuseField(QDialog* dialog, QLineEdit* field, const QString& message) {
  OpenMessageBox(dialog, dialog->windowTitle(), message, QMessageBox::Warning);
  field->setFocus();
  field->selectAll();
}

QString AbsoluteFolder(const QString& typed) {
  QString folder = typed.trimmed();
  if (folder == QStringLiteral("~") || folder.startsWith(QStringLiteral("~/"))) folder.replace(0, 1, QDir::homePath());
  return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

}  // namespace gui
