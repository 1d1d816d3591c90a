#pragma once

#include <cstddef>
#include <string_view>

// A string split as a file path: both "/" and "\\" separate components. The
// directory keeps its last separator; the extension runs from the last "." of
// the last component to its end, dot included. Each part is cut to
// kMaxPathPart bytes, the limit of the path splitter the names were first
// derived with, so long names come out as they always have.
inline constexpr std::size_t kMaxPathPart = 255;
struct FilePathParts {
  std::string_view directory;
  std::string_view fileName;
  std::string_view extension;
};
FilePathParts SplitFilePath(std::string_view path);
