#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "settings/settings_key.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

pid_t StartWriter(const std::string& name, int count) {
  std::string program = SETTINGS_WRITER_PATH;
  std::string countText = std::to_string(count);
  char* argv[] = {program.data(), const_cast<char*>(name.c_str()), countText.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsProcesses, TwoWritersAtOnceLoseNothing) {
  TempSettings settings;
  constexpr int kLong = 300;
  constexpr int kShort = 60;
  const pid_t first = StartWriter("First", kLong);
  const pid_t second = StartWriter("Second", kShort);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitFor(first), 0);
  EXPECT_EQ(WaitFor(second), 0);

  auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  ASSERT_NE(key, nullptr);
  std::uint32_t value = 0;
  ASSERT_TRUE(key->ReadDword("First", value));
  EXPECT_EQ(value, kLong - 1u);
  ASSERT_TRUE(key->ReadDword("Second", value));
  EXPECT_EQ(value, kShort - 1u);
  for (int i = 0; i < kLong; i += 10) EXPECT_TRUE(key->ReadString("First-mark-" + std::to_string(i))) << i;
  for (int i = 0; i < kShort; i += 10) EXPECT_TRUE(key->ReadString("Second-mark-" + std::to_string(i))) << i;
}

}  // namespace
