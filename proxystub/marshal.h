#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "contract/interfaces.h"
#include "proxystub/connection.h"
#include "proxystub/object_table.h"
#include "proxystub/proxies.h"
#include "proxystub/wire_codec.h"

// The proxy and the stub of every ordinary method, made from the method
// lists: the proxy checks and writes the in-parameters, calls, and reads the
// out-parameters from the reply; the stub reads the in-parameters, calls the
// real object and writes the out-parameters. What each parameter type does
// on either side is said once, in its Param entry. A method that needs more
// (a type without an entry, a caller's buffer, an object it exports) has a
// hook of its own: a ProxyCall specialization beside its proxy, a Serve
// overload in its stub.
namespace ps {

// A text argument on the stub side: null stays null (the engine answers
// E_POINTER).
struct TextArg {
  char text[kMaxTextBytes];
  bool isNull = false;
  const char* get() const { return isNull ? nullptr : text; }
};

template <class T>
struct Param;
template <class T>
using ParamOf = Param<std::remove_cvref_t<T>>;

// What an in-parameter does not do: take anything back or write a reply.
struct InParam {
  template <class T>
  static HRESULT Check(const T&) { return S_OK; }
  template <class T>
  static HRESULT Take(wire::PayloadReader&, const std::shared_ptr<Connection>&, const T&) { return S_OK; }
  template <class H, class Exports>
  static HRESULT Write(wire::FrameBuilder&, H&, Exports&) { return S_OK; }
};

// What an out-parameter does not do: travel with the call.
struct OutParam {
  template <class T>
  static HRESULT Put(wire::FrameBuilder&, const T&) { return S_OK; }
  template <class H>
  static bool Read(wire::PayloadReader&, H&) { return true; }
};

template <>
struct Param<std::uint32_t> : InParam {
  using Holder = std::uint32_t;
  static HRESULT Put(wire::FrameBuilder& args, std::uint32_t value) {
    args.Number(value);
    return S_OK;
  }
  static bool Read(wire::PayloadReader& in, Holder& held) { return in.Number(held); }
  static std::uint32_t Arg(const Holder& held) { return held; }
};

// A text the wire cannot carry is refused before anything is sent, as the
// engine would refuse it.
template <>
struct Param<const char*> : InParam {
  using Holder = TextArg;
  static HRESULT Check(const char* text) { return text ? S_OK : E_POINTER; }
  static HRESULT Put(wire::FrameBuilder& args, const char* text) { return args.Text(text) ? S_OK : E_INVALIDARG; }
  static bool Read(wire::PayloadReader& in, Holder& held) { return in.Text(held.text, &held.isNull); }
  static const char* Arg(const Holder& held) { return held.get(); }
};

template <>
struct Param<Guid> : InParam {
  using Holder = Guid;
  static HRESULT Put(wire::FrameBuilder& args, const Guid& guid) {
    args.GuidField(guid);
    return S_OK;
  }
  static bool Read(wire::PayloadReader& in, Holder& held) { return in.GuidField(held); }
  static const Guid& Arg(const Holder& held) { return held; }
};

template <>
struct Param<_LinkStructType> : InParam {
  using Holder = _LinkStructType;
  static HRESULT Put(wire::FrameBuilder& args, const _LinkStructType& record) {
    args.Record(record);
    return S_OK;
  }
  static bool Read(wire::PayloadReader& in, Holder& held) { return in.Record(held); }
  static const _LinkStructType& Arg(const Holder& held) { return held; }
};

// A number handed back through the caller's pointer.
template <class T>
struct NumberOut : OutParam {
  using Holder = T;
  static HRESULT Check(const T* out) { return out ? S_OK : E_POINTER; }
  static HRESULT Take(wire::PayloadReader& outs, const std::shared_ptr<Connection>&, T* out) {
    std::uint32_t value = 0;
    if (!outs.Number(value)) return E_UNEXPECTED;
    *out = static_cast<T>(value);
    return S_OK;
  }
  static T* Arg(Holder& held) { return &held; }
  template <class Exports>
  static HRESULT Write(wire::FrameBuilder& out, const Holder& held, Exports&) {
    out.Number(static_cast<std::uint32_t>(held));
    return S_OK;
  }
};
template <>
struct Param<std::int32_t*> : NumberOut<std::int32_t> {};
template <>
struct Param<std::uint32_t*> : NumberOut<std::uint32_t> {};

// An object handed back: the stub exports it, and the caller gets a proxy
// for it. A success without an object is no success.
template <class I>
struct Param<std::shared_ptr<I>*> : OutParam {
  using Holder = std::shared_ptr<I>;
  static HRESULT Check(const std::shared_ptr<I>* out) { return out ? S_OK : E_POINTER; }
  static HRESULT Take(wire::PayloadReader& outs, const std::shared_ptr<Connection>& connection,
                      std::shared_ptr<I>* out) {
    std::uint32_t id = 0;
    if (!outs.Object(id)) return E_UNEXPECTED;
    *out = MakeProxy<typename ProxyOf<I>::type>(connection, id);
    return *out ? S_OK : RPC_E_DISCONNECTED;
  }
  static Holder* Arg(Holder& held) { return &held; }
  template <class Exports>
  static HRESULT Write(wire::FrameBuilder& out, Holder& held, Exports& exports) {
    if (!held) return E_UNEXPECTED;
    out.Object(exports(std::move(held)));
    return S_OK;
  }
};

// The proxy's three steps. Each stops at the first failure.
template <class... A>
HRESULT CheckArgs(const A&... args) {
  HRESULT hr = S_OK;
  ((hr = FAILED(hr) ? hr : Param<A>::Check(args)), ...);
  return hr;
}

template <class... A>
HRESULT PutArgs(wire::FrameBuilder& builder, const A&... args) {
  HRESULT hr = S_OK;
  ((hr = FAILED(hr) ? hr : Param<A>::Put(builder, args)), ...);
  return hr;
}

template <class... A>
HRESULT TakeOuts(wire::PayloadReader& outs, const std::shared_ptr<Connection>& connection, const A&... args) {
  HRESULT hr = S_OK;
  ((hr = FAILED(hr) ? hr : Param<A>::Take(outs, connection, args)), ...);
  return hr;
}

// The stub's part: reads every in-parameter (a payload that holds fewer is
// E_INVALIDARG), calls `function` on `target`, and on success writes the
// out-parameters; `exports` turns an object handed out into its id.
template <class I, class... P, class Exports, std::size_t... K>
HRESULT ServeHeld(HRESULT (I::*function)(P...), I& target, Exports& exports, wire::PayloadReader& in,
                  wire::FrameBuilder& out, std::index_sequence<K...>) {
  std::tuple<typename ParamOf<P>::Holder...> held{};
  if (!(ParamOf<P>::Read(in, std::get<K>(held)) && ...)) return E_INVALIDARG;
  const HRESULT hr = (target.*function)(ParamOf<P>::Arg(std::get<K>(held))...);
  if (FAILED(hr)) return hr;
  HRESULT written = S_OK;
  ((written = FAILED(written) ? written : ParamOf<P>::Write(out, std::get<K>(held), exports)), ...);
  return FAILED(written) ? written : hr;
}

template <class I, class... P, class Exports>
HRESULT ServeFunction(HRESULT (I::*function)(P...), I& target, Exports&& exports, wire::PayloadReader& in,
                      wire::FrameBuilder& out) {
  return ServeHeld(function, target, exports, in, out, std::index_sequence_for<P...>{});
}

// How a proxy makes the call of method M. A method with rules of its own
// specializes this beside its proxy.
template <wire::Method M>
struct ProxyCall {
  RemoteReference& self;

