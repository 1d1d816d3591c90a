#pragma once

#include <QIcon>
#include <QMimeDatabase>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The small icons of a list's rows by file type. Images 0, 1 and 2 are the
// program's own; image 0 stands for any type without an icon of its own.
// The icon of a type comes from the MIME database (by the extension) and the
// icon theme, once per extension text for the life of the list: extensions
// are compared byte for byte, so ".PDF" and ".pdf" are looked up apart. A
// type that gives no icon gets image 0 and is not remembered, so the next
// row of that type tries again.
namespace gui {

class FileTypeIcons {
 public:
  FileTypeIcons();

  // The image for files whose name ends with `extension` (dot included; an
  // empty one is looked up as it is).
  int IconIndexFor(const std::string& extension);
  const QIcon& Image(int index) const;
  std::size_t ImageCount() const { return m_images.size(); }

  // The extension of a path, as a path is split: from the last dot of its
  // last component (after the last "/" or "\\"), dot included; empty when
  // that component has no dot.
  static std::string ExtensionOf(std::string_view path);

 private:
  std::vector<QIcon> m_images;
  std::map<std::string, int> m_iconCache;
  QMimeDatabase m_mimeTypes;
};

}  // namespace gui
