#pragma once

#include <memory>

#include "contract/interfaces.h"
#include "proxystub/object_table.h"
#include "proxystub/server_session.h"

namespace ps {

// Server side: object 0 of a connection.
class CClassFactoryStub final : public Stub {
 public:
  explicit CClassFactoryStub(std::shared_ptr<ServerSession> session) : m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::ClassFactory; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  std::shared_ptr<ServerSession> m_session;
};

// Server side: the engine, holding one of the references that count as a
// client holding it.
class CDownloadEngineStub final : public Stub {
 public:
  CDownloadEngineStub(std::shared_ptr<IDownloadEngine> engine, std::shared_ptr<ServerSession> session)
      : m_engine(std::move(engine)), m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Engine; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  std::shared_ptr<IDownloadEngine> m_engine;
  std::shared_ptr<ServerSession> m_session;
};

class CEnumFilesStub final : public Stub {
 public:
  explicit CEnumFilesStub(std::shared_ptr<IEnumFiles> enumerator) : m_enum(std::move(enumerator)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Enumerator; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  std::shared_ptr<IEnumFiles> m_enum;
};

// The connection point keeps the engine held, as it keeps its container.
class CConnectionPointStub final : public Stub {
 public:
  CConnectionPointStub(std::shared_ptr<IConnectionPoint> cp, std::shared_ptr<IDownloadEngine> engine,
                       std::shared_ptr<ServerSession> session)
      : m_cp(std::move(cp)), m_engine(std::move(engine)), m_session(std::move(session)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::ConnectionPoint; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  std::shared_ptr<IConnectionPoint> m_cp;
  std::shared_ptr<IDownloadEngine> m_engine;
  std::shared_ptr<ServerSession> m_session;
};

// Client side: a sink the client advised.
class CCallbackStub final : public Stub {
 public:
  explicit CCallbackStub(std::shared_ptr<ICallbackItf> sink) : m_sink(std::move(sink)) {}
  wire::ObjectKind Kind() const override { return wire::ObjectKind::Sink; }
  HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                 wire::FrameBuilder& out) override;

 private:
  std::shared_ptr<ICallbackItf> m_sink;
};

}  // namespace ps
