#include "contract/file_path.h"

namespace {

std::string_view Cut(std::string_view part) { return part.substr(0, kMaxPathPart); }

}  // namespace

FilePathParts SplitFilePath(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
  const std::string_view last = path.substr(nameStart);
  const std::size_t dot = last.rfind('.');
  FilePathParts parts;
  parts.directory = Cut(path.substr(0, nameStart));
  parts.fileName = Cut(last.substr(0, dot));
  if (dot != std::string_view::npos) parts.extension = Cut(last.substr(dot));
  return parts;
}
