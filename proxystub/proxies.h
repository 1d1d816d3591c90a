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
  std::uint32_t objectId() const { return m_objectId; }

 protected:
  std::shared_ptr<Connection> m_connection;
  const std::uint32_t m_objectId;
};

// The engine as a client sees it: every method is one call to the server.
// Arguments the wire cannot carry are refused here, without a call.
class CDownloadEngineProxy final : public IDownloadEngine, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  HRESULT DownloadFile(const char* pszFile, const char* pszHref) override;
  HRESULT CancelDownloadFile(const char* pszHref) override;
  HRESULT StopAllDownloads() override;
  HRESULT IsDownloading(std::int32_t* pfDownloading) override;
  HRESULT SetDLDir(const char* pszFile) override;
  HRESULT GetDLDir(std::uint32_t dwLen, char* pszFile) override;
  HRESULT SetThreadCount(std::uint32_t dwThreadCount) override;
  HRESULT SetMaxRetries(std::uint32_t dwMaxRetries) override;
  HRESULT EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT EnumPending(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) override;
  HRESULT FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) override;

 private:
  HRESULT Enumerator(wire::Method method, std::shared_ptr<IEnumFiles>* pEnum);
};

// Next travels as RemoteNext: a null count is accepted only for one record,
// and a request for more records than one frame carries is split.
class CEnumFilesProxy final : public IEnumFiles, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  HRESULT Next(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) override;
  HRESULT Skip(std::uint32_t celt) override;
  HRESULT Reset() override;
  HRESULT Clone(std::shared_ptr<IEnumFiles>* ppenum) override;

 private:
  HRESULT RemoteNext(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched);
};

// Advise exports the client's sink over the connection; the server then
// holds the only reference to it until it releases it.
class CConnectionPointProxy final : public IConnectionPoint, private RemoteReference {
 public:
  using RemoteReference::RemoteReference;
  HRESULT Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) override;
  HRESULT Unadvise(std::uint32_t dwCookie) override;
};

// A proxy for the object id an out-parameter carried; null for id 0 or a
// connection that closed meanwhile.
template <class Proxy>
std::shared_ptr<Proxy> MakeProxy(const std::shared_ptr<Connection>& connection, std::uint32_t objectId) {
  if (objectId == 0 || !connection->TryAddProxy()) return nullptr;
  return std::make_shared<Proxy>(connection, objectId);
}

}  // namespace ps
