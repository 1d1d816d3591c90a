#include "gui/file_type_icons.h"

#include "gui/app_icons.h"

namespace gui {

FileTypeIcons::FileTypeIcons()
    : m_images{AppIcon(AppImage::Link), AppIcon(AppImage::Crawler), AppIcon(AppImage::Folder)} {}

int FileTypeIcons::IconIndexFor(const std::string& extension) {
  if (const auto cached = m_iconCache.find(extension); cached != m_iconCache.end()) return cached->second;
  const QMimeType type =
      m_mimeTypes.mimeTypeForFile(QStringLiteral("file") + QString::fromStdString(extension), QMimeDatabase::MatchExtension);
  // The database's default type means it knows nothing of this extension.
  if (!type.isValid() || type.isDefault()) return 0;
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) return 0;
  m_images.push_back(icon);
  const int index = static_cast<int>(m_images.size() - 1);
  m_iconCache.emplace(extension, index);
  return index;
}

const QIcon& FileTypeIcons::Image(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_images.size()) return m_images.front();
  return m_images[static_cast<std::size_t>(index)];
}

std::string FileTypeIcons::ExtensionOf(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const auto dot = last.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(last.substr(dot));
}

}  // namespace gui
