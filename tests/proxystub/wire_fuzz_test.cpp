// Random and mutated input for the decoder, the payload checks and a live
// server connection, a fixed number of times with fixed seeds.
#include <gtest/gtest.h>

#include <random>

#include "tests/proxystub/loopback.h"
#include "tests/proxystub/raw_peer.h"

namespace {

using wire::Field;
using wire::Method;

std::vector<std::uint8_t> Mutate(std::vector<std::uint8_t> bytes, std::mt19937& random) {
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < edits && !bytes.empty(); ++i) {
    const std::size_t at = random() % bytes.size();
    switch (random() % 4) {
      case 0: bytes[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
      case 1: bytes[at] = static_cast<std::uint8_t>(random()); break;
      case 2: bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at)); break;
      default: bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random())); break;
    }
  }
  return bytes;
}

// Reads a payload the way the stubs do, field by field; it must get
// through every payload the checker accepted.
bool ReadAll(const wire::MethodForm& form, std::span<const std::uint8_t> payload) {
  wire::PayloadReader reader(payload);
  for (Field field : form.in) {
    std::uint32_t number;
    char text[kMaxTextBytes];
    _LinkStructType record;
    Guid guid;
    std::vector<_LinkStructType> records(wire::kMaxNextCount);
    bool ok = true;
    switch (field) {
      case Field::None: return reader.AtEnd();
      case Field::Number:
      case Field::Object: ok = reader.Number(number); break;
      case Field::Text: ok = reader.Text(text); break;
      case Field::Record: ok = reader.Record(record); break;
      case Field::Guid: ok = reader.GuidField(guid); break;
      case Field::Records: ok = reader.Records(records.data(), wire::kMaxNextCount, number); break;
    }
    if (!ok) return false;
  }
  return reader.AtEnd();
}

std::vector<std::vector<std::uint8_t>> Corpus() {
  const auto M = [](Method method) { return static_cast<std::uint32_t>(method); };
  std::vector<std::vector<std::uint8_t>> corpus;
  corpus.push_back(CallFrame(1, 0, M(Method::CreateInstance), [](wire::FrameBuilder& b) { b.GuidField(IID_IDownloadEngine); }));
  corpus.push_back(CallFrame(2, 1, M(Method::CancelDownloadFile), [](wire::FrameBuilder& b) { b.Text("http://h/a"); }));
  corpus.push_back(CallFrame(3, 1, M(Method::GetDLDir), [](wire::FrameBuilder& b) { b.Number(260); }));
  corpus.push_back(CallFrame(4, 1, M(Method::EnumFiles), [](wire::FrameBuilder&) {}));
  corpus.push_back(CallFrame(5, 2, M(Method::RemoteNext), [](wire::FrameBuilder& b) { b.Number(5); }));
  corpus.push_back(CallFrame(6, 1, M(Method::FindConnectionPoint), [](wire::FrameBuilder& b) { b.GuidField(IID_ICallbackItf); }));
  corpus.push_back(CallFrame(7, 3, M(Method::Unadvise), [](wire::FrameBuilder& b) { b.Number(1); }));
  corpus.push_back(CallFrame(8, 1, M(Method::IsDownloading), [](wire::FrameBuilder&) {}));
  return corpus;
}

TEST(WireFuzz, TheDecoderAndTheChecksHoldOnRandomInput) {
  std::mt19937 random(20240611);
  const auto corpus = Corpus();
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> bytes;
    if (round % 3 == 0) {
      bytes.resize(random() % 80);
      for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    } else {
      bytes = Mutate(corpus[random() % corpus.size()], random);
    }
    wire::FrameHeader header;
    const std::span<const std::uint8_t> input(bytes);
    if (wire::DecodeFrame(input.first(random() % (bytes.size() + 1)), header) == wire::DecodeResult::Valid)
      ASSERT_LE(wire::FrameSize(header), bytes.size());
    if (wire::DecodeFrame(input, header) != wire::DecodeResult::Valid) continue;
    ASSERT_GE(header.length + 4, wire::kHeaderBytes);
    const auto payload = input.subspan(wire::kHeaderBytes, wire::FrameSize(header) - wire::kHeaderBytes);
    for (auto side : {wire::Side::Client, wire::Side::Server}) {
      const auto* form = wire::FindIncomingMethod(side, header.method);
      if (form && wire::CheckCallPayload(*form, payload)) ASSERT_TRUE(ReadAll(*form, payload)) << form->name;
    }
  }
}

// The server side of a connection, fed mutated calls: it answers or hangs
// up, the engine's queue never changes (no input queues anything), and a
// proper client is served afterwards.
TEST(WireFuzz, AServerConnectionSurvivesMutatedCalls) {
  Loopback loop;
  auto engine = loop.Engine(loop.Connect());
  ASSERT_EQ(engine->DownloadFile("kept", "http://h/kept"), S_OK);
  std::mt19937 random(77);
  const auto corpus = Corpus();
  for (int round = 0; round < 300; ++round) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    RawPeer peer(fds[1]);
    auto server = ps::ServeClient(fds[0], *loop.factory(), {});
    // A valid engine first, so that mutated calls reach real objects.
    peer.Send(corpus[0]);
    for (int call = 0; call < 4; ++call) peer.Send(Mutate(corpus[random() % corpus.size()], random));
    ::shutdown(fds[1], SHUT_WR);
    peer.ClosedByPeer(std::chrono::seconds(5));
    server->Close();
    server->JoinThreads();
  }
  std::vector<std::string> listed = ListedHrefs(*engine);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0], "http://h/kept");
  std::int32_t downloading = 0;
  EXPECT_EQ(engine->IsDownloading(&downloading), S_OK);
}

}  // namespace
