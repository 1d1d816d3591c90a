#include "contract/stores.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

// Both stores, and the settings store's readers and the class registry's,
// find their files from the environment alike.
TEST(StoreFolder, FollowsTheConfigFolderOrTheHome) {
  struct Case {
    std::optional<std::string> config;
    std::string folder;
  };
  const Case cases[] = {
      {"/cfg", "/cfg/Tarnwell"},
      {"/cfg//", "/cfg/Tarnwell"},
      // Unset, empty or relative: the home's configuration folder.
      {std::nullopt, "/home/someone/.config/Tarnwell"},
      {"", "/home/someone/.config/Tarnwell"},
      {"relative/cfg", "/home/someone/.config/Tarnwell"},
  };
  ScopedEnv home("HOME", "/home/someone");
  for (const Case& test : cases) {
    ScopedEnv config("XDG_CONFIG_HOME", test.config);
    EXPECT_EQ(StoreFolder(), test.folder) << test.config.value_or("(unset)");
  }
  ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(StoreFilePath(kClassesStoreFile), "/cfg/Tarnwell/Classes.conf");
}

}  // namespace
