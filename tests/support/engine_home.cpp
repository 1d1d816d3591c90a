#include "tests/support/engine_home.h"

#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "proxystub/activation.h"
#include "proxystub/endpoint.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/support/child_process.h"

EngineHome::EngineHome(std::string program) : m_program(std::move(program)) {}

EngineHome::~EngineHome() { StopServers(); }

bool EngineHome::Register(std::optional<std::uint32_t> threads) {
  if (threads) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    if (!key || !WriteSetting(*key, setting::kThreadCount, *threads)) return false;
  }
  return RunProgram({m_program, "-RegServer"}) == 0;
}

pid_t EngineHome::ServerPid() const {
  const int fd = ps::endpoint::Connect();
  if (fd < 0) return -1;
  ucred peer{};
  socklen_t size = sizeof peer;
  const pid_t pid = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : -1;
  ::close(fd);
  return pid;
}

std::vector<pid_t> EngineHome::RunningServers() const {
  std::vector<pid_t> servers;
  char program[PATH_MAX];
  if (!::realpath(m_program.c_str(), program)) return servers;
  const std::string marker = "XDG_RUNTIME_DIR=" + m_runtime.path();
  DIR* proc = ::opendir("/proc");
  if (!proc) return servers;
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    const std::string base = std::string("/proc/") + entry->d_name;
    char exe[PATH_MAX];
    const ssize_t length = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
    if (length <= 0 || std::string(exe, static_cast<std::size_t>(length)) != program) continue;
    std::ifstream environ(base + "/environ", std::ios::binary);
    const std::string variables((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    if (variables.find(marker + '\0') == std::string::npos) continue;
    if (ProcessAlive(pid)) servers.push_back(pid);
  }
  ::closedir(proc);
  return servers;
}

void EngineHome::StopServers() {
  ps::CloseClientConnection();
  for (pid_t pid : RunningServers()) ::kill(pid, SIGKILL);
  for (pid_t pid : RunningServers()) WaitForProcessEnd(pid, std::chrono::seconds(5));
}

std::optional<int> RunProgram(const std::vector<std::string>& argv, int limitMs) {
  ChildProcess program(argv);
  return program.Wait(std::chrono::milliseconds(limitMs));
}
