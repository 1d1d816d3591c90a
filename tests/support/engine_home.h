#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

// A home of its own for the real engine program: XDG_RUNTIME_DIR points at a
// fresh folder for the object's lifetime, and every server that ran with it
// is killed when the object goes, so no test waits for a server's idle end or
// meets another test's server. Settings are the caller's (TempSettings).
class EngineHome {
 public:
  explicit EngineHome(std::string program);
  ~EngineHome();
  EngineHome(const EngineHome&) = delete;
  EngineHome& operator=(const EngineHome&) = delete;

  const std::string& program() const { return m_program; }
  const std::string& runtimeFolder() const { return m_runtime.path(); }

  // Stores the worker count (0: records stay queued) and registers the
  // program as the engine's server with "-RegServer". False on failure.
  bool Register(std::optional<std::uint32_t> threads = std::nullopt);
  // The server that accepts now, or -1.
  pid_t ServerPid() const;
  // Servers of this program running with this runtime folder.
  std::vector<pid_t> RunningServers() const;
  // Closes this process's connection and kills every server.
  void StopServers();

 private:
  std::string m_program;
  TempDir m_runtime;
  ScopedEnv m_runtimeVariable{"XDG_RUNTIME_DIR", m_runtime.path()};
};

// Runs a program to its end; its exit code, or none when it ran longer than
// `limit` (it is killed then) or ended by a signal.
std::optional<int> RunProgram(const std::vector<std::string>& argv, int limitMs = 10000);
