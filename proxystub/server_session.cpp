#include "proxystub/server_session.h"

#include <algorithm>

#include "proxystub/sink_proxy.h"

namespace ps {

namespace {

// Cookies are the engine's, shared by every connection: Advise and Unadvise
// with their bookkeeping happen under one lock, so a cookie freed by one
// connection and handed to another is never mistaken for the first one's.
std::mutex g_adviseMutex;

}  // namespace

HRESULT ServerSession::LockServer(bool fLock) {
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return RPC_E_DISCONNECTED;
    if (!fLock && m_locks == 0) return S_OK;  // never below what this client took
    m_locks += fLock ? 1 : -1;
  }
  m_host.LockServer(fLock);
  return S_OK;
}

HRESULT ServerSession::Advise(const std::shared_ptr<IConnectionPoint>& cp, const std::shared_ptr<CSinkProxy>& sink,
                              std::uint32_t* pdwCookie) {
  std::lock_guard advise(g_adviseMutex);
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return RPC_E_DISCONNECTED;
  }
  const HRESULT hr = cp->Advise(sink, pdwCookie);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(m_mutex);
  m_advised.push_back({cp, *pdwCookie, sink});
  return hr;
}

HRESULT ServerSession::Unadvise(std::uint32_t dwCookie) {
  std::vector<Advised> dropped;  // released after both locks are left
  std::lock_guard advise(g_adviseMutex);
  {
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_advised.begin(), m_advised.end(),
                                 [&](const Advised& entry) { return entry.cookie == dwCookie; });
    if (it == m_advised.end()) return CONNECT_E_NOCONNECTION;
    dropped.push_back(std::move(*it));
    m_advised.erase(it);
  }
  return dropped.front().cp->Unadvise(dwCookie);
}

void ServerSession::DisconnectSink(const CSinkProxy* sink) {
  std::vector<Advised> dropped;
  {
    std::lock_guard advise(g_adviseMutex);
    {
      std::lock_guard lock(m_mutex);
      for (auto it = m_advised.begin(); it != m_advised.end();) {
        if (it->sink.get() == sink) {
          dropped.push_back(std::move(*it));
          it = m_advised.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (Advised& entry : dropped) entry.cp->Unadvise(entry.cookie);
  }
}

void ServerSession::Close() {
  std::vector<Advised> dropped;
  unsigned locks = 0;
  {
    std::lock_guard advise(g_adviseMutex);
    {
      std::lock_guard lock(m_mutex);
      if (m_closed) return;
      m_closed = true;
      dropped.swap(m_advised);
      locks = m_locks;
      m_locks = 0;
    }
    for (Advised& entry : dropped) {
      entry.sink->Disconnect();
      entry.cp->Unadvise(entry.cookie);
    }
  }
  dropped.clear();
  for (unsigned i = 0; i < locks; ++i) m_host.LockServer(false);
}

}  // namespace ps
