#pragma once

#include <memory>
#include <mutex>

#include "contract/interfaces.h"
#include "proxystub/marshal.h"
#include "proxystub/object_table.h"
#include "proxystub/server_session.h"
#include "proxystub/status_channel_server.h"

// The stubs of the objects each side exports. Their Invoke is made from the
// method lists (see marshal.h); what is written here is what is particular
// to each object: its real object, the stubs of the objects it hands out,
// and the hooks of the methods that follow rules of their own.
namespace ps {

// Server side: object 0 of a connection. It is its own target: it makes
// the engine through the server's host and counts LockServer in the
// connection's session.
class CClassFactoryStub final : public GeneratedStub<CClassFactoryStub>, private wire::IClassFactory {
 public:
  explicit CClassFactoryStub(std::shared_ptr<ServerSession> session) : m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::ClassFactory; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  friend class GeneratedStub<CClassFactoryStub>;
  wire::IClassFactory& Target() { return *this; }
  std::shared_ptr<Stub> StubFor(std::shared_ptr<IDownloadEngine> engine);
  HRESULT CreateInstance(const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine) override;
  HRESULT LockServer(std::uint32_t fLock) override;

  std::shared_ptr<ServerSession> m_session;
};

// Server side: the engine, holding one of the references that count as a
// client holding it.
class CDownloadEngineStub final : public GeneratedStub<CDownloadEngineStub> {
 public:
  CDownloadEngineStub(std::shared_ptr<IDownloadEngine> engine, std::shared_ptr<ServerSession> session)
      : m_engine(std::move(engine)), m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Engine; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  friend class GeneratedStub<CDownloadEngineStub>;
  IDownloadEngine& Target() { return *m_engine; }
  std::shared_ptr<Stub> StubFor(std::shared_ptr<IEnumFiles> enumerator);
  std::shared_ptr<Stub> StubFor(std::shared_ptr<IConnectionPoint> cp);
  using GeneratedStub::Serve;
  HRESULT Serve(wire::MethodTag<wire::Method::GetDLDir>, Connection&, wire::PayloadReader& in,
                wire::FrameBuilder& out);

  std::shared_ptr<IDownloadEngine> m_engine;
  std::shared_ptr<ServerSession> m_session;
};

class CEnumFilesStub final : public GeneratedStub<CEnumFilesStub> {
 public:
  explicit CEnumFilesStub(std::shared_ptr<IEnumFiles> enumerator) : m_enum(std::move(enumerator)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Enumerator; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  friend class GeneratedStub<CEnumFilesStub>;
  IEnumFiles& Target() { return *m_enum; }
  std::shared_ptr<Stub> StubFor(std::shared_ptr<IEnumFiles> clone);
  using GeneratedStub::Serve;
  HRESULT Serve(wire::MethodTag<wire::Method::RemoteNext>, Connection&, wire::PayloadReader& in,
                wire::FrameBuilder& out);

  std::shared_ptr<IEnumFiles> m_enum;
};

// The connection point keeps the engine held, as it keeps its container.
// Both its methods go through the connection's session, which gives the
// sinks back when the connection closes and unadvises only its own cookies.
class CConnectionPointStub final : public Stub {
 public:
  CConnectionPointStub(std::shared_ptr<IConnectionPoint> cp, std::shared_ptr<IDownloadEngine> engine,
                       std::shared_ptr<ServerSession> session)
      : m_cp(std::move(cp)), m_engine(std::move(engine)), m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::ConnectionPoint; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  HRESULT Serve(wire::MethodTag<wire::Method::Advise>, Connection& connection, wire::PayloadReader& in,
                wire::FrameBuilder& out);
  HRESULT Serve(wire::MethodTag<wire::Method::Unadvise>, Connection&, wire::PayloadReader& in,
                wire::FrameBuilder&);

  std::shared_ptr<IConnectionPoint> m_cp;
  std::shared_ptr<IDownloadEngine> m_engine;
  std::shared_ptr<ServerSession> m_session;
};

// Client side: a sink the client advised. Its status calls come over the
// socket, or over the shared memory channel the engine opened for it, which
// a thread of its own serves until either side closes it.
class CCallbackStub final : public GeneratedStub<CCallbackStub> {
 public:
  explicit CCallbackStub(std::shared_ptr<ICallbackItf> sink) : m_sink(std::move(sink)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Sink; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  friend class GeneratedStub<CCallbackStub>;
  ICallbackItf& Target() { return *m_sink; }
  using GeneratedStub::Serve;
  HRESULT Serve(wire::MethodTag<wire::Method::OpenStatusChannel>, Connection& connection, wire::PayloadReader& in,
                wire::FrameBuilder&);

  std::shared_ptr<ICallbackItf> m_sink;
  std::mutex m_mutex;
  std::unique_ptr<StatusChannelServer> m_channelServer;
};

}  // namespace ps
