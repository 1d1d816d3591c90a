#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"
#include "tests/http/drain.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace {

TEST(Sessions, RequestsOneAfterAnotherReuseOneConnection) {
  // A crawl fetches page after page from one server.
  TestServer server;
  server.Handle("/page", {.size = 20'000});
  server.Handle("/chunked", {.size = 20'000, .framing = Framing::Chunked});
  auto session = http::Session::Open();
  for (int i = 0; i < 20; ++i) {
    auto request = session->OpenUrl(server.Url(i % 2 ? "/page" : "/chunked"));
    ASSERT_TRUE(request);
    const Drained drained = Drain(**request, 1023);
    ASSERT_EQ(drained.total, 20'000u);
  }
  EXPECT_EQ(server.Requests().size(), 20u);
  EXPECT_EQ(server.Connections(), 1u);
}

TEST(Sessions, RequestsAtTheSameTimeOnOneSession) {
  // A size query runs beside a crawl on the crawl's session.
  TestServer server;
  server.Handle("/page", {.size = 200'000, .framing = Framing::Chunked});
  server.Handle("/file", {.size = 300'000});
  auto session = http::Session::Open();
  auto fetchMany = [&](const char* path, std::uint64_t size, int& good) {
    for (int i = 0; i < 15; ++i) {
      auto request = session->OpenUrl(server.Url(path));
      if (!request) continue;
      const Drained drained = Drain(**request, 4095);
      if (drained.error == 0 && drained.total == size && drained.matchesPattern) ++good;
    }
  };
  int pagesGood = 0;
  int filesGood = 0;
  std::thread crawl([&] { fetchMany("/page", 200'000, pagesGood); });
  std::thread sizes([&] { fetchMany("/file", 300'000, filesGood); });
  crawl.join();
  sizes.join();
  EXPECT_EQ(pagesGood, 15);
  EXPECT_EQ(filesGood, 15);
  EXPECT_LE(server.Connections(), 4u);
}

TEST(Sessions, OnlySystemProxyModeUsesTheEnvironmentsProxy) {
  // The test server stands in as the proxy: a request through a proxy
  // names the whole address in its request line.
  TestServer server;
  server.Handle("/page", {.text = "direct"});
  ScopedEnv proxy("http_proxy", server.Url(""));
  ScopedEnv noProxy("no_proxy", "");

  auto system = http::Session::Open({.proxy = http::ProxyMode::System});
  auto viaProxy = system->OpenUrl("http://127.0.0.2:1/page");
  ASSERT_TRUE(viaProxy) << viaProxy.error();
  EXPECT_EQ(server.Requests().back().target, "http://127.0.0.2:1/page");

  auto direct = http::Session::Open({.proxy = http::ProxyMode::Direct});
  auto straight = direct->OpenUrl(server.Url("/page"));
  ASSERT_TRUE(straight) << straight.error();
  EXPECT_EQ(server.Requests().back().target, "/page");
  EXPECT_EQ(Drain(**straight, 4095, Keep::Bytes).text, "direct");
}

TEST(Sessions, RequestLeftHalfReadDoesNotHoldItsConnection) {
  // Its connection cannot be reused (the rest of the body is still on the
  // wire), so the next request gets a fresh one and its own bytes.
  TestServer server;
  server.Handle("/big", {.size = 5'000'000});
  auto session = http::Session::Open();
  {
    auto first = session->OpenUrl(server.Url("/big"));
    ASSERT_TRUE(first);
    char buffer[4095];
    ASSERT_TRUE((*first)->Read(buffer, sizeof buffer));
  }
  auto second = session->OpenUrl(server.Url("/big"), "Range: bytes=4000000-");
  ASSERT_TRUE(second);
  const Drained drained = Drain(**second, 4095, Keep::Nothing, 4'000'000);
  EXPECT_EQ(drained.total, 1'000'000u);
  EXPECT_TRUE(drained.matchesPattern);
  EXPECT_EQ(server.Connections(), 2u);
}

TEST(Sessions, AKeptAliveConnectionThatFailsTheNextRequestIsReplacedOnce) {
  // Every answer sends five bytes beyond its length; the next request on
  // the connection finds them before its own answer.
  TestServer server;
  server.Handle("/over", {.raw = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
                          .rawKeepAlive = true,
                          .rawOverrun = "XXXXX"});
  auto session = http::Session::Open();
  for (int i = 0; i < 3; ++i) {
    auto request = session->OpenUrl(server.Url("/over"));
    ASSERT_TRUE(request) << i << ": " << request.error();
    EXPECT_EQ(Drain(**request, 4095, Keep::Bytes).text, "hello");
  }
  // Each spoilt request went once more, on a new connection.
  EXPECT_EQ(server.Requests().size(), 5u);
  EXPECT_EQ(server.Connections(), 3u);
}

}  // namespace
