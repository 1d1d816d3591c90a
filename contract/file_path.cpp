#include "contract/file_path.h"

namespace {

std::string_view Cut(std::string_view part) { return part.substr(0, kMaxPathPart); }

}  // namespace

FilePathParts SplitFilePath(std::string_view path) {
  // A loop rather than find_last_of, which calls memchr once per byte: every
  // link of every page is split here.
  std::size_t nameStart = path.size();
  while (nameStart > 0 && path[nameStart - 1] != '/' && path[nameStart - 1] != '\\') --nameStart;
  const std::string_view last = path.substr(nameStart);
  const std::size_t dot = last.rfind('.');
  FilePathParts parts;
  parts.directory = Cut(path.substr(0, nameStart));
  parts.fileName = Cut(last.substr(0, dot));
  if (dot != std::string_view::npos) parts.extension = Cut(last.substr(dot));
  return parts;
}
