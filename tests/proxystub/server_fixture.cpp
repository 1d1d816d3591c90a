#include "tests/proxystub/server_fixture.h"

#include <cstdlib>

#include "proxystub/activation.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

namespace {
constexpr char kIdleVariable[] = "PULLWRIGHT_IDLE_MS";
}

ServerTest::ServerTest() : m_idleVariable(kIdleVariable, std::to_string(kShortIdle.count())) {}

ServerTest::~ServerTest() {
  ps::CloseClientConnection();
  m_programs.clear();
  m_engine.StopServers();
}

void ServerTest::UseRealIdleTime() { ::unsetenv(kIdleVariable); }

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

void ServerTest::SetMaxRetries(std::uint32_t retries) {
  auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  ASSERT_TRUE(key);
  WriteSetting(*key, setting::kMaxRetries, retries);
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

pid_t ServerTest::ServerPid() { return m_engine.ServerPid(); }

std::vector<pid_t> ServerTest::RunningServers() { return m_engine.RunningServers(); }
