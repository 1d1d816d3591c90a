#include "gui/app_icons.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

// The pictures are built into this static library; its resources are
// registered the first time one is asked for.
static void InitGuiResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(gui_icons);
    return true;
  }();
  (void)registered;
}

namespace gui {

QIcon AppIcon(AppImage image) {
  InitGuiResources();
  switch (image) {
    case AppImage::Crawler:
      return QIcon(QStringLiteral(":/fetchwick/icons/fetchwick.svg"));
    case AppImage::Manager:
      return QIcon(QStringLiteral(":/fetchwick/icons/queuebay.svg"));
    case AppImage::Engine:
      return QIcon(QStringLiteral(":/fetchwick/icons/pullwright.svg"));
    case AppImage::Link:
      return QIcon(QStringLiteral(":/fetchwick/icons/link.svg"));
    case AppImage::Folder:
      return QIcon(QStringLiteral(":/fetchwick/icons/folder.svg"));
  }
  return {};
}

void InstallIconTheme() {
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                          QStandardPaths::LocateDirectory))
    if (!paths.contains(folder)) paths.append(folder);
  if (!paths.contains(QStringLiteral("/usr/share/icons")) && QDir(QStringLiteral("/usr/share/icons")).exists())
    paths.append(QStringLiteral("/usr/share/icons"));
  QIcon::setThemeSearchPaths(paths);
  if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("Adwaita"));
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  const QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
  return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

}  // namespace gui
