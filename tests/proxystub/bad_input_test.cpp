// What a misbehaving client can do to the real server: nothing beyond an
// error for itself or the end of its own connection.
#include <cstring>

#include "contract/identities.h"
#include "proxystub/endpoint.h"
#include "tests/proxystub/raw_peer.h"
#include "tests/proxystub/server_fixture.h"

namespace {

using wire::Method;
constexpr auto M = [](Method method) { return static_cast<std::uint32_t>(method); };

TEST_F(ServerTest, BadFramesCostOnlyTheirOwnConnection) {
  Register();
  SetThreadCount(0);
  auto client = StartClient();
  client->WriteLine("queue r http://127.0.0.1:1/r");
  ASSERT_TRUE(client->ReadUntil("queued"));

  {  // Garbage.
    RawPeer peer(ps::endpoint::Connect());
    ASSERT_TRUE(peer.valid());
    const char garbage[] = "GET / HTTP/1.1\r\nHost: pullwright\r\n\r\n";
    peer.Send(garbage, sizeof garbage);
    EXPECT_TRUE(peer.ClosedByPeer());
  }
  {  // A length past every limit is refused before anything waits for it.
    RawPeer peer(ps::endpoint::Connect());
    const std::uint32_t header[5] = {0x7FFFFFF0u, 1, 1, 0, M(Method::CreateInstance)};
    peer.Send(header, sizeof header);
    EXPECT_TRUE(peer.ClosedByPeer());
  }
  {  // An unknown method.
    RawPeer peer(ps::endpoint::Connect());
    peer.Send(CallFrame(1, 0, 0x2FF, [](wire::FrameBuilder&) {}));
    EXPECT_TRUE(peer.ClosedByPeer());
  }
  {  // Unknown objects and methods of another interface get an error answer.
    RawPeer peer(ps::endpoint::Connect());
    peer.Send(CallFrame(1, 77, M(Method::StopAllDownloads), [](wire::FrameBuilder&) {}));
    bool closed = false;
    auto reply = peer.Reply(closed);
    ASSERT_TRUE(reply);
    EXPECT_EQ(RawPeer::ResultOf(*reply), RPC_E_DISCONNECTED);
    peer.Send(CallFrame(2, 0, M(Method::StopAllDownloads), [](wire::FrameBuilder&) {}));
    reply = peer.Reply(closed);
    ASSERT_TRUE(reply);
    EXPECT_EQ(RawPeer::ResultOf(*reply), E_NOINTERFACE);
    // A release of an object it never had.
    std::vector<std::uint8_t> release;
    wire::FrameBuilder builder(release);
    builder.Begin(wire::FrameKind::Release, 0, 99, 0);
    peer.Send(builder.Finish());
    EXPECT_TRUE(peer.ClosedByPeer());
  }
  {  // A text of 260 bytes, and a record count past the cap.
    RawPeer peer(ps::endpoint::Connect());
    const std::uint32_t engine = RawCreateEngine(peer);
    ASSERT_NE(engine, 0u);
    std::vector<std::uint8_t> frame;
    wire::FrameBuilder builder(frame);
    builder.Begin(wire::FrameKind::Call, 3, engine, M(Method::DownloadFile));
    builder.Number(260);
    frame.insert(frame.end(), 260, 'a');
    builder.Text(std::string_view("http://127.0.0.1:1/long"));
    peer.Send(builder.Finish());
    EXPECT_TRUE(peer.ClosedByPeer());
  }
  {  // Frames packed into one message longer than any frame: nothing of
     // it is answered, as what did not fit would have been lost unseen.
    RawPeer peer(ps::endpoint::Connect());
    const int sendBuffer = 4 * static_cast<int>(wire::kMaxFrameBytes);
    ::setsockopt(peer.fd(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    std::vector<std::uint8_t> message;
    for (std::uint32_t id = 1; message.size() <= wire::kMaxFrameBytes; ++id) {
      const auto frame = CallFrame(id, 77, M(Method::StopAllDownloads), [](wire::FrameBuilder&) {});
      message.insert(message.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(peer.Send(message));
    bool closed = false;
    EXPECT_FALSE(peer.Reply(closed));
    EXPECT_TRUE(closed);
  }
  {
    RawPeer peer(ps::endpoint::Connect());
    const std::uint32_t engine = RawCreateEngine(peer);
    std::uint32_t enumerator = 0;
    peer.Send(CallFrame(4, engine, M(Method::EnumFiles), [](wire::FrameBuilder&) {}));
    bool closed = false;
    const auto reply = peer.Reply(closed);
    ASSERT_TRUE(reply && reply->size() == 8);
    std::memcpy(&enumerator, reply->data() + 4, 4);
    peer.Send(CallFrame(5, enumerator, M(Method::RemoteNext), [](wire::FrameBuilder& b) { b.Number(0xFFFFFFFFu); }));
    const auto refused = peer.Reply(closed);
    ASSERT_TRUE(refused);
    EXPECT_EQ(RawPeer::ResultOf(*refused), E_INVALIDARG);
  }

  // The well-behaved client and the queue are as they were.
  client->WriteLine("list");
  EXPECT_EQ(client->ReadUntil("listed").value_or(""), "listed 1 http://127.0.0.1:1/r");
  EXPECT_EQ(RunningServers().size(), 1u);
}

}  // namespace
