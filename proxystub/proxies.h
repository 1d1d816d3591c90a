#pragma once

#include <cstdint>
#include <memory>

#include "contract/interfaces.h"
#include "proxystub/connection.h"

namespace ps {

// Holds one remote reference to an object of the peer and gives it back
// when destroyed.
class RemoteReference {
 public:
  RemoteReference(std::shared_ptr<Connection> connection, std::uint32_t objectId)
      : m_connection(std::move(connection)), m_objectId(objectId) {}
  ~RemoteReference() { m_connection->RemoveProxy(m_objectId); }
  RemoteReference(const RemoteReference&) = delete;
  RemoteReference& operator=(const RemoteReference&) = delete;

  Connection& connection() const { return *m_connection; }
  const std::shared_ptr<Connection>& sharedConnection() const { return m_connection; }
  std::uint32_t objectId() const { return m_objectId; }

 protected:
  std::shared_ptr<Connection> m_connection;
  const std::uint32_t m_objectId;
};

// Declares a proxy's method from its list entry; marshal.h defines it.
#define PS_DECLARE_PROXY_METHOD(Context, Name, Slot, Params, Args) HRESULT Name Params override;

// The engine as a client sees it: every method is one call to the server.
// Arguments the wire cannot carry are refused here, without a call.
class CDownloadEngineProxy final : public IDownloadEngine, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  PW_DOWNLOAD_ENGINE_METHODS(PS_DECLARE_PROXY_METHOD, _)
  PW_CONNECTION_POINT_CONTAINER_METHODS(PS_DECLARE_PROXY_METHOD, _)
};

// Next travels as RemoteNext: a null count is accepted only for one record,
// and a request for more records than one frame carries is split.
class CEnumFilesProxy final : public IEnumFiles, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  PW_ENUM_FILES_METHODS(PS_DECLARE_PROXY_METHOD, _)
};

// Advise exports the client's sink over the connection; the server then
// holds the only reference to it until it releases it.
class CConnectionPointProxy final : public IConnectionPoint, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  PW_CONNECTION_POINT_METHODS(PS_DECLARE_PROXY_METHOD, _)
};

// The proxy class of each interface whose objects are handed out.
template <class I> struct ProxyOf;
template <> struct ProxyOf<IDownloadEngine> { using type = CDownloadEngineProxy; };
template <> struct ProxyOf<IEnumFiles> { using type = CEnumFilesProxy; };
template <> struct ProxyOf<IConnectionPoint> { using type = CConnectionPointProxy; };

// A proxy for the object id an out-parameter carried; null for id 0 or a
// connection that closed meanwhile.
template <class Proxy>
std::shared_ptr<Proxy> MakeProxy(const std::shared_ptr<Connection>& connection, std::uint32_t objectId) {
  if (objectId == 0 || !connection->TryAddProxy()) return nullptr;
  return std::make_shared<Proxy>(connection, objectId);
}

}  // namespace ps
