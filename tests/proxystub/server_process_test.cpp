// The real pullwright program with real client processes: registration,
// activation, one shared engine, and the server's lifetime.
#include <poll.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <thread>

#include "contract/identities.h"
#include "proxystub/activation.h"
#include "proxystub/class_registry.h"
#include "proxystub/endpoint.h"
#include "settings/settings_key.h"
#include "tests/proxystub/server_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Saw(const ChildProcess& client, const std::string& line) {
  for (const std::string& seen : client.lines())
    if (seen == line) return true;
  return false;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : path;
}

bool ProgIdRegistered() {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Classes, registration::kProgId);
  return key && key->ReadString("").has_value();
}

TEST_F(ServerTest, RegistrationSwitchesWriteAndRemoveTheEntries) {
  EXPECT_FALSE(ps::class_registry::LocalServerPath());
  EXPECT_EQ(RunServerProgram({"-RegServer"}), 0);
  EXPECT_EQ(ps::class_registry::LocalServerPath().value_or(""), RealPath(ServerProgram()));
  EXPECT_TRUE(ProgIdRegistered());
  {
    const auto appId = SettingsKey::OpenForReading(SettingsStore::Classes,
                                                   std::string("AppID\\") + registration::kEngineExeKey);
    ASSERT_TRUE(appId);
    EXPECT_EQ(appId->ReadString("AppID").value_or(""), GuidToString(APPID_Pullwright));
  }
  EXPECT_EQ(RunServerProgram({"/UNREGSERVER"}), 0);
  EXPECT_FALSE(ps::class_registry::LocalServerPath());
  EXPECT_FALSE(ProgIdRegistered());
  // Any letter case, and whatever comes before the switch.
  EXPECT_EQ(RunServerProgram({"ignored", "/regserver"}), 0);
  EXPECT_TRUE(ps::class_registry::LocalServerPath());
  EXPECT_EQ(RunServerProgram({"-unRegServer"}), 0);
  EXPECT_FALSE(ps::class_registry::LocalServerPath());
  // A further word after the switch: no match, so it runs as the server.
  EXPECT_FALSE(RunServerProgram({"-RegServer", "now"}, 600ms).has_value());
  EXPECT_FALSE(ps::class_registry::LocalServerPath());
  EXPECT_EQ(RunningServers().size(), 1u);
}

TEST(EngineRegistration, ARegistrationCutShortIsWrittenWholeAtTheNextStart) {
  TempSettings settings;
  namespace reg = registration;
  // This test program stands in for an engine beside itself.
  const std::string self = ps::class_registry::RunningProgramPath();
  const std::string name = self.substr(self.rfind('/') + 1);
  const std::string typeLib = std::string(reg::kTypeLib) + "\\" + GuidToString(LIBID_PullwrightLib) + "\\1.0\\0\\linux";
  const auto registeredTypeLib = [&] {
    const auto key = SettingsKey::OpenForReading(SettingsStore::Classes, typeLib);
    return key ? key->ReadString("").value_or("") : "";
  };
  // An older install's entries, then a newer start cut short right after
  // it wrote its server's path.
  ASSERT_TRUE(ps::class_registry::RegisterClass("/older/bin/pullwright"));
  {
    const auto server = SettingsKey::OpenOrCreateForWriting(
        SettingsStore::Classes,
        std::string(reg::kClsidKey) + "\\" + GuidToString(CLSID_DownloadEngine) + "\\" + reg::kLocalServer32);
    ASSERT_TRUE(server && server->WriteString("", self) && server->Close());
  }
  ASSERT_EQ(registeredTypeLib(), "/older/bin/pullwright");
  EXPECT_TRUE(ps::class_registry::RegisterEngineBesideMe(name.c_str()));
  EXPECT_EQ(ps::class_registry::LocalServerPath().value_or(""), self);
  EXPECT_EQ(registeredTypeLib(), self);
}

