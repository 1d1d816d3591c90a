#include "pullwright/server/server_module.h"

#include <algorithm>

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

bool CServerModule::AwaitFirstClaim(ps::ServerEndpoint& endpoint) {
  const auto step = std::min(m_unclaimedTime, std::chrono::milliseconds(1000));
  auto claimed = std::chrono::steady_clock::now();
  for (;;) {
    if (m_hEventShutdown.WaitFor(step)) return true;
    const auto now = std::chrono::steady_clock::now();
    // A connected client may be about to take the engine.
    if (m_nLockCnt != 0 || endpoint.HasClients()) {
      claimed = now;
      continue;
    }
    if (now - claimed < m_unclaimedTime) continue;
    endpoint.Suspend();
    // Every client accepted before the suspension is counted by now.
    if (m_nLockCnt == 0 && !endpoint.HasClients()) return false;
    endpoint.Resume();
    claimed = now;
  }
}

void CServerModule::MonitorShutdown(ps::ServerEndpoint& endpoint) {
  if (AwaitFirstClaim(endpoint)) {
    for (;;) {
      do {
        m_bActivity = false;
      } while (m_hEventShutdown.WaitFor(m_idleTime));
      if (!m_bActivity && m_nLockCnt == 0) {
        endpoint.Suspend();
        if (!m_bActivity && m_nLockCnt == 0) break;
        // A client came back between the check and the suspension: it is
        // served here, and new clients too unless another server took over
        // meanwhile.
        endpoint.Resume();
      }
      m_hEventShutdown.Wait();
    }
  }
  m_quit.Set();
}
