#include "contract/unique_path.h"

#include <sys/stat.h>

#include <string_view>

bool NonEmptyFileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool AnyEntryExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One numbering step: the next candidate after `path`.
std::string NextCandidate(const std::string& path) {
  const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) dot = path.size();
  const std::string_view directory(path.data(), nameStart);
  std::string_view name(path.data() + nameStart, dot - nameStart);
  const std::string_view extension(path.data() + dot, path.size() - dot);

  std::size_t digitsStart = name.size();
  while (digitsStart > 0 && IsDigit(name[digitsStart - 1])) --digitsStart;
  const std::string_view digits = name.substr(digitsStart);

  std::string suffix = "_1";
  // An underscore that is the name's first character is part of the name, not
  // a numbering mark. A run too long to count up safely is left alone too.
  if (digitsStart >= 2 && name[digitsStart - 1] == '_' && digits.size() <= 9) {
    unsigned long value = 0;
    for (char c : digits) value = value * 10 + static_cast<unsigned long>(c - '0');
    suffix = '_';
    suffix += std::to_string(value + 1);
    name = name.substr(0, digitsStart - 1);
  }

  std::string next;
  next.reserve(path.size() + suffix.size());
  next.append(directory).append(name).append(suffix).append(extension);
  return next;
}

}  // namespace

std::string MakeUniquePath(std::string path, const PathTakenFn& taken) {
  while (taken(path)) path = NextCandidate(path);
  return path;
}