TEST_F(ServerTest, WithoutRegistrationCreationFailsWithinASecond) {
  std::shared_ptr<IDownloadEngine> engine;
  const auto started = Clock::now();
  EXPECT_EQ(ps::CreateDownloadEngine(&engine), REGDB_E_CLASSNOTREG);
  EXPECT_LT(Clock::now() - started, 1s);
  EXPECT_FALSE(engine);
  EXPECT_TRUE(RunningServers().empty());
}

TEST_F(ServerTest, TwoClientProcessesShareOneQueue) {
  Register();
  SetThreadCount(0);  // records stay queued
  auto first = StartClient();
  auto second = StartClient();
  first->WriteLine("queue x http://127.0.0.1:1/x");
  EXPECT_EQ(first->ReadUntil("queued").value_or(""), "queued 0x00000000");
  EXPECT_TRUE(second->ReadUntil("event 8 http://127.0.0.1:1/x"));
  second->WriteLine("list");
  EXPECT_EQ(second->ReadUntil("listed").value_or(""), "listed 1 http://127.0.0.1:1/x");
  second->WriteLine("queue y http://127.0.0.1:1/y");
  EXPECT_TRUE(first->ReadUntil("event 8 http://127.0.0.1:1/y"));
  first->WriteLine("list");
  EXPECT_EQ(first->ReadUntil("listed").value_or(""), "listed 2 http://127.0.0.1:1/x http://127.0.0.1:1/y");
  // Next's rule holds across processes too.
  first->WriteLine("next5null");
  EXPECT_EQ(first->ReadUntil("next").value_or(""), "next 0x80004003");
  EXPECT_EQ(RunningServers().size(), 1u);
}

TEST_F(ServerTest, ErrorsReachOnlyTheFirstConnection) {
  Register();
  auto first = StartClient();
  auto second = StartClient();
  // A scheme the engine does not speak: the transfer fails at once with an
  // error report (a refused connection would be retried first).
  second->WriteLine("queue e1 ftp://127.0.0.1:1/e1");
  ASSERT_TRUE(first->ReadUntil("event 5 ftp://127.0.0.1:1/e1"));
  ASSERT_TRUE(second->ReadUntil("event 5 ftp://127.0.0.1:1/e1"));
  EXPECT_TRUE(Saw(*first, "event 3 ftp://127.0.0.1:1/e1"));
  EXPECT_FALSE(Saw(*second, "event 3 ftp://127.0.0.1:1/e1"));
  // With the first slot free, an error reaches nobody...
  first->WriteLine("release");
  ASSERT_TRUE(first->ReadUntil("released"));
  second->WriteLine("queue e2 ftp://127.0.0.1:1/e2");
  ASSERT_TRUE(second->ReadUntil("event 5 ftp://127.0.0.1:1/e2"));
  EXPECT_FALSE(Saw(*second, "event 3 ftp://127.0.0.1:1/e2"));
  // ...until a new sink takes it.
  auto third = StartClient();
  second->WriteLine("queue e3 ftp://127.0.0.1:1/e3");
  ASSERT_TRUE(third->ReadUntil("event 5 ftp://127.0.0.1:1/e3"));
  EXPECT_TRUE(Saw(*third, "event 3 ftp://127.0.0.1:1/e3"));
}

TEST_F(ServerTest, FourClientsStartingTogetherGetOneServer) {
  Register();
  SetThreadCount(0);
  std::vector<std::unique_ptr<ChildProcess>> clients;
  for (int i = 0; i < 4; ++i) clients.push_back(StartClient(false));
  for (auto& client : clients) client->WriteLine("create");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(clients[i]->ReadUntil("created", 15s).value_or(""), "created 0x00000000");
    clients[i]->WriteLine("queue f http://127.0.0.1:1/" + std::to_string(i));
    EXPECT_EQ(clients[i]->ReadUntil("queued").value_or(""), "queued 0x00000000");
  }
  // One queue holds all four records: one engine, one server.
  clients[0]->WriteLine("list");
  const std::string listed = clients[0]->ReadUntil("listed").value_or("");
  EXPECT_EQ(listed.rfind("listed 4 ", 0), 0u) << listed;
  EXPECT_EQ(RunningServers().size(), 1u);
}

