#include "gui/file_type_icons.h"

#include "gui/app_icons.h"

namespace gui {

FileTypeIcons::FileTypeIcons()
    : m_images{AppIcon(AppImage::Link), AppIcon(AppImage::Crawler), AppIcon(AppImage::Folder)} {}

int FileTypeIcons::IconIndexFor(const std::string& extension) {
  if (const auto cached = m_iconCache.find(extension); cached != m_iconCache.end()) return cached->second;
  const auto now = std::chrono::steady_clock::now();
  if (const auto miss = m_lastMiss.find(extension); miss != m_lastMiss.end() && now - miss->second < kMissPause)
    return 0;
  const QMimeType type =
      m_mimeTypes.mimeTypeForFile(QStringLiteral("file") + QString::fromStdString(extension), QMimeDatabase::MatchExtension);
  QIcon icon;
  // The database's default type means it knows nothing of this extension.
  if (type.isValid() && !type.isDefault()) {
    icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  }
  if (icon.isNull()) {
    m_lastMiss[extension] = now;
    return 0;
  }
  m_lastMiss.erase(extension);
  m_images.push_back(icon);
  const int index = static_cast<int>(m_images.size() - 1);
  m_iconCache.emplace(extension, index);
  return index;
}

const QIcon& FileTypeIcons::Image(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_images.size()) return m_images.front();
  return m_images[static_cast<std::size_t>(index)];
}

}  // namespace gui
