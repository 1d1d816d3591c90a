#include "tests/proxystub/server_fixture.h"

#include <dirent.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "contract/settings.h"
#include "contract/settings_key.h"
#include "proxystub/activation.h"
#include "proxystub/endpoint.h"

ServerTest::ServerTest() {
  if (const char* previous = std::getenv("XDG_RUNTIME_DIR")) {
    m_hadRuntime = true;
    m_previousRuntime = previous;
  }
  ::setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
}

ServerTest::~ServerTest() {
  ps::CloseClientConnection();
  m_programs.clear();
  for (pid_t pid : RunningServers()) ::kill(pid, SIGKILL);
  for (pid_t pid : RunningServers()) WaitForProcessEnd(pid, std::chrono::seconds(5));
  if (m_hadRuntime)
    ::setenv("XDG_RUNTIME_DIR", m_previousRuntime.c_str(), 1);
  else
    ::unsetenv("XDG_RUNTIME_DIR");
}

std::string ServerTest::ServerProgram() { return PULLWRIGHT_PROGRAM; }
std::string ServerTest::ClientProgram() { return TEST_CLIENT_PROGRAM; }

std::optional<int> ServerTest::RunServerProgram(const std::vector<std::string>& arguments,
                                                std::chrono::milliseconds limit) {
  std::vector<std::string> argv{ServerProgram()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  auto program = std::make_unique<ChildProcess>(argv);
  const auto code = program->Wait(limit);
  m_programs.push_back(std::move(program));
  return code;
}

void ServerTest::Register() { ASSERT_EQ(RunServerProgram({"-RegServer"}), 0); }

void ServerTest::SetThreadCount(std::uint32_t threads) {
  auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  ASSERT_TRUE(key);
  WriteSetting(*key, setting::kThreadCount, threads);
}

std::unique_ptr<ChildProcess> ServerTest::StartClient(bool create) {
  auto client = std::make_unique<ChildProcess>(std::vector<std::string>{ClientProgram()});
  if (create) {
    client->WriteLine("create");
    const auto answer = client->ReadUntil("created", std::chrono::seconds(15));
    EXPECT_EQ(answer.value_or("no answer"), "created 0x00000000");
  }
  return client;
}

pid_t ServerTest::ServerPid() {
  const int fd = ps::endpoint::Connect();
  if (fd < 0) return -1;
  ucred peer{};
  socklen_t size = sizeof peer;
  const pid_t pid = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : -1;
  ::close(fd);
  return pid;
}

std::vector<pid_t> ServerTest::RunningServers() {
  std::vector<pid_t> servers;
  char program[PATH_MAX];
  if (!::realpath(ServerProgram().c_str(), program)) return servers;
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
