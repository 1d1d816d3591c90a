#include "crawler/core/link_naming.h"

#include <algorithm>
#include <array>

namespace {

void LowerAscii(std::string& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// Characters that cannot stand in a file name. An extension holding one is
// not an extension but the tail of a query or a host name.
constexpr std::string_view kForbiddenInExtension = "\\/?*:<>|";

constexpr std::array<std::string_view, 9> kPageExtensions = {".html", ".htm", ".com", ".org", ".net",
                                                             ".asp",  ".cgi", ".pl",  ".shtml"};

}  // namespace

void CompleteURL(std::string& url, std::string_view origin, std::string_view base) {
  if (url.starts_with("http:")) return;
  if (const std::size_t colon = url.find(':'); colon != std::string::npos && colon <= 8) return;
  // In place, so that a caller reusing one buffer for every reference of a
  // page completes them without allocating.
  if (url.empty() || url.front() != '/') url.insert(0, base);
  url.insert(0, origin);
}

void BaseDirectory(std::string_view path, std::string& base) {
  path = path.substr(0, path.find('?'));
  const FilePathParts parts = SplitFilePath(path);
  if (!parts.extension.empty()) {
    base.assign(parts.directory);
    return;
  }
  base.assign(path);
  if (!base.ends_with('/')) base += '/';
}

std::int32_t ClassifyLink(std::string_view url, std::string& name, std::string& extension) {
  name.clear();
  extension.clear();
  const FilePathParts parts = SplitFilePath(url);
  if (parts.extension.empty()) return 0;
  if (parts.extension.find_first_of(kForbiddenInExtension) != std::string_view::npos) return 0;

  std::string dotted(parts.extension);
  LowerAscii(dotted);
  name.reserve(parts.fileName.size() + dotted.size());
  name.assign(parts.fileName);
  name += dotted;
  extension.assign(dotted, 1);
  const bool isPage = std::find(kPageExtensions.begin(), kPageExtensions.end(), dotted) != kPageExtensions.end();
  return isPage ? 0 : 1;
}