  template <class... A>
  HRESULT operator()(const A&... args) const {
    if (const HRESULT checked = CheckArgs(args...); FAILED(checked)) return checked;
    OutgoingCall call(self.connection(), self.objectId(), M);
    if (const HRESULT put = PutArgs(call.args(), args...); FAILED(put)) return put;
    const HRESULT hr = call.Invoke();
    if (FAILED(hr)) return hr;
    wire::PayloadReader outs = call.outs();
    const HRESULT taken = TakeOuts(outs, self.sharedConnection(), args...);
    return FAILED(taken) ? taken : hr;
  }
};

// The proxies with rules of their own, each defined beside its proxy: the
// caller's buffer of GetDLDir, Next split into RemoteNext calls, the sink
// that Advise exports, and the status call that a sink proxy pipelines.
template <>
struct ProxyCall<wire::Method::GetDLDir>;
template <>
struct ProxyCall<wire::Method::RemoteNext>;
template <>
struct ProxyCall<wire::Method::Advise>;
template <>
struct ProxyCall<wire::Method::DownloadStatus>;

// Defines a proxy's method from its list entry (Context: the proxy class).
#define PS_DEFINE_PROXY_METHOD(Class, Name, Slot, Params, Args) \
  HRESULT Class::Name Params { return ProxyCall<wire::Method::Name>{*this} Args; }

// What every stub shares. Self gives Target(), the real object, and
// StubFor(object), the stub that exports an object handed out. A method
// with rules of its own is a Serve overload for its MethodTag in Self.
template <class Self>
class GeneratedStub : public Stub {
 protected:
  template <wire::Method M>
  HRESULT Serve(wire::MethodTag<M>, Connection& connection, wire::PayloadReader& in, wire::FrameBuilder& out) {
    Self& self = static_cast<Self&>(*this);
    auto exports = [&](auto object) { return connection.Export(StubOf(self, std::move(object))); };
    return ServeFunction(wire::MethodOf<M>::kFunction, self.Target(), exports, in, out);
  }

 private:
  // Looked up only for a method that hands out an object.
  template <class Object>
  static std::shared_ptr<Stub> StubOf(Self& self, Object object) {
    return self.StubFor(std::move(object));
  }
};

// One case of a stub's Invoke from a list entry.
#define PS_SERVE_CASE(Context, Name, Slot, Params, Args) \
  case wire::Method::Name:                               \
    return Serve(wire::MethodTag<wire::Method::Name>{}, connection, in, out);

}  // namespace ps
