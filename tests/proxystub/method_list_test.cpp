// The methods as declared once: the wire numbers and forms that clients in
// use depend on, and a method added to a list reaching both proxy and stub.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "proxystub/marshal.h"

namespace {

using F = wire::Field;

struct FrozenForm {
  std::uint32_t number;
  const char* name;
  std::array<F, 3> in;
  std::array<F, 2> out;
};

// The wire format as released. A list entry that moves one of these numbers
// or changes its form breaks every client already installed.
const FrozenForm kReleasedClientToServer[] = {
    {0x103, "CreateInstance", {F::Guid}, {F::Object}},
    {0x104, "LockServer", {F::Number}, {}},
    {0x203, "DownloadFile", {F::Text, F::Text}, {}},
    {0x204, "CancelDownloadFile", {F::Text}, {}},
    {0x205, "StopAllDownloads", {}, {}},
    {0x206, "IsDownloading", {}, {F::Number}},
    {0x207, "SetDLDir", {F::Text}, {}},
    {0x208, "GetDLDir", {F::Number}, {F::Text}},
    {0x209, "SetThreadCount", {F::Number}, {}},
    {0x20A, "SetMaxRetries", {F::Number}, {}},
    {0x20B, "EnumFiles", {}, {F::Object}},
    {0x20C, "EnumPending", {}, {F::Object}},
    {0x20D, "EnumDownloading", {}, {F::Object}},
    {0x304, "FindConnectionPoint", {F::Guid}, {F::Object}},
    {0x403, "RemoteNext", {F::Number}, {F::Records}},
    {0x404, "Skip", {F::Number}, {}},
    {0x405, "Reset", {}, {}},
    {0x406, "Clone", {}, {F::Object}},
    {0x505, "Advise", {F::Object}, {F::Number}},
    {0x506, "Unadvise", {F::Number}, {}},
};
const FrozenForm kReleasedServerToClient[] = {
    {0x607, "DownloadStatus", {F::Number, F::Text, F::Record}, {}},
    {0x701, "OpenStatusChannel", {F::Number}, {}},
};

// Methods may be added; a released one keeps its number and its form.
void ExpectReleased(wire::Side receiver, std::span<const FrozenForm> released) {
  for (const FrozenForm& method : released) {
    const wire::MethodForm* form = wire::FindIncomingMethod(receiver, method.number);
    ASSERT_TRUE(form) << method.name;
    EXPECT_EQ(std::string(form->name), method.name);
    EXPECT_EQ(form->in, method.in) << method.name;
    EXPECT_EQ(form->out, method.out) << method.name;
  }
}

TEST(MethodList, NumbersAndFormsAreThoseReleased) {
  ExpectReleased(wire::Side::Server, kReleasedClientToServer);
  ExpectReleased(wire::Side::Client, kReleasedServerToClient);
}

// A test-only interface, declared exactly as the engine's are.
#define PROBE_METHODS(X, Context)                                                                                      \
  X(Context, Tally, 3, (std::uint32_t dwCount, const char* pszName, const _LinkStructType& ls, std::int32_t* pnTotal), \
    (dwCount, pszName, ls, pnTotal))                                                                                   \
  X(Context, Identify, 4, (const Guid& riid, std::uint32_t* pdwSeen), (riid, pdwSeen))

class IProbe {
 public:
  virtual ~IProbe() = default;
  PROBE_METHODS(PW_DECLARE_METHOD, _)
};

constexpr auto kProbeTag = static_cast<wire::InterfaceTag>(0x7F);
#define PROBE_FORM(Context, Name, Slot, Params, Args) \
  wire::FormOfFunction(static_cast<wire::Method>(wire::MethodId(kProbeTag, Slot)), #Name, &IProbe::Name),
constexpr wire::MethodForm kProbeForms[] = {PROBE_METHODS(PROBE_FORM, _)};

static_assert(kProbeForms[0].in == std::array{F::Number, F::Text, F::Record});
static_assert(kProbeForms[0].out == std::array{F::Number, F::None});
static_assert(kProbeForms[1].in == std::array{F::Guid, F::None, F::None});
static_assert(static_cast<std::uint32_t>(kProbeForms[1].method) == 0x7F04);

class CProbe final : public IProbe {
 public:
  HRESULT Tally(std::uint32_t dwCount, const char* pszName, const _LinkStructType& ls, std::int32_t* pnTotal) override {
    ++calls;
    *pnTotal = -static_cast<std::int32_t>(dwCount + std::strlen(pszName) + ls.dwFileSize);
    return S_FALSE;
  }
  HRESULT Identify(const Guid& riid, std::uint32_t* pdwSeen) override {
    ++calls;
    if (riid != IID_IEnumFiles) return E_NOINTERFACE;
    *pdwSeen = riid.data1;
    return S_OK;
  }
  int calls = 0;
};

// One call the way a proxy makes it and a stub serves it, with every
// payload checked against the form derived from the declaration.
template <class... A>
HRESULT RoundTrip(CProbe& probe, HRESULT (IProbe::*function)(A...), const wire::MethodForm& form,
                  std::type_identity_t<A>... args) {
  if (const HRESULT hr = ps::CheckArgs(args...); FAILED(hr)) return hr;
  std::vector<std::uint8_t> callBytes;
  wire::FrameBuilder call(callBytes);
  call.Begin(wire::FrameKind::Call, 1, 1, static_cast<std::uint32_t>(form.method));
  if (const HRESULT hr = ps::PutArgs(call, args...); FAILED(hr)) return hr;
  call.Finish();
  const auto callPayload = std::span<const std::uint8_t>(callBytes).subspan(wire::kHeaderBytes);
  EXPECT_TRUE(wire::CheckCallPayload(form, callPayload)) << form.name;

  std::vector<std::uint8_t> replyBytes;
  wire::FrameBuilder reply(replyBytes);
  reply.Begin(wire::FrameKind::Reply, 1, 1, static_cast<std::uint32_t>(form.method));
  reply.Number(0);
  wire::PayloadReader in(callPayload);
  auto noExports = [](auto) -> std::uint32_t { return 0; };
  const HRESULT hr = ps::ServeFunction(function, static_cast<IProbe&>(probe), noExports, in, reply);
  if (FAILED(hr)) return hr;
  reply.Finish();
  const auto replyPayload = std::span<const std::uint8_t>(replyBytes).subspan(wire::kHeaderBytes);
  EXPECT_TRUE(wire::CheckReplyPayload(form, replyPayload)) << form.name;
  wire::PayloadReader outs(replyPayload.subspan(4));
  const HRESULT taken = ps::TakeOuts(outs, nullptr, args...);
  return FAILED(taken) ? taken : hr;
}

TEST(MethodList, AMethodDeclaredOnceReachesProxyAndStub) {
  CProbe probe;
  _LinkStructType record{};
  record.dwFileSize = 10;
  std::int32_t total = 0;
  const auto& tally = kProbeForms[0];
  EXPECT_EQ(RoundTrip(probe, &IProbe::Tally, tally, 2, "abc", record, &total), S_FALSE);
  EXPECT_EQ(total, -15);

  // Refused on the proxy side, before anything reaches the object.
  EXPECT_EQ(RoundTrip(probe, &IProbe::Tally, tally, 2, nullptr, record, &total), E_POINTER);
  EXPECT_EQ(RoundTrip(probe, &IProbe::Tally, tally, 2, "abc", record, nullptr), E_POINTER);
  const std::string overlong(wire::kMaxTextLength + 1, 'a');
  EXPECT_EQ(RoundTrip(probe, &IProbe::Tally, tally, 2, overlong.c_str(), record, &total), E_INVALIDARG);
  EXPECT_EQ(probe.calls, 1);

  std::uint32_t seen = 0;
  EXPECT_EQ(RoundTrip(probe, &IProbe::Identify, kProbeForms[1], IID_IEnumFiles, &seen), S_OK);
  EXPECT_EQ(seen, IID_IEnumFiles.data1);
  seen = 7;
  EXPECT_EQ(RoundTrip(probe, &IProbe::Identify, kProbeForms[1], IID_ICallbackItf, &seen), E_NOINTERFACE);
  EXPECT_EQ(seen, 7u);
}

}  // namespace
