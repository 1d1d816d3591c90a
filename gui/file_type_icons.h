#pragma once

#include <QIcon>
#include <QMimeDatabase>
#include <chrono>
#include <map>
#include <string>
#include <vector>

// The small icons of a list's rows by file type. Images 0, 1 and 2 are the
// program's own; image 0 stands for any type without an icon of its own.
// The icon of a type comes from the MIME database (by the extension) and the
// icon theme, once per extension text for the life of the list: extensions
// are compared byte for byte, so ".PDF" and ".pdf" are looked up apart. A
// type that gives no icon gets image 0 and is not kept, so a later row of
// that type tries again; rows that come within kMissPause of a failed
// lookup take image 0 without one, since a list fills with thousands of
// rows a second and each lookup of an unknown type costs about 0.1 ms.
namespace gui {

class FileTypeIcons {
 public:
  static constexpr std::chrono::seconds kMissPause{5};

  FileTypeIcons();

  // The image for files whose name ends with `extension` (dot included; an
  // empty one is looked up as it is).
  int IconIndexFor(const std::string& extension);
  const QIcon& Image(int index) const;
  std::size_t ImageCount() const { return m_images.size(); }

 private:
  std::vector<QIcon> m_images;
  std::map<std::string, int> m_iconCache;
  std::map<std::string, std::chrono::steady_clock::time_point> m_lastMiss;
  QMimeDatabase m_mimeTypes;
};

}  // namespace gui
