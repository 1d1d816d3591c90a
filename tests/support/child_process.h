#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A program started by a test with pipes to its standard input and output,
// killed when the object goes if it still runs.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }
  bool WriteLine(const std::string& line);
  // The next line of output (without its line break), or none within `limit`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Reads lines until one starts with `prefix`; the lines before it are kept.
  std::optional<std::string> ReadUntil(const std::string& prefix,
                                       std::chrono::milliseconds limit = std::chrono::seconds(10));
  const std::vector<std::string>& lines() const { return m_lines; }
  // Waits for the exit; its code, or none (killed by a signal, or still
  // running after `limit`).
  std::optional<int> Wait(std::chrono::milliseconds limit = std::chrono::seconds(10));
  void Kill();
  // Asks it to end (SIGTERM), so that it can clean up.
  void Terminate();

 private:
  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  std::string m_buffer;
  std::vector<std::string> m_lines;
  bool m_reaped = false;
};

// Whether a process (not a child of this one) still runs.
bool ProcessAlive(pid_t pid);
// Waits until `pid` has ended; false after `limit`.
bool WaitForProcessEnd(pid_t pid, std::chrono::milliseconds limit);
