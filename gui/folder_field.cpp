#include "gui/folder_field.h"

#include <QDir>

namespace gui {

QString AbsoluteFolder(const QString& typed) {
  QString folder = typed.trimmed();
  if (folder == QStringLiteral("~") || folder.startsWith(QStringLiteral("~/"))) folder.replace(0, 1, QDir::homePath());
  return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

}  // namespace gui
