#include "contract/unique_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

TEST(MakeUniquePath, NumbersTakenNames) {
  struct Case {
    std::set<std::string> taken;
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "/d/report.pdf", "/d/report.pdf"},
      {{"/d/report.pdf"}, "/d/report.pdf", "/d/report_1.pdf"},
      {{"/d/report.pdf", "/d/report_1.pdf"}, "/d/report.pdf", "/d/report_2.pdf"},
      {{"/d/img_9.jpg"}, "/d/img_9.jpg", "/d/img_10.jpg"},
      {{"/d/disk2.zip"}, "/d/disk2.zip", "/d/disk2_1.zip"},
      {{"/d/_3.zip"}, "/d/_3.zip", "/d/_3_1.zip"},
      {{"/d/a_.txt"}, "/d/a_.txt", "/d/a_1.txt"},
      {{"/d/2004.txt"}, "/d/2004.txt", "/d/2004_1.txt"},
      {{"/d/data"}, "/d/data", "/d/data_1"},
      {{"/d/archive.tar.gz"}, "/d/archive.tar.gz", "/d/archive.tar_1.gz"},
      {{"/d.v2/file"}, "/d.v2/file", "/d.v2/file_1"},
      {{"/d/_"}, "/d/_", "/d/__1"},
      {{"/d/x_99999999999999999999.bin"}, "/d/x_99999999999999999999.bin", "/d/x_99999999999999999999_1.bin"},
      {{"/d/x_999999999.bin"}, "/d/x_999999999.bin", "/d/x_1000000000.bin"},
  };
  for (const Case& c : cases) {
    const auto taken = [&](const std::string& path) { return c.taken.count(path) > 0; };
    EXPECT_EQ(MakeUniquePath(c.path, taken), c.expected) << c.path;
  }
}

TEST(MakeUniquePath, EngineReusesEmptyFilesAndFoldersCrawlerDoesNot) {
  TempDir dir;
  WriteFile(dir.file("empty.bin"), "");
  WriteFile(dir.file("full.bin"), "data");
  std::filesystem::create_directory(dir.file("folder"));

  EXPECT_EQ(MakeUniquePath(dir.file("empty.bin"), NonEmptyFileExists), dir.file("empty.bin"));
  EXPECT_EQ(MakeUniquePath(dir.file("folder"), NonEmptyFileExists), dir.file("folder"));
  EXPECT_EQ(MakeUniquePath(dir.file("full.bin"), NonEmptyFileExists), dir.file("full_1.bin"));

  EXPECT_EQ(MakeUniquePath(dir.file("empty.bin"), AnyEntryExists), dir.file("empty_1.bin"));
  EXPECT_EQ(MakeUniquePath(dir.file("folder"), AnyEntryExists), dir.file("folder_1"));
  EXPECT_EQ(MakeUniquePath(dir.file("new.bin"), AnyEntryExists), dir.file("new.bin"));
}

}  // namespace
