#include "proxystub/proxies.h"

#include <algorithm>
#include <cstring>

#include "proxystub/marshal.h"
#include "proxystub/stubs.h"

namespace ps {

using wire::Method;

// The folder comes back as a text and is copied into the caller's buffer of
// dwLen bytes, never past its end.
template <>
struct ProxyCall<Method::GetDLDir> {
  RemoteReference& self;

  HRESULT operator()(std::uint32_t dwLen, char* pszFile) const {
    if (!pszFile) return E_FAIL;
    OutgoingCall call(self.connection(), self.objectId(), Method::GetDLDir);
    call.args().Number(dwLen);
    const HRESULT hr = call.Invoke();
    if (FAILED(hr)) return hr;
    char folder[kMaxTextBytes];
    if (!call.outs().Text(folder)) return E_FAIL;
    const std::size_t size = std::strlen(folder) + 1;
    if (size > dwLen) return E_FAIL;
    std::memcpy(pszFile, folder, size);
    return hr;
  }
};

// Next travels as RemoteNext, at most kMaxNextCount records a call.
template <>
struct ProxyCall<Method::RemoteNext> {
  RemoteReference& self;

  HRESULT operator()(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) const {
    if (!pceltFetched && celt != 1) return E_POINTER;
    if (!rgelt && celt > 0) return E_POINTER;
    std::uint32_t total = 0;
    HRESULT hr = S_OK;
    do {
      const std::uint32_t chunk = std::min(celt - total, wire::kMaxNextCount);
      std::uint32_t fetched = 0;
      hr = RemoteNext(chunk, rgelt + total, fetched);
      total += fetched;
      if (hr != S_OK) break;
    } while (total < celt);
    if (pceltFetched) *pceltFetched = total;
    if (SUCCEEDED(hr)) hr = total == celt ? S_OK : S_FALSE;
    return hr;
  }

  HRESULT RemoteNext(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t& fetched) const {
    OutgoingCall call(self.connection(), self.objectId(), Method::RemoteNext);
    call.args().Number(celt);
    const HRESULT hr = call.Invoke();
    if (FAILED(hr)) return hr;
    // Never more records than asked for land in the caller's array.
    if (!call.outs().Records(rgelt, celt, fetched)) return E_UNEXPECTED;
    return hr;
  }
};

// The sink is exported over the connection before the call that hands it
// to the server.
template <>
struct ProxyCall<Method::Advise> {
  RemoteReference& self;

  HRESULT operator()(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) const {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return CONNECT_E_CANNOTCONNECT;
    const std::uint32_t sinkId = self.connection().Export(std::make_shared<CCallbackStub>(std::move(pUnkSink)));
    OutgoingCall call(self.connection(), self.objectId(), Method::Advise);
    call.args().Object(sinkId);
    const HRESULT hr = call.Invoke();
    std::uint32_t cookie = 0;
    if (SUCCEEDED(hr) && call.outs().Number(cookie)) *pdwCookie = cookie;
    return hr;
  }
};

PW_DOWNLOAD_ENGINE_METHODS(PS_DEFINE_PROXY_METHOD, CDownloadEngineProxy)
PW_CONNECTION_POINT_CONTAINER_METHODS(PS_DEFINE_PROXY_METHOD, CDownloadEngineProxy)
PW_ENUM_FILES_METHODS(PS_DEFINE_PROXY_METHOD, CEnumFilesProxy)
PW_CONNECTION_POINT_METHODS(PS_DEFINE_PROXY_METHOD, CConnectionPointProxy)

}  // namespace ps
