#pragma once

#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <vector>

#include "proxystub/activation.h"
#include "proxystub/connection.h"
#include "proxystub/server_endpoint.h"
#include "pullwright/server/engine_class_factory.h"
#include "pullwright/server/server_module.h"
#include "settings/settings.h"
#include "settings/settings_key.h"
#include "tests/support/temp_dir.h"

// The server side of the real engine host and its clients in one process,
// over socket pairs: everything but the process boundary and activation.
class Loopback {
 public:
  explicit Loopback(std::uint32_t threads = 0, std::chrono::milliseconds sinkTimeLimit = std::chrono::seconds(10)) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    WriteSetting(*key, setting::kThreadCount, threads);
    WriteDownloadDirectory(*key, m_downloads.path() + "/");
    key->Close();
    m_serverOptions.callTimeout = sinkTimeLimit;
  }

  ~Loopback() {
    for (auto& client : m_clients) client->Close();
    for (auto& server : m_servers) server->Close();
    for (auto& client : m_clients) client->JoinThreads();
    for (auto& server : m_servers) server->JoinThreads();
    m_factory.ReleaseEngine();
  }

  // A new client connection; the harness keeps it open until the end (or
  // until the test closes it) whatever its proxies do.
  std::shared_ptr<ps::Connection> Connect() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return nullptr;
    m_servers.push_back(ps::ServeClient(fds[0], m_factory, m_serverOptions));
    auto client = ps::Connection::Start(fds[1], wire::Side::Client, {});
    client->TryAddProxy();
    m_clients.push_back(client);
    return client;
  }

  std::shared_ptr<IDownloadEngine> Engine(const std::shared_ptr<ps::Connection>& client) {
    std::shared_ptr<IDownloadEngine> engine;
    ps::CreateEngineOver(client, &engine);
    return engine;
  }

  std::shared_ptr<ps::Connection> server(std::size_t index) const { return m_servers.at(index); }
  std::int32_t LockCount() const { return m_module.LockCount(); }
  ps::IClassFactoryHost* factory() { return &m_factory; }

 private:
  TempSettings m_settings;
  TempDir m_downloads;
  CServerModule m_module;
  CEngineClassFactory m_factory{m_module, EngineOptions{}};
  ps::ConnectionOptions m_serverOptions;
  std::vector<std::shared_ptr<ps::Connection>> m_servers;
  std::vector<std::shared_ptr<ps::Connection>> m_clients;
};

// Polls `condition` until it holds or `limit` passes.
template <class Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Every record the engine lists, in listing order.
inline std::vector<std::string> ListedHrefs(IDownloadEngine& engine) {
  std::vector<std::string> hrefs;
  std::shared_ptr<IEnumFiles> files;
  if (FAILED(engine.EnumFiles(&files)) || !files) return hrefs;
  _LinkStructType records[16];
  for (;;) {
    std::uint32_t fetched = 0;
    const HRESULT hr = files->Next(16, records, &fetched);
    for (std::uint32_t i = 0; i < fetched; ++i) hrefs.emplace_back(RecordText(records[i].szHref));
    if (hr != S_OK) break;
  }
  return hrefs;
}
