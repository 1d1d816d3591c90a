#pragma once

#include <array>
#include <cstdint>

#include "contract/interfaces.h"

// Everything that crosses between the engine server and its clients, in one
// place: the frame layout, the objects each side may export, every method
// (interface tag and slot) and the form of its parameters, one table per
// direction. Proxies and stubs are written against these tables, and the
// connection checks every payload against them before anyone reads it.
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
};

constexpr std::uint32_t MethodId(InterfaceTag tag, std::uint32_t slot) {
  return (static_cast<std::uint32_t>(tag) << 8) | slot;
}
constexpr InterfaceTag TagOf(std::uint32_t method) { return static_cast<InterfaceTag>(method >> 8); }
template <class Slot>
constexpr std::uint32_t SlotOf(Slot slot) {
  return static_cast<std::uint32_t>(slot);
}

// Slots are the interfaces' own numbering, taken from the contract where it
// has one (the class factory and the connection point have none there).
enum class Method : std::uint32_t {
  CreateInstance = MethodId(InterfaceTag::ClassFactory, 3),
  LockServer = MethodId(InterfaceTag::ClassFactory, 4),
  DownloadFile = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::DownloadFile)),
  CancelDownloadFile = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::CancelDownloadFile)),
  StopAllDownloads = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::StopAllDownloads)),
  IsDownloading = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::IsDownloading)),
  SetDLDir = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::SetDLDir)),
  GetDLDir = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::GetDLDir)),
  SetThreadCount = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::SetThreadCount)),
  SetMaxRetries = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::SetMaxRetries)),
  EnumFiles = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::EnumFiles)),
  EnumPending = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::EnumPending)),
  EnumDownloading = MethodId(InterfaceTag::DownloadEngine, SlotOf(EngineSlot::EnumDownloading)),
  FindConnectionPoint = MethodId(InterfaceTag::ConnectionPointContainer, 4),
  RemoteNext = MethodId(InterfaceTag::EnumFiles, SlotOf(EnumFilesSlot::Next)),
  Skip = MethodId(InterfaceTag::EnumFiles, SlotOf(EnumFilesSlot::Skip)),
  Reset = MethodId(InterfaceTag::EnumFiles, SlotOf(EnumFilesSlot::Reset)),
  Clone = MethodId(InterfaceTag::EnumFiles, SlotOf(EnumFilesSlot::Clone)),
  Advise = MethodId(InterfaceTag::ConnectionPoint, 5),
  Unadvise = MethodId(InterfaceTag::ConnectionPoint, 6),
  DownloadStatus = MethodId(InterfaceTag::Callback, SlotOf(CallbackSlot::DownloadStatus)),
};

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
    case ObjectKind::Sink: return tag == InterfaceTag::Callback;
  }
  return false;
}

struct MethodForm {
  Method method;
  const char* name;
  std::array<Field, 3> in;   // in-parameters, in order, None-padded
  std::array<Field, 2> out;  // out-parameters after the HRESULT, None-padded
};

using F = Field;

// Calls a client makes on objects the server exported.
inline constexpr MethodForm kClientToServer[] = {
    {Method::CreateInstance, "CreateInstance", {F::Guid}, {F::Object}},
    {Method::LockServer, "LockServer", {F::Number}, {}},
    {Method::DownloadFile, "DownloadFile", {F::Text, F::Text}, {}},
    {Method::CancelDownloadFile, "CancelDownloadFile", {F::Text}, {}},
    {Method::StopAllDownloads, "StopAllDownloads", {}, {}},
    {Method::IsDownloading, "IsDownloading", {}, {F::Number}},
    {Method::SetDLDir, "SetDLDir", {F::Text}, {}},
    {Method::GetDLDir, "GetDLDir", {F::Number}, {F::Text}},  // dwLen in; the folder out
    {Method::SetThreadCount, "SetThreadCount", {F::Number}, {}},
    {Method::SetMaxRetries, "SetMaxRetries", {F::Number}, {}},
    {Method::EnumFiles, "EnumFiles", {}, {F::Object}},
    {Method::EnumPending, "EnumPending", {}, {F::Object}},
    {Method::EnumDownloading, "EnumDownloading", {}, {F::Object}},
    {Method::FindConnectionPoint, "FindConnectionPoint", {F::Guid}, {F::Object}},
    {Method::RemoteNext, "RemoteNext", {F::Number}, {F::Records}},  // celt in; the fetched records out
    {Method::Skip, "Skip", {F::Number}, {}},
    {Method::Reset, "Reset", {}, {}},
    {Method::Clone, "Clone", {}, {F::Object}},
    {Method::Advise, "Advise", {F::Object}, {F::Number}},  // the client's sink in; the cookie out
    {Method::Unadvise, "Unadvise", {F::Number}, {}},
};

// Calls the server makes on objects a client exported.
inline constexpr MethodForm kServerToClient[] = {
    {Method::DownloadStatus, "DownloadStatus", {F::Number, F::Text, F::Record}, {}},
};

// Which table governs the calls a side receives.
enum class Side : std::uint8_t { Client, Server };

// The form of a method that `receiver` may be called with; null when the
// method is not in its table.
const MethodForm* FindIncomingMethod(Side receiver, std::uint32_t method);
// The form of a method that `caller` may call (the other side's table).
const MethodForm* FindOutgoingMethod(Side caller, std::uint32_t method);

}  // namespace wire