TEST_F(ServerTest, TheServerStaysWhileAnyClientHoldsItAndEndsAfterTheLast) {
  Register();
  SetThreadCount(0);
  auto first = StartClient();
  auto second = StartClient();
  const pid_t server = ServerPid();
  ASSERT_GT(server, 0);
  second->WriteLine("queue q http://127.0.0.1:1/q");
  ASSERT_TRUE(second->ReadUntil("queued"));
  first->WriteLine("release");
  ASSERT_TRUE(first->ReadUntil("released"));
  // Ten idle times with one client left: the server must still be there.
  EXPECT_FALSE(WaitForProcessEnd(server, 10 * kShortIdle));
  second->WriteLine("release");
  ASSERT_TRUE(second->ReadUntil("released"));
  const auto released = Clock::now();
  ASSERT_TRUE(WaitForProcessEnd(server, 30s));
  EXPECT_GE(Clock::now() - released, kShortIdle);
  // A later client starts a fresh server; the queued record was lost.
  auto later = StartClient();
  later->WriteLine("list");
  EXPECT_EQ(later->ReadUntil("listed").value_or(""), "listed 0");
  EXPECT_NE(ServerPid(), server);
}

TEST_F(ServerTest, AServerThatNobodyClaimsEndsOnItsOwn) {
  // As when the client that started it died before it took the engine.
  constexpr auto kUnclaimed = 500ms;
  const ScopedEnv unclaimed("PULLWRIGHT_UNCLAIMED_MS", std::to_string(kUnclaimed.count()));
  Register();
  EXPECT_EQ(RunServerProgram({}, 30s), 0);

  // A client that is connected may still take the engine: the server waits.
  ChildProcess server({ServerProgram()});
  int client = -1;
  for (const auto deadline = Clock::now() + 30s; client < 0 && Clock::now() < deadline;
       std::this_thread::sleep_for(10ms))
    client = ps::endpoint::Connect();
  ASSERT_GE(client, 0);
  EXPECT_FALSE(WaitForProcessEnd(server.pid(), 8 * kUnclaimed));
  ::close(client);
  EXPECT_EQ(server.Wait(30s), 0);
}

TEST_F(ServerTest, TheServerKeepsNoneOfItsStartersDescriptors) {
  Register();
  // Without close-on-exec, as a careless starter's descriptors are.
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  std::shared_ptr<IDownloadEngine> engine;
  ASSERT_EQ(ps::CreateDownloadEngine(&engine), S_OK);
  ::close(pipe[1]);
  // The reading end comes to its end only once no process holds the other.
  pollfd end{pipe[0], POLLIN, 0};
  ASSERT_EQ(::poll(&end, 1, 10000), 1);
  char byte;
  EXPECT_EQ(::read(pipe[0], &byte, 1), 0);
  ::close(pipe[0]);
}

TEST_F(ServerTest, AKilledClientDoesNotKeepTheServerAliveAndItEndsFiveToSevenSecondsLater) {
  // The real idle time: the server ends 5 s after its last client, plus
  // the second it gives its connections before it ends.
  UseRealIdleTime();
  Register();
  SetThreadCount(0);
  auto client = StartClient();
  client->WriteLine("queue k http://127.0.0.1:1/k");
  ASSERT_TRUE(client->ReadUntil("queued"));
  const pid_t server = ServerPid();
  ASSERT_GT(server, 0);
  client->Kill();
  const auto killed = Clock::now();
  ASSERT_TRUE(WaitForProcessEnd(server, 70s));
  const auto took = Clock::now() - killed;
  EXPECT_GE(took, 5s);
  EXPECT_LE(took, 7s);
}

}  // namespace
