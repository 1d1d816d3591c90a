#include <gtest/gtest.h>

#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"
#include "tests/http/drain.h"
#include "tests/support/test_server.h"

namespace {

using namespace std::chrono_literals;

TEST(ReadingBodies, EveryByteArrivesForEachSizeAndFraming) {
  TestServer server;
  auto session = http::Session::Open();
  const std::uint64_t sizes[] = {0, 1, 4095, 4096, 10'000'000};
  const Framing framings[] = {Framing::ContentLength, Framing::Chunked, Framing::UntilClose};
  for (Framing framing : framings) {
    for (std::uint64_t size : sizes) {
      const std::string path = "/body-" + std::to_string(static_cast<int>(framing)) + "-" + std::to_string(size);
      server.Handle(path, {.size = size, .framing = framing});
      auto request = session->OpenUrl(server.Url(path));
      ASSERT_TRUE(request) << path << " error " << request.error();
      const Drained drained = Drain(**request, 4095);
      EXPECT_EQ(drained.error, 0u) << path;
      EXPECT_EQ(drained.total, size) << path;
      EXPECT_TRUE(drained.matchesPattern) << path;
      EXPECT_LE(drained.largestRead, 4095u) << path;
      // The end stays the end.
      char byte;
      const auto again = (*request)->Read(&byte, 1);
      ASSERT_TRUE(again) << path;
      EXPECT_EQ(*again, 0u) << path;
    }
  }
}

TEST(ReadingBodies, ReadsNeverGiveMoreThanAsked) {
  TestServer server;
  server.Handle("/body", {.size = 300'000});
  auto session = http::Session::Open();
  for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{100'000}, std::size_t{1'000'000}}) {
    auto request = session->OpenUrl(server.Url("/body"));
    ASSERT_TRUE(request);
    const Drained drained = Drain(**request, chunk);
    EXPECT_EQ(drained.total, 300'000u) << chunk;
    EXPECT_TRUE(drained.matchesPattern) << chunk;
    EXPECT_LE(drained.largestRead, chunk);
  }
}

TEST(ReadingBodies, SlowTrickleIsNotATimeout) {
  // Each gap is well below the receive limit, the whole answer well above
  // it: the limit is about silence, not about the length of a transfer.
  TestServer server;
  server.Handle("/slow", {.size = 3000, .trickleBytes = 200, .trickleGap = 100ms});
  auto session = http::Session::Open({.receiveTimeout = 1s});
  auto request = session->OpenUrl(server.Url("/slow"));
  ASSERT_TRUE(request);
  const Drained drained = Drain(**request, 4095);
  EXPECT_EQ(drained.error, 0u);
  EXPECT_EQ(drained.total, 3000u);
  EXPECT_TRUE(drained.matchesPattern);
}

TEST(ReadingBodies, HeadRequestHasHeadersAndNoBody) {
  TestServer server;
  server.Handle("/file", {.size = 12345});
  auto session = http::Session::Open();
  auto request = session->OpenRequest(server.Url("/file"), http::Method::Head);
  ASSERT_TRUE(request);
  ASSERT_TRUE((*request)->Send());
  EXPECT_EQ((*request)->QueryHeader("Content-Length").value_or(""), "12345");
  char byte;
  EXPECT_EQ((*request)->Read(&byte, 1).value_or(99), 0u);
  EXPECT_EQ(server.Requests().back().method, "HEAD");
}

TEST(ReadingBodies, AbandonedBodyDoesNotSpoilLaterRequests) {
  // The first answer is left mostly unread (its transfer paused, data held
  // back); the next requests on the session take the same handles and must
  // see only their own bytes.
  TestServer server;
  server.Handle("/big", {.size = 10'000'000});
  server.Handle("/small", {.size = 70'000, .framing = Framing::Chunked});
  auto session = http::Session::Open();
  for (int round = 0; round < 3; ++round) {
    {
      auto big = session->OpenUrl(server.Url("/big"));
      ASSERT_TRUE(big);
      std::vector<char> buffer(8192);
      ASSERT_TRUE((*big)->Read(buffer.data(), buffer.size()));
    }
    auto small = session->OpenUrl(server.Url("/small"));
    ASSERT_TRUE(small);
    const Drained drained = Drain(**small, 4095);
    EXPECT_EQ(drained.error, 0u);
    EXPECT_EQ(drained.total, 70'000u);
    EXPECT_TRUE(drained.matchesPattern);
  }
}

}  // namespace
