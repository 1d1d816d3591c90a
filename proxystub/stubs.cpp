#include "proxystub/stubs.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "proxystub/connection.h"
#include "proxystub/prompt_sink.h"
#include "proxystub/sink_proxy.h"

namespace ps {

using wire::Method;

HRESULT CClassFactoryStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                  wire::FrameBuilder& out) {
  switch (method) {
    PS_CLASS_FACTORY_METHODS(PS_SERVE_CASE, _)
    default:
      return E_NOTIMPL;
  }
}

HRESULT CClassFactoryStub::CreateInstance(const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine) {
  return m_session->host().CreateInstance(riid, ppEngine);
}

HRESULT CClassFactoryStub::LockServer(std::uint32_t fLock) { return m_session->LockServer(fLock != 0); }

std::shared_ptr<Stub> CClassFactoryStub::StubFor(std::shared_ptr<IDownloadEngine> engine) {
  return std::make_shared<CDownloadEngineStub>(std::move(engine), m_session);
}

HRESULT CDownloadEngineStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                    wire::FrameBuilder& out) {
  switch (method) {
    PW_DOWNLOAD_ENGINE_METHODS(PS_SERVE_CASE, _)
    PW_CONNECTION_POINT_CONTAINER_METHODS(PS_SERVE_CASE, _)
    default:
      return E_NOTIMPL;
  }
}

std::shared_ptr<Stub> CDownloadEngineStub::StubFor(std::shared_ptr<IEnumFiles> enumerator) {
  return std::make_shared<CEnumFilesStub>(std::move(enumerator));
}

std::shared_ptr<Stub> CDownloadEngineStub::StubFor(std::shared_ptr<IConnectionPoint> cp) {
  return std::make_shared<CConnectionPointStub>(std::move(cp), m_engine, m_session);
}

HRESULT CDownloadEngineStub::Serve(wire::MethodTag<Method::GetDLDir>, Connection&, wire::PayloadReader& in,
                                   wire::FrameBuilder& out) {
  std::uint32_t length = 0;
  if (!in.Number(length)) return E_INVALIDARG;
  // The client's capacity is capped to what a reply can carry before
  // anything is allocated for it.
  char folder[kMaxTextBytes] = {};
  const HRESULT hr = m_engine->GetDLDir(std::min<std::uint32_t>(length, kMaxTextBytes), folder);
  if (FAILED(hr)) return hr;
  folder[kMaxTextBytes - 1] = '\0';
  if (!out.Text(static_cast<const char*>(folder))) return E_FAIL;
  return hr;
}

HRESULT CEnumFilesStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                               wire::FrameBuilder& out) {
  switch (method) {
    PW_ENUM_FILES_METHODS(PS_SERVE_CASE, _)
    default:
      return E_NOTIMPL;
  }
}

std::shared_ptr<Stub> CEnumFilesStub::StubFor(std::shared_ptr<IEnumFiles> clone) {
  return std::make_shared<CEnumFilesStub>(std::move(clone));
}

HRESULT CEnumFilesStub::Serve(wire::MethodTag<Method::RemoteNext>, Connection&, wire::PayloadReader& in,
                              wire::FrameBuilder& out) {
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

HRESULT CConnectionPointStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                                     wire::FrameBuilder& out) {
  switch (method) {
    PW_CONNECTION_POINT_METHODS(PS_SERVE_CASE, _)
    default:
      return E_NOTIMPL;
  }
}

HRESULT CConnectionPointStub::Serve(wire::MethodTag<Method::Advise>, Connection& connection,
                                    wire::PayloadReader& in, wire::FrameBuilder& out) {
  std::uint32_t sinkId = 0;
  if (!in.Object(sinkId)) return E_INVALIDARG;
  if (sinkId == 0) return CONNECT_E_CANNOTCONNECT;
  // The sink proxy takes over the reference the client's call carried; if
  // advising fails it is dropped and the reference goes back.
  auto sink = std::make_shared<CSinkProxy>(connection.shared_from_this(), sinkId, m_session);
  sink->OpenStatusChannel();
  std::uint32_t cookie = 0;
  const HRESULT hr = m_session->Advise(m_cp, sink, &cookie);
  out.Number(cookie);
  return hr;
}

HRESULT CConnectionPointStub::Serve(wire::MethodTag<Method::Unadvise>, Connection&, wire::PayloadReader& in,
                                    wire::FrameBuilder&) {
  std::uint32_t cookie = 0;
  if (!in.Number(cookie)) return E_INVALIDARG;
  return m_session->Unadvise(cookie);
}

HRESULT CCallbackStub::Invoke(Connection& connection, Method method, wire::PayloadReader& in,
                              wire::FrameBuilder& out) {
  switch (method) {
    PW_CALLBACK_METHODS(PS_SERVE_CASE, _)
    PS_STATUS_CHANNEL_METHODS(PS_SERVE_CASE, _)
    default:
      return E_NOTIMPL;
  }
}

HRESULT CCallbackStub::Serve(wire::MethodTag<Method::OpenStatusChannel>, Connection& connection,
                             wire::PayloadReader& in, wire::FrameBuilder&) {
  // The descriptor is taken first, so that it is never left open.
  auto channel = std::shared_ptr<StatusChannel>(StatusChannel::Adopt(connection.TakeCallFd()));
  std::uint32_t slotCount = 0;
  if (!in.Number(slotCount)) return E_INVALIDARG;
  // Refused, the socket carries the sink's calls as before.
  if (!channel || channel->slotCount() != slotCount) return E_FAIL;
  std::lock_guard lock(m_mutex);
  if (m_channelServer) return E_FAIL;
  try {
    // The sinks copy a call and hand it over, so it can run on the thread
    // that took it from the channel, and a prompt sink's on any channel
    // thread of this process.
    const auto* prompt = dynamic_cast<const PromptSink*>(m_sink.get());
    m_channelServer = std::make_unique<StatusChannelServer>(
        channel,
        [sink = m_sink](const StatusCall& call) {
          return sink->DownloadStatus(call.status, call.TextOrNull(), call.record);
        },
        prompt && prompt->ReturnsAtOnce());
  } catch (const std::system_error&) {
    return E_FAIL;
  }
  connection.AddCloseHook([weak = std::weak_ptr<StatusChannel>(channel)] {
    if (const auto closing = weak.lock()) closing->Close();
  });
  return S_OK;
}

}  // namespace ps
