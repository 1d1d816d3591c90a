#include "proxystub/stubs.h"

#include <algorithm>
#include <vector>

#include "proxystub/connection.h"
#include "proxystub/sink_proxy.h"

namespace ps {

using wire::Method;

namespace {

// A text argument: null stays null (the engine answers E_POINTER).
struct TextArg {
  char text[kMaxTextBytes];
  bool isNull = false;
  const char* get() const { return isNull ? nullptr : text; }
};

bool ReadText(wire::PayloadReader& in, TextArg& arg) { return in.Text(arg.text, &arg.isNull); }

}  // namespace

HRESULT CClassFactoryStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                  wire::FrameBuilder& out) {
  switch (method) {
    case Method::CreateInstance: {
      Guid iid{};
      if (!in.GuidField(iid)) return E_INVALIDARG;
      std::shared_ptr<IDownloadEngine> engine;
      const HRESULT hr = m_session->host().CreateInstance(iid, &engine);
      if (FAILED(hr) || !engine) return FAILED(hr) ? hr : E_UNEXPECTED;
      out.Object(connection.Export(std::make_shared<CDownloadEngineStub>(std::move(engine), m_session)));
      return hr;
    }
    case Method::LockServer: {
      std::uint32_t lock = 0;
      if (!in.Number(lock)) return E_INVALIDARG;
      return m_session->LockServer(lock != 0);
    }
    default:
      return E_NOTIMPL;
  }
}

HRESULT CDownloadEngineStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                    wire::FrameBuilder& out) {
  IDownloadEngine& engine = *m_engine;
  switch (method) {
    case Method::DownloadFile: {
      TextArg file, href;
      if (!ReadText(in, file) || !ReadText(in, href)) return E_INVALIDARG;
      return engine.DownloadFile(file.get(), href.get());
    }
    case Method::CancelDownloadFile: {
      TextArg href;
      if (!ReadText(in, href)) return E_INVALIDARG;
      return engine.CancelDownloadFile(href.get());
    }
    case Method::StopAllDownloads:
      return engine.StopAllDownloads();
    case Method::IsDownloading: {
      std::int32_t downloading = 0;
      const HRESULT hr = engine.IsDownloading(&downloading);
      out.Number(static_cast<std::uint32_t>(downloading));
      return hr;
    }
    case Method::SetDLDir: {
      TextArg folder;
      if (!ReadText(in, folder)) return E_INVALIDARG;
      return engine.SetDLDir(folder.get());
    }
    case Method::GetDLDir: {
      std::uint32_t length = 0;
      if (!in.Number(length)) return E_INVALIDARG;
      // The client's capacity is capped to what a reply can carry before
      // anything is allocated for it.
      char folder[kMaxTextBytes] = {};
      const HRESULT hr = engine.GetDLDir(std::min<std::uint32_t>(length, kMaxTextBytes), folder);
      if (FAILED(hr)) return hr;
      folder[kMaxTextBytes - 1] = '\0';
      if (!out.Text(static_cast<const char*>(folder))) return E_FAIL;
      return hr;
    }
    case Method::SetThreadCount:
    case Method::SetMaxRetries: {
      std::uint32_t value = 0;
      if (!in.Number(value)) return E_INVALIDARG;
      return method == Method::SetThreadCount ? engine.SetThreadCount(value) : engine.SetMaxRetries(value);
    }
    case Method::EnumFiles:
    case Method::EnumPending:
    case Method::EnumDownloading: {
      std::shared_ptr<IEnumFiles> enumerator;
      const HRESULT hr = method == Method::EnumFiles     ? engine.EnumFiles(&enumerator)
                         : method == Method::EnumPending ? engine.EnumPending(&enumerator)
                                                         : engine.EnumDownloading(&enumerator);
      if (FAILED(hr) || !enumerator) return FAILED(hr) ? hr : E_UNEXPECTED;
      out.Object(connection.Export(std::make_shared<CEnumFilesStub>(std::move(enumerator))));
      return hr;
    }
    case Method::FindConnectionPoint: {
      Guid iid{};
      if (!in.GuidField(iid)) return E_INVALIDARG;
      std::shared_ptr<IConnectionPoint> cp;
      const HRESULT hr = engine.FindConnectionPoint(iid, &cp);
      if (FAILED(hr) || !cp) return FAILED(hr) ? hr : E_UNEXPECTED;
      out.Object(connection.Export(std::make_shared<CConnectionPointStub>(std::move(cp), m_engine, m_session)));
      return hr;
    }
    default:
      return E_NOTIMPL;
  }
}

HRESULT CEnumFilesStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                               wire::FrameBuilder& out) {
  switch (method) {
    case Method::RemoteNext: {
      std::uint32_t celt = 0;
      if (!in.Number(celt)) return E_INVALIDARG;
      // Capped before the records are allocated; the proxy never asks more.
      if (celt > wire::kMaxNextCount) return E_INVALIDARG;
      thread_local std::vector<_LinkStructType> records;
      records.resize(std::max<std::uint32_t>(celt, 1));
      std::uint32_t fetched = 0;
      const HRESULT hr = m_enum->Next(celt, records.data(), &fetched);
      if (FAILED(hr)) return hr;
      out.Records(records.data(), std::min(fetched, celt));
      return hr;
    }
    case Method::Skip: {
      std::uint32_t celt = 0;
      if (!in.Number(celt)) return E_INVALIDARG;
      return m_enum->Skip(celt);
    }
    case Method::Reset:
      return m_enum->Reset();
    case Method::Clone: {
      std::shared_ptr<IEnumFiles> clone;
      const HRESULT hr = m_enum->Clone(&clone);
      if (FAILED(hr) || !clone) return FAILED(hr) ? hr : E_UNEXPECTED;
      out.Object(connection.Export(std::make_shared<CEnumFilesStub>(std::move(clone))));
      return hr;
    }
    default:
      return E_NOTIMPL;
  }
}

HRESULT CConnectionPointStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                     wire::FrameBuilder& out) {
  switch (method) {
    case Method::Advise: {
      std::uint32_t sinkId = 0;
      if (!in.Object(sinkId)) return E_INVALIDARG;
      if (sinkId == 0) return CONNECT_E_CANNOTCONNECT;
      // The sink proxy takes over the reference the client's call carried;
      // if advising fails it is dropped and the reference goes back.
      auto sink = std::make_shared<CSinkProxy>(connection.shared_from_this(), sinkId, m_session);
      std::uint32_t cookie = 0;
      const HRESULT hr = m_session->Advise(m_cp, sink, &cookie);
      out.Number(cookie);
      return hr;
    }
    case Method::Unadvise: {
      std::uint32_t cookie = 0;
      if (!in.Number(cookie)) return E_INVALIDARG;
      return m_session->Unadvise(cookie);
    }
    default:
      return E_NOTIMPL;
  }
}

HRESULT CCallbackStub::Invoke(Connection&, Method method, wire::PayloadReader& in, wire::FrameBuilder&) {
  if (method != Method::DownloadStatus) return E_NOTIMPL;
  std::uint32_t status = 0;
  TextArg text;
  _LinkStructType record;
  if (!in.Number(status) || !ReadText(in, text) || !in.Record(record)) return E_INVALIDARG;
  return m_sink->DownloadStatus(status, text.get(), record);
}

}  // namespace ps
