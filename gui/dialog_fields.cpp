#include "gui/dialog_fields.h"

#include <unistd.h>

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

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

QLineEdit* NumberField(std::uint32_t value, QWidget* parent) {
  auto* field = new QLineEdit(QString::number(value), parent);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  field->setMaxLength(10);
  return field;
}

QWidget* WithNote(QLineEdit* field, const QString& note, QWidget* parent) {
  auto* cell = new QWidget(parent);
  auto* row = new QHBoxLayout(cell);
  row->setContentsMargins(0, 0, 0, 0);
  field->setParent(cell);
  row->addWidget(field);
  row->addWidget(new QLabel(note, cell));
  row->addStretch(1);
  field->setAccessibleDescription(note);
  return cell;
}

QString RangeNote(std::uint32_t least, std::uint32_t most) {
  return QStringLiteral("(%1\u2013%2)").arg(least).arg(most);
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

QString PrepareDownloadFolder(const QString& folder) {
  namespace fs = std::filesystem;
  const fs::path path(folder.toStdString());
  const auto refusal = [&](const QString& problem, const char* advice) {
    return QStringLiteral("The download folder %1 %2.\n\n%3").arg(folder, problem, QString::fromLatin1(advice));
  };
  const auto reason = [](const std::error_code& error) { return QString::fromStdString(error.message()); };

  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (fs::exists(status) && !fs::is_directory(status))
    return refusal(QStringLiteral("is a file, not a folder"), "Please choose a folder instead.");
  // What creating it makes, deepest first, so that a failure leaves nothing.
  std::vector<fs::path> made;
  const auto takeBack = [&made] {
    for (const fs::path& created : made) {
      std::error_code ignored;
      fs::remove(created, ignored);  // only while it is an empty folder
    }
  };
  if (!fs::exists(status)) {
    for (fs::path missing = path; missing.has_relative_path(); missing = missing.parent_path()) {
      std::error_code unknown;  // taken as missing: creating it tells
      if (fs::exists(missing, unknown)) break;
      made.push_back(missing);
    }
    error.clear();
    fs::create_directories(path, error);
    if (error) {
      takeBack();
      return refusal(QStringLiteral("cannot be created (%1)").arg(reason(error)),
                     "Please choose a folder that you can write to.");
    }
  }
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    error.assign(errno, std::generic_category());
    takeBack();
    return refusal(QStringLiteral("cannot be written to (%1)").arg(reason(error)),
                   "Please choose a folder that you can write to, or give yourself write access to this one.");
  }
  return {};
}

}  // namespace gui
