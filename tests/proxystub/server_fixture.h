#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/engine_home.h"
#include "tests/support/temp_dir.h"

// Cross-process tests: the real pullwright program and client processes,
// with configuration and runtime folders of their own. Every server that
// ran in them is killed at the end. Servers started by these tests end
// kShortIdle after their last client, not 5 s, unless a test says otherwise.
class ServerTest : public ::testing::Test {
 protected:
  static constexpr std::chrono::milliseconds kShortIdle{300};

  ServerTest();
  ~ServerTest() override;
  // Servers started from now on keep the real idle time.
  void UseRealIdleTime();

  static std::string ServerProgram();
  static std::string ClientProgram();

  // Runs pullwright with `arguments`; its exit code (none if it still runs
  // after `limit`, in which case it is left to the clean-up).
  std::optional<int> RunServerProgram(const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds limit = std::chrono::seconds(10));
  void Register();
  void SetThreadCount(std::uint32_t threads);
  void SetMaxRetries(std::uint32_t retries);

  // A client process that has created the engine and advised its sink.
  std::unique_ptr<ChildProcess> StartClient(bool create = true);
  // The pid of the server that accepts now; -1 when none does.
  pid_t ServerPid();
  // Servers running with this test's runtime folder.
  std::vector<pid_t> RunningServers();

  std::string runtimeFolder() const { return m_engine.runtimeFolder(); }

 private:
  TempSettings m_settings;
  EngineHome m_engine{PULLWRIGHT_PROGRAM};
  std::vector<std::unique_ptr<ChildProcess>> m_programs;
  ScopedEnv m_idleVariable;
};
