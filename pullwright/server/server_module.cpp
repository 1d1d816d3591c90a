#include "pullwright/server/server_module.h"

#include "proxystub/server_endpoint.h"

void ServerEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
  }
  if (m_manualReset)
    m_changed.notify_all();
  else
    m_changed.notify_one();
}

void ServerEvent::Wait() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [&] { return m_set; });
  if (!m_manualReset) m_set = false;
}

bool ServerEvent::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  if (!m_changed.wait_for(lock, limit, [&] { return m_set; })) return false;
  if (!m_manualReset) m_set = false;
  return true;
}

CServerModule::~CServerModule() {
  if (m_monitor.joinable()) m_monitor.join();
}

void CServerModule::Lock() { ++m_nLockCnt; }

void CServerModule::Unlock() {
  if (--m_nLockCnt == 0) {
    m_bActivity = true;
    m_hEventShutdown.Set();
  }
}

void CServerModule::StartMonitor(ps::ServerEndpoint& endpoint) {
  m_monitor = std::thread(&CServerModule::MonitorShutdown, this, std::ref(endpoint));
}

void CServerModule::MonitorShutdown(ps::ServerEndpoint& endpoint) {
  for (;;) {
    m_hEventShutdown.Wait();
    do {
      m_bActivity = false;
    } while (m_hEventShutdown.WaitFor(m_idleTime));
    if (m_bActivity || m_nLockCnt != 0) continue;
    endpoint.Suspend();
    if (!m_bActivity && m_nLockCnt == 0) break;
    // A client came back between the check and the suspension: it is served
    // here, and new clients too unless another server took over meanwhile.
    endpoint.Resume();
  }
  m_quit.Set();
}
