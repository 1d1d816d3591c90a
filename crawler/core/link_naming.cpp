#include "crawler/core/link_naming.h"

#include <algorithm>
#include <array>
#include <vector>

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

// Whether a reference may bring a dot segment into its complete address:
// it begins with "." or holds "/.". The page's origin and base never hold
// one, so only the reference need be looked at: every reference of every
// page comes through here, and almost none has one.
bool MayHoldDotSegment(std::string_view reference) {
  if (!reference.empty() && reference.front() == '.') return true;
  // Dots are the rarer byte (most references hold one, before their
  // extension), so they are looked for first.
  for (std::size_t dot = reference.find('.', 1); dot != std::string_view::npos; dot = reference.find('.', dot + 1))
    if (reference[dot - 1] == '/') return true;
  return false;
}

// Whether `segment` is "." or "..".
bool IsDotSegment(std::string_view segment) { return segment == "." || segment == ".."; }

// Removes the "." and ".." segments of the path of an address with an
// authority ("scheme://host/a/../b"), as RFC 3986 (5.2.4) lays down: one
// file linked as "../css/x.css" from many folders must be one address. The
// query is left as written. Written out rather than left to libcurl's URL
// parser, which would also rewrite the host, the escapes and the query, and
// would cost a parse for every reference of every page.
void RemoveDotSegments(std::string& url) {
  const std::size_t scheme = SchemeLength(url);
  if (scheme == 0 || url.compare(scheme, 3, "://") != 0) return;
  const std::size_t pathStart = url.find_first_of("/?#", scheme + 3);
  if (pathStart == std::string::npos || url[pathStart] != '/') return;
  const std::size_t pathEnd = std::min(url.find_first_of("?#", pathStart), url.size());
  const std::string_view path = std::string_view(url).substr(pathStart, pathEnd - pathStart);

  bool dotted = false;
  for (std::size_t slash = path.find("/."); slash != std::string_view::npos && !dotted;
       slash = path.find("/.", slash + 1)) {
    const std::size_t end = std::min(path.find('/', slash + 1), path.size());
    dotted = IsDotSegment(path.substr(slash + 1, end - slash - 1));
  }
  if (!dotted) return;

  // Segment by segment: "." goes, ".." takes the segment before it along
  // (none above the root), and a path ending in either keeps its final "/"
  // as an empty last segment; so there is always one segment at least.
  std::vector<std::string_view> segments;
  std::string_view rest = path.substr(1);
  for (;;) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    const bool last = slash == std::string_view::npos;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    if (last) {
      if (IsDotSegment(segment)) segments.emplace_back();
      break;
    }
    rest.remove_prefix(slash + 1);
  }
  std::string cleaned;
  cleaned.reserve(path.size());
  for (std::size_t i = 0; i < segments.size(); ++i) {
    cleaned += '/';
    cleaned += segments[i];
  }
  url.replace(pathStart, path.size(), cleaned);
}

}  // namespace

void CompleteURL(std::string& url, std::string_view origin, std::string_view base) {
  const bool dots = MayHoldDotSegment(url);
  // In place, so that a caller reusing one buffer for every reference of a
  // page completes them without allocating.
  if (SchemeLength(url) == 0) {
    if (url.empty() || url.front() != '/') url.insert(0, base);
    url.insert(0, origin);
  }
  if (dots) RemoveDotSegments(url);
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
  AddressFileName file = SplitAddressFileName(url);
  file.LowerExtension();
  extension.assign(file.extension().substr(file.extensionSize > 0 ? 1 : 0));
  name = std::move(file.name);

  const FilePathParts parts = SplitFilePath(url);
  if (parts.extension.empty()) return 0;
  if (parts.extension.find_first_of(kForbiddenInExtension) != std::string_view::npos) return 0;
  std::string dotted(parts.extension);
  LowerAscii(dotted);
  const bool isPage = std::find(kPageExtensions.begin(), kPageExtensions.end(), dotted) != kPageExtensions.end();
  return isPage ? 0 : 1;
}
