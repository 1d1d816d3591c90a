#include "contract/file_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SplitFilePath, TheExtensionRunsFromTheLastDotOfTheLastComponent) {
  const std::pair<const char*, const char*> paths[] = {
      {"/dir/file.tar.gz", ".gz"}, {"/dir.d/file", ""}, {"C:\\dir\\a.PDF", ".PDF"}, {"/get.php?id=7", ".php?id=7"},
      {"name.", "."},              {"", ""},
  };
  for (const auto& [path, extension] : paths) EXPECT_EQ(SplitFilePath(path).extension, extension) << path;
}

}  // namespace
