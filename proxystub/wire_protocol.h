#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "contract/interfaces.h"

// Everything that crosses between the engine server and its clients, in one
// place: the frame layout, the objects each side may export, every method
// (interface tag and slot) and the form of its parameters, one table per
// direction. The methods come from the lists in interface_methods.h: each
// method's number is its interface's tag and its slot, and its form follows
// from the parameter types of its virtual. Proxies and stubs are made from
// the same lists (marshal.h), and the connection checks every payload
// against these tables before anyone reads it.
namespace wire {

// A frame: u32 length (of everything after the length field), u32 kind,
// u32 call id, u32 object id, u32 method, then the payload. All numbers are
// little-endian, the byte order of every machine this runs on.
inline constexpr std::uint32_t kHeaderBytes = 20;
// Larger than the largest legitimate frame (a full RemoteNext reply).
inline constexpr std::uint32_t kMaxFrameBytes = 256 * 1024;
// Records per RemoteNext; a proxy asked for more splits the request.
inline constexpr std::uint32_t kMaxNextCount = 256;
// Longest text on the wire: 259 bytes, so that it fits a record field or a
// 260-byte buffer with its terminator. Longer texts are refused.
inline constexpr std::uint32_t kMaxTextLength = 259;
// Marks a null text (a DownloadStatus without text).
inline constexpr std::uint32_t kNullText = 0xFFFFFFFFu;
// The server's class factory; it exists as long as the connection does.
inline constexpr std::uint32_t kFactoryObjectId = 0;

enum class FrameKind : std::uint32_t {
  Call = 1,     // payload: the method's in-parameters
  Reply = 2,    // payload: u32 HRESULT, then the method's out-parameters
  Release = 3,  // drops one reference to the receiver's object; no reply
};

// Interfaces, as the high byte of a method number.
enum class InterfaceTag : std::uint32_t {
  ClassFactory = 1,
  DownloadEngine = 2,
  ConnectionPointContainer = 3,
  EnumFiles = 4,
  ConnectionPoint = 5,
  Callback = 6,
  StatusChannel = 7,
};

constexpr std::uint32_t MethodId(InterfaceTag tag, std::uint32_t slot) {
  return (static_cast<std::uint32_t>(tag) << 8) | slot;
}
constexpr InterfaceTag TagOf(std::uint32_t method) { return static_cast<InterfaceTag>(method >> 8); }

// The server's class factory, object 0 of every connection. It makes only
// the engine; fLock counts as a client holding the server while non-zero.
#define PS_CLASS_FACTORY_METHODS(X, Context)                                                                      \
  X(Context, CreateInstance, 3, (const Guid& riid, std::shared_ptr<IDownloadEngine>* ppEngine), (riid, ppEngine)) \
  X(Context, LockServer, 4, (std::uint32_t fLock), (fLock))

class IClassFactory {
 public:
  virtual ~IClassFactory() = default;
  PS_CLASS_FACTORY_METHODS(PW_DECLARE_METHOD, IClassFactory)
};

// What the server asks of a client's sink beyond the sink's own interface:
// to take a shared memory status channel (its descriptor travels with the
// call) over which the sink's status calls come from then on. A client that
// refuses keeps them on the socket.
#define PS_STATUS_CHANNEL_METHODS(X, Context) X(Context, OpenStatusChannel, 1, (std::uint32_t slotCount), (slotCount))

class IStatusChannelSetup {
 public:
  virtual ~IStatusChannelSetup() = default;
  PS_STATUS_CHANNEL_METHODS(PW_DECLARE_METHOD, IStatusChannelSetup)
};

// Every method a client calls on objects the server exported, and every
// method the server calls on objects a client exported, each list with its
// interface's tag.
#define PS_CLIENT_TO_SERVER_METHODS(X)                               \
  PS_CLASS_FACTORY_METHODS(X, ClassFactory)                          \
  PW_DOWNLOAD_ENGINE_METHODS(X, DownloadEngine)                      \
  PW_CONNECTION_POINT_CONTAINER_METHODS(X, ConnectionPointContainer) \
  PW_ENUM_FILES_METHODS(X, EnumFiles)                                \
  PW_CONNECTION_POINT_METHODS(X, ConnectionPoint)
#define PS_SERVER_TO_CLIENT_METHODS(X) \
  PW_CALLBACK_METHODS(X, Callback)     \
  PS_STATUS_CHANNEL_METHODS(X, StatusChannel)

#define PS_METHOD_NUMBER(Tag, Name, Slot, Params, Args) Name = MethodId(InterfaceTag::Tag, Slot),
enum class Method : std::uint32_t {
  PS_CLIENT_TO_SERVER_METHODS(PS_METHOD_NUMBER)
  PS_SERVER_TO_CLIENT_METHODS(PS_METHOD_NUMBER)
  // Next travels as RemoteNext, which carries its records and their count
  // as one field.
  RemoteNext = Next,
};
#undef PS_METHOD_NUMBER

// A method as a type, for choosing a method's own code by overloading.
template <Method M>
struct MethodTag {};

// The class whose virtual each tag's methods are.
template <InterfaceTag T> struct InterfaceClass;
template <> struct InterfaceClass<InterfaceTag::ClassFactory> { using type = IClassFactory; };
template <> struct InterfaceClass<InterfaceTag::DownloadEngine> { using type = IDownloadEngine; };
template <> struct InterfaceClass<InterfaceTag::ConnectionPointContainer> { using type = IDownloadEngine; };
template <> struct InterfaceClass<InterfaceTag::EnumFiles> { using type = IEnumFiles; };
template <> struct InterfaceClass<InterfaceTag::ConnectionPoint> { using type = IConnectionPoint; };
template <> struct InterfaceClass<InterfaceTag::Callback> { using type = ICallbackItf; };
template <> struct InterfaceClass<InterfaceTag::StatusChannel> { using type = IStatusChannelSetup; };

// Each method's virtual and name.
template <Method M> struct MethodOf;
#define PS_METHOD_OF(Tag, Name, Slot, Params, Args)                                   \
  template <>                                                                         \
  struct MethodOf<Method::Name> {                                                     \
    static constexpr auto kFunction = &InterfaceClass<InterfaceTag::Tag>::type::Name; \
    static constexpr const char* kName = #Name;                                       \
  };
PS_CLIENT_TO_SERVER_METHODS(PS_METHOD_OF)
PS_SERVER_TO_CLIENT_METHODS(PS_METHOD_OF)
#undef PS_METHOD_OF

// Parameter forms.
enum class Field : std::uint8_t {
  None,
  Number,  // u32
  Text,    // u32 length (or kNullText) + that many bytes, no NUL among them
  Record,  // the 536-byte link record, raw
  Records, // u32 count (at most kMaxNextCount) + count raw records
  Guid,    // 16 bytes: u32, u16, u16, 8 bytes
  Object,  // u32 id of an object exported by the sender
};

// What a peer may export: the objects and the interfaces each answers.
enum class ObjectKind : std::uint8_t { ClassFactory, Engine, Enumerator, ConnectionPoint, Sink };

constexpr bool Answers(ObjectKind kind, InterfaceTag tag) {
  switch (kind) {
    case ObjectKind::ClassFactory: return tag == InterfaceTag::ClassFactory;
    case ObjectKind::Engine:
      return tag == InterfaceTag::DownloadEngine || tag == InterfaceTag::ConnectionPointContainer;
    case ObjectKind::Enumerator: return tag == InterfaceTag::EnumFiles;
    case ObjectKind::ConnectionPoint: return tag == InterfaceTag::ConnectionPoint;
    case ObjectKind::Sink: return tag == InterfaceTag::Callback || tag == InterfaceTag::StatusChannel;
  }
  return false;
}

struct MethodForm {
  Method method;
  const char* name;
  std::array<Field, 3> in;   // in-parameters, in order, None-padded
  std::array<Field, 2> out;  // out-parameters after the HRESULT, None-padded
};

// How a parameter of a given type travels: its field, and whether it is an
// out-parameter. A type without an entry cannot cross (compile error).
struct ParamForm {
  Field field;
  bool isOut;
};
template <class T> struct ParamFormOf;
template <> struct ParamFormOf<std::uint32_t> { static constexpr ParamForm value{Field::Number, false}; };
template <> struct ParamFormOf<const char*> { static constexpr ParamForm value{Field::Text, false}; };
template <> struct ParamFormOf<Guid> { static constexpr ParamForm value{Field::Guid, false}; };
template <> struct ParamFormOf<_LinkStructType> { static constexpr ParamForm value{Field::Record, false}; };
template <class I> struct ParamFormOf<std::shared_ptr<I>> { static constexpr ParamForm value{Field::Object, false}; };
template <> struct ParamFormOf<std::int32_t*> { static constexpr ParamForm value{Field::Number, true}; };
template <> struct ParamFormOf<std::uint32_t*> { static constexpr ParamForm value{Field::Number, true}; };
template <> struct ParamFormOf<char*> { static constexpr ParamForm value{Field::Text, true}; };
template <> struct ParamFormOf<_LinkStructType*> { static constexpr ParamForm value{Field::Records, true}; };
template <class I> struct ParamFormOf<std::shared_ptr<I>*> { static constexpr ParamForm value{Field::Object, true}; };

// A method's form from the parameter types of its virtual.
template <class I, class... P>
constexpr MethodForm FormOfFunction(Method method, const char* name, HRESULT (I::*)(P...)) {
  MethodForm form{method, name, {}, {}};
  const std::array<ParamForm, sizeof...(P)> params{ParamFormOf<std::remove_cvref_t<P>>::value...};
  std::size_t in = 0, out = 0;
  for (const ParamForm& param : params) {
    std::size_t& count = param.isOut ? out : in;
    if (count == (param.isOut ? form.out.size() : form.in.size()))
      throw "a form holds at most three in- and two out-parameters";
    (param.isOut ? form.out[count] : form.in[count]) = param.field;
    ++count;
  }
  return form;
}

template <Method M>
inline constexpr MethodForm kForm = FormOfFunction(M, MethodOf<M>::kName, MethodOf<M>::kFunction);
// The records and their count are one field.
template <>
inline constexpr MethodForm kForm<Method::RemoteNext> = {Method::RemoteNext, "RemoteNext", {Field::Number},
                                                         {Field::Records}};

#define PS_FORM_ROW(Tag, Name, Slot, Params, Args) kForm<Method::Name>,
// Calls a client makes on objects the server exported.
inline constexpr MethodForm kClientToServer[] = {PS_CLIENT_TO_SERVER_METHODS(PS_FORM_ROW)};
// Calls the server makes on objects a client exported.
inline constexpr MethodForm kServerToClient[] = {PS_SERVER_TO_CLIENT_METHODS(PS_FORM_ROW)};
#undef PS_FORM_ROW

// Which table governs the calls a side receives.
enum class Side : std::uint8_t { Client, Server };

// The form of a method that `receiver` may be called with; null when the
// method is not in its table.
const MethodForm* FindIncomingMethod(Side receiver, std::uint32_t method);
// The form of a method that `caller` may call (the other side's table).
const MethodForm* FindOutgoingMethod(Side caller, std::uint32_t method);

}  // namespace wire
