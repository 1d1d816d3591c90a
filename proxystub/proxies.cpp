#include "proxystub/proxies.h"

#include <algorithm>
#include <cstring>

#include "proxystub/stubs.h"

namespace ps {

namespace {

using wire::Method;

// A call whose only arguments are texts; a text the wire cannot carry is
// refused before anything is sent, as the engine would refuse it.
HRESULT CallWithTexts(Connection& connection, std::uint32_t objectId, Method method,
                      std::initializer_list<const char*> texts) {
  for (const char* text : texts)
    if (!text) return E_POINTER;
  OutgoingCall call(connection, objectId, method);
  for (const char* text : texts)
    if (!call.args().Text(text)) return E_INVALIDARG;
  return call.Invoke();
}

HRESULT CallWithNumber(Connection& connection, std::uint32_t objectId, Method method, std::uint32_t number) {
  OutgoingCall call(connection, objectId, method);
  call.args().Number(number);
  return call.Invoke();
}

HRESULT CallPlain(Connection& connection, std::uint32_t objectId, Method method) {
  OutgoingCall call(connection, objectId, method);
  return call.Invoke();
}

}  // namespace

HRESULT CDownloadEngineProxy::DownloadFile(const char* pszFile, const char* pszHref) {
  return CallWithTexts(*m_connection, m_objectId, Method::DownloadFile, {pszFile, pszHref});
}

HRESULT CDownloadEngineProxy::CancelDownloadFile(const char* pszHref) {
  return CallWithTexts(*m_connection, m_objectId, Method::CancelDownloadFile, {pszHref});
}

HRESULT CDownloadEngineProxy::StopAllDownloads() { return CallPlain(*m_connection, m_objectId, Method::StopAllDownloads); }

HRESULT CDownloadEngineProxy::IsDownloading(std::int32_t* pfDownloading) {
  if (!pfDownloading) return E_POINTER;
  OutgoingCall call(*m_connection, m_objectId, Method::IsDownloading);
  const HRESULT hr = call.Invoke();
  std::uint32_t value = 0;
  if (SUCCEEDED(hr) && call.outs().Number(value)) *pfDownloading = static_cast<std::int32_t>(value);
  return hr;
}

HRESULT CDownloadEngineProxy::SetDLDir(const char* pszFile) {
  return CallWithTexts(*m_connection, m_objectId, Method::SetDLDir, {pszFile});
}

HRESULT CDownloadEngineProxy::GetDLDir(std::uint32_t dwLen, char* pszFile) {
  if (!pszFile) return E_FAIL;
  OutgoingCall call(*m_connection, m_objectId, Method::GetDLDir);
  call.args().Number(dwLen);
  const HRESULT hr = call.Invoke();
  if (FAILED(hr)) return hr;
  char folder[kMaxTextBytes];
  if (!call.outs().Text(folder)) return E_FAIL;
  const std::size_t size = std::strlen(folder) + 1;
  // The caller's buffer holds dwLen bytes; the reply is never written past it.
  if (size > dwLen) return E_FAIL;
  std::memcpy(pszFile, folder, size);
  return hr;
}

HRESULT CDownloadEngineProxy::SetThreadCount(std::uint32_t dwThreadCount) {
  return CallWithNumber(*m_connection, m_objectId, Method::SetThreadCount, dwThreadCount);
}

HRESULT CDownloadEngineProxy::SetMaxRetries(std::uint32_t dwMaxRetries) {
  return CallWithNumber(*m_connection, m_objectId, Method::SetMaxRetries, dwMaxRetries);
}

HRESULT CDownloadEngineProxy::Enumerator(Method method, std::shared_ptr<IEnumFiles>* pEnum) {
  if (!pEnum) return E_POINTER;
  OutgoingCall call(*m_connection, m_objectId, method);
  HRESULT hr = call.Invoke();
  std::uint32_t id = 0;
  if (SUCCEEDED(hr) && call.outs().Object(id)) {
    *pEnum = MakeProxy<CEnumFilesProxy>(m_connection, id);
    if (!*pEnum) hr = RPC_E_DISCONNECTED;
  }
  return hr;
}

HRESULT CDownloadEngineProxy::EnumFiles(std::shared_ptr<IEnumFiles>* pEnum) {
  return Enumerator(Method::EnumFiles, pEnum);
}
HRESULT CDownloadEngineProxy::EnumPending(std::shared_ptr<IEnumFiles>* pEnum) {
  return Enumerator(Method::EnumPending, pEnum);
}
HRESULT CDownloadEngineProxy::EnumDownloading(std::shared_ptr<IEnumFiles>* pEnum) {
  return Enumerator(Method::EnumDownloading, pEnum);
}

HRESULT CDownloadEngineProxy::FindConnectionPoint(const Guid& riid, std::shared_ptr<IConnectionPoint>* ppCP) {
  if (!ppCP) return E_POINTER;
  OutgoingCall call(*m_connection, m_objectId, Method::FindConnectionPoint);
  call.args().GuidField(riid);
  HRESULT hr = call.Invoke();
  std::uint32_t id = 0;
  if (SUCCEEDED(hr) && call.outs().Object(id)) {
    *ppCP = MakeProxy<CConnectionPointProxy>(m_connection, id);
    if (!*ppCP) hr = RPC_E_DISCONNECTED;
  }
  return hr;
}

HRESULT CEnumFilesProxy::RemoteNext(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) {
  OutgoingCall call(*m_connection, m_objectId, Method::RemoteNext);
  call.args().Number(celt);
  const HRESULT hr = call.Invoke();
  *pceltFetched = 0;
  if (FAILED(hr)) return hr;
  std::uint32_t fetched = 0;
  // Never more records than asked for land in the caller's array.
  if (!call.outs().Records(rgelt, celt, fetched)) return E_UNEXPECTED;
  *pceltFetched = fetched;
  return hr;
}

HRESULT CEnumFilesProxy::Next(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) {
  if (!pceltFetched && celt != 1) return E_POINTER;
  if (!rgelt && celt > 0) return E_POINTER;
  std::uint32_t total = 0;
  HRESULT hr = S_OK;
  do {
    const std::uint32_t chunk = std::min(celt - total, wire::kMaxNextCount);
    std::uint32_t fetched = 0;
    hr = RemoteNext(chunk, rgelt + total, &fetched);
    total += fetched;
    if (hr != S_OK) break;
  } while (total < celt);
  if (pceltFetched) *pceltFetched = total;
  if (SUCCEEDED(hr)) hr = total == celt ? S_OK : S_FALSE;
  return hr;
}

HRESULT CEnumFilesProxy::Skip(std::uint32_t celt) { return CallWithNumber(*m_connection, m_objectId, Method::Skip, celt); }

HRESULT CEnumFilesProxy::Reset() { return CallPlain(*m_connection, m_objectId, Method::Reset); }

HRESULT CEnumFilesProxy::Clone(std::shared_ptr<IEnumFiles>* ppenum) {
  if (!ppenum) return E_POINTER;
  OutgoingCall call(*m_connection, m_objectId, Method::Clone);
  HRESULT hr = call.Invoke();
  std::uint32_t id = 0;
  if (SUCCEEDED(hr) && call.outs().Object(id)) *ppenum = MakeProxy<CEnumFilesProxy>(m_connection, id);
  return hr;
}

HRESULT CConnectionPointProxy::Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return CONNECT_E_CANNOTCONNECT;
  const std::uint32_t sinkId = m_connection->Export(std::make_shared<CCallbackStub>(std::move(pUnkSink)));
  OutgoingCall call(*m_connection, m_objectId, Method::Advise);
  call.args().Object(sinkId);
  const HRESULT hr = call.Invoke();
  std::uint32_t cookie = 0;
  if (SUCCEEDED(hr) && call.outs().Number(cookie)) *pdwCookie = cookie;
  return hr;
}

HRESULT CConnectionPointProxy::Unadvise(std::uint32_t dwCookie) {
  return CallWithNumber(*m_connection, m_objectId, Method::Unadvise, dwCookie);
}

}  // namespace ps
