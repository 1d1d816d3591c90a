#include "pullwright/server/engine_class_factory.h"

struct CEngineClassFactory::ClientHold {
  ClientHold(CServerModule& module, std::shared_ptr<CDownloadEngine> held) : module(module), engine(std::move(held)) {
    module.Lock();
  }
  ~ClientHold() { module.Unlock(); }
  CServerModule& module;
  std::shared_ptr<CDownloadEngine> engine;
};

HRESULT CEngineClassFactory::CreateInstance(const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine) {
  if (!ppEngine) return E_POINTER;
  if (!(riid == IID_IDownloadEngine)) return E_NOINTERFACE;
  std::lock_guard lock(m_mutex);
  if (m_revoked) return CO_E_SERVER_EXEC_FAILURE;
  if (!m_engine) {
    CServerModule& module = m_module;
    // Every enumerator keeps the server alive while it exists.
    m_engine = CDownloadEngine::Create(m_options, [&module](bool created) {
      if (created)
        module.Lock();
      else
        module.Unlock();
    });
  }
  std::shared_ptr<ClientHold> hold = m_hold.lock();
  if (!hold) {
    hold = std::make_shared<ClientHold>(m_module, m_engine);
    m_hold = hold;
  }
  *ppEngine = std::shared_ptr<IDownloadEngine>(hold, hold->engine.get());
  return S_OK;
}

void CEngineClassFactory::LockServer(bool fLock) {
  if (fLock)
    m_module.Lock();
  else
    m_module.Unlock();
}

void CEngineClassFactory::Revoke() {
  std::lock_guard lock(m_mutex);
  m_revoked = true;
}

void CEngineClassFactory::ReleaseEngine() {
  std::shared_ptr<CDownloadEngine> engine;
  {
    std::lock_guard lock(m_mutex);
    engine = std::move(m_engine);
  }
  engine.reset();
}
