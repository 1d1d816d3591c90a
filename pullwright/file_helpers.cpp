#include "pullwright/file_helpers.h"

#include <sys/stat.h>

#include <cerrno>

#include "contract/file_name.h"

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

std::string SafeFileName(std::string_view fileName, std::string_view href) {
  if (const std::size_t cut = fileName.find_last_of("/\\"); cut != std::string_view::npos)
    fileName.remove_prefix(cut + 1);
  std::string name = CleanFileName(fileName);
  if (name.empty() || name == "." || name == "..") return FileNameFromAddress(href);
  return name;
}
