#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <thread>

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  m_in = in[1];
  m_out = out[0];
}

ChildProcess::~ChildProcess() {
  if (!m_reaped) {
    Kill();
    Wait(std::chrono::seconds(5));
  }
  if (m_in >= 0) ::close(m_in);
  if (m_out >= 0) ::close(m_out);
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string data = line + "\n";
  return ::write(m_in, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const std::size_t end = m_buffer.find('\n');
    if (end != std::string::npos) {
      std::string line = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 1);
      m_lines.push_back(line);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd fd{m_out, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t got = ::read(m_out, chunk, sizeof chunk);
    if (got <= 0) return std::nullopt;
    m_buffer.append(chunk, static_cast<std::size_t>(got));
  }
}

std::optional<std::string> ChildProcess::ReadUntil(const std::string& prefix, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const auto line = ReadLine(std::max(left, std::chrono::milliseconds(0)));
    if (!line) return std::nullopt;
    if (line->rfind(prefix, 0) == 0) return line;
  }
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (m_pid <= 0 || m_reaped) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
      m_reaped = true;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ChildProcess::Kill() {
  if (m_pid > 0 && !m_reaped) ::kill(m_pid, SIGKILL);
}

void ChildProcess::Terminate() {
  if (m_pid > 0 && !m_reaped) ::kill(m_pid, SIGTERM);
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0 || ::kill(pid, 0) != 0) return false;
  // A zombie has ended: it only waits to be reaped by its parent.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int i = 0; i < 3 && stat >> field; ++i) {
  }
  return field != "Z";
}

bool WaitForProcessEnd(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ProcessAlive(pid)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
