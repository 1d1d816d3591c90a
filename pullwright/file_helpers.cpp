#include "pullwright/file_helpers.h"

#include <sys/stat.h>

#include <cerrno>

std::uint64_t FileSizeIfExists(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool CreateDirectoryPath(const std::string& path) {
  if (path.empty()) return false;
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  if (errno != ENOENT) return false;
  std::string parent = path;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  const std::size_t cut = parent.rfind('/');
  if (cut == std::string::npos || cut == 0) return false;
  parent.resize(cut);
  if (!CreateDirectoryPath(parent)) return false;
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string ComposeTargetPath(const std::string& directory, std::string_view fileName) {
  CreateDirectoryPath(directory);
  std::string path = directory;
  path.append(fileName);
  return path;
}

namespace {

bool IsUsableName(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

std::string_view LastComponent(std::string_view text) {
  const std::size_t cut = text.find_last_of("/\\");
  return cut == std::string_view::npos ? text : text.substr(cut + 1);
}

// Control bytes in a name would reach terminals and file managers as they
// are (escape sequences, line breaks): each becomes "_".
std::string Printable(std::string_view name) {
  std::string printable(name);
  for (char& c : printable)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  return printable;
}

}  // namespace

std::string SafeFileName(std::string_view fileName, std::string_view href) {
  const std::string_view name = LastComponent(fileName);
  if (IsUsableName(name)) return Printable(name);

  // The address's path without scheme, host, query and fragment.
  std::string_view path = href;
  if (const std::size_t scheme = path.find("://"); scheme != std::string_view::npos) {
    path.remove_prefix(scheme + 3);
    const std::size_t slash = path.find('/');
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
  }
  path = path.substr(0, path.find_first_of("?#"));
  while (!path.empty()) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
    const std::string_view segment = LastComponent(path);
    if (IsUsableName(segment)) return Printable(segment);
    path.remove_suffix(segment.size());
  }
  return "index.html";
}
