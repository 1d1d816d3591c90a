#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "contract/interfaces.h"

namespace ps {

class CSinkProxy;

// What the server program offers through object 0 of every connection.
class IClassFactoryHost {
 public:
  virtual ~IClassFactoryHost() = default;
  // Hands out the engine (E_NOINTERFACE for another identity). Each handed
  // out pointer counts as a client holding the engine until it is dropped.
  virtual HRESULT CreateInstance(const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine) = 0;
  virtual void LockServer(bool fLock) = 0;
};

// What one client connection holds in the server besides its objects: the
// sinks it advised and the LockServer units it took. When the connection
// closes, all of them are given back at once, so a client that crashed
// neither keeps the server alive nor leaves a sink behind that no one
// answers for.
class ServerSession {
 public:
  explicit ServerSession(IClassFactoryHost& host) : m_host(host) {}

  HRESULT LockServer(bool fLock);
  HRESULT Advise(const std::shared_ptr<IConnectionPoint>& cp, const std::shared_ptr<CSinkProxy>& sink,
                 std::uint32_t* pdwCookie);
  // Only cookies advised through this connection can be unadvised by it.
  HRESULT Unadvise(std::uint32_t dwCookie);
  // A sink that did not answer in time is disconnected.
  void DisconnectSink(const CSinkProxy* sink);
  void Close();

  IClassFactoryHost& host() { return m_host; }

 private:
  struct Advised {
    std::shared_ptr<IConnectionPoint> cp;
    std::uint32_t cookie;
    std::shared_ptr<CSinkProxy> sink;
  };

  IClassFactoryHost& m_host;
  std::mutex m_mutex;
  bool m_closed = false;
  unsigned m_locks = 0;
  std::vector<Advised> m_advised;
};

}  // namespace ps
