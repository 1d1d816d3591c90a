#pragma once

#include <memory>
#include <mutex>

#include "proxystub/server_session.h"
#include "pullwright/download_engine.h"
#include "pullwright/server/server_module.h"

// The one class object of the server: it creates the engine at the first
// request and hands the same engine to every later one. Every handed-out
// pointer shares one hold on the lock count, so the count has one unit
// while any client holds the engine, however many come and go.
class CEngineClassFactory final : public ps::IClassFactoryHost {
 public:
  CEngineClassFactory(CServerModule& module, EngineOptions options) : m_module(module), m_options(options) {}

  HRESULT CreateInstance(const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine) override;
  void LockServer(bool fLock) override;

  // No engine is handed out after this.
  void Revoke();
  // Drops the factory's engine: with no client left this destroys it, which
  // stops every transfer and waits for the workers.
  void ReleaseEngine();

 private:
  struct ClientHold;

  CServerModule& m_module;
  const EngineOptions m_options;
  std::mutex m_mutex;
  bool m_revoked = false;
  std::shared_ptr<CDownloadEngine> m_engine;
  std::weak_ptr<ClientHold> m_hold;
};
