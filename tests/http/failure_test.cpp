#include <gtest/gtest.h>

#include <set>

#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"
#include "tests/http/drain.h"
#include "tests/support/stalled_listener.h"
#include "tests/support/test_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
// libcurl times its limits in whole milliseconds, so a limit may end up to
// a millisecond before the same span on this clock.
constexpr auto kTimerGrain = 2ms;

TEST(Failures, RefusedConnectionIs12029) {
  auto session = http::Session::Open();
  const auto request = session->OpenUrl("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/");
  EXPECT_EQ(request.error(), http::ERROR_INTERNET_CANNOT_CONNECT);
}

TEST(Failures, ConnectTimeLimitIs12002AndTheReceiveLimitWaitsForTheConnection) {
  // The receive limit is far shorter than the connect limit; the failure
  // must still come only when the connect limit runs out.
  StalledListener listener;
  auto session = http::Session::Open({.connectTimeout = 600ms, .receiveTimeout = 100ms});
  const auto start = Clock::now();
  const auto request = session->OpenUrl("http://127.0.0.1:" + std::to_string(listener.port()) + "/");
  const auto waited = Clock::now() - start;
  EXPECT_EQ(request.error(), http::ERROR_INTERNET_TIMEOUT);
  EXPECT_GE(waited, 600ms - kTimerGrain);
  EXPECT_LT(waited, 10s);
}

TEST(Failures, AddressesThatCannotBeRequested) {
  auto session = http::Session::Open();
  EXPECT_EQ(session->OpenRequest("no address at all").error(), http::ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(session->OpenRequest("http://").error(), http::ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(session->OpenRequest("ftp://127.0.0.1/file.zip").error(), http::ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_EQ(session->OpenRequest("mailto:someone@127.0.0.1").error(), http::ERROR_INTERNET_INVALID_URL);
}

TEST(Failures, TlsFailureIs12175) {
  // A TLS handshake with a plain HTTP server fails.
  TestServer server;
  auto session = http::Session::Open();
  std::string url = server.Url("/");
  url.replace(0, 4, "https");
  EXPECT_EQ(session->OpenUrl(url).error(), http::ERROR_INTERNET_SECURE_FAILURE);
}

TEST(Failures, StallBeforeTheHeadIs12002) {
  TestServer server;
  server.Handle("/stall", {.holdHead = true});
  auto session = http::Session::Open({.receiveTimeout = 1s});
  const auto start = Clock::now();
  EXPECT_EQ(session->OpenUrl(server.Url("/stall")).error(), http::ERROR_INTERNET_TIMEOUT);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 1s - kTimerGrain);
  EXPECT_LT(waited, 10s);
  server.ReleaseHolds();
}

TEST(Failures, StallInTheBodyIs12002AfterTheBytesThatCame) {
  TestServer server;
  server.Handle("/stall", {.size = 10000, .holdAfter = 5000});
  auto session = http::Session::Open({.receiveTimeout = 1s});
  auto request = session->OpenUrl(server.Url("/stall"));
  ASSERT_TRUE(request);
  const Drained drained = Drain(**request, 4095);
  EXPECT_EQ(drained.error, http::ERROR_INTERNET_TIMEOUT);
  EXPECT_EQ(drained.total, 5000u);
  EXPECT_TRUE(drained.matchesPattern);
  char byte;
  EXPECT_EQ((*request)->Read(&byte, 1).error(), http::ERROR_INTERNET_TIMEOUT);  // stays failed
  server.ReleaseHolds();
}

TEST(Failures, ConnectionCutBeforeTheEndIs12030) {
  // A broken transfer must never look like a finished one: the bytes that
  // came are delivered, then the error, never a read of 0.
  TestServer server;
  server.Handle("/sized", {.size = 1'000'000, .cutAfter = 100'000});
  server.Handle("/chunked", {.size = 1'000'000, .framing = Framing::Chunked, .cutAfter = 100'000});
  auto session = http::Session::Open();
  for (const char* path : {"/sized", "/chunked"}) {
    auto request = session->OpenUrl(server.Url(path));
    ASSERT_TRUE(request) << path;
    const Drained drained = Drain(**request, 4095);
    EXPECT_EQ(drained.error, http::ERROR_INTERNET_CONNECTION_ABORTED) << path;
    EXPECT_EQ(drained.total, 100'000u) << path;
    EXPECT_TRUE(drained.matchesPattern) << path;
  }
  // Without a length or chunks, the close is the end of the body.
  server.Handle("/unsized", {.size = 1'000'000, .framing = Framing::UntilClose, .cutAfter = 100'000});
  auto request = session->OpenUrl(server.Url("/unsized"));
  ASSERT_TRUE(request);
  const Drained drained = Drain(**request, 4095);
  EXPECT_EQ(drained.error, 0u);
  EXPECT_EQ(drained.total, 100'000u);
}

TEST(Failures, EveryErrorNumberHasItsOwnMessage) {
  const http::ErrorCode numbers[] = {
      http::ERROR_INTERNET_TIMEOUT,         http::ERROR_INTERNET_INTERNAL_ERROR,
      http::ERROR_INTERNET_INVALID_URL,     http::ERROR_INTERNET_UNRECOGNIZED_SCHEME,
      http::ERROR_INTERNET_NAME_NOT_RESOLVED, http::ERROR_INTERNET_OPERATION_CANCELLED,
      http::ERROR_INTERNET_INCORRECT_HANDLE_STATE, http::ERROR_INTERNET_CANNOT_CONNECT,
      http::ERROR_INTERNET_CONNECTION_ABORTED, http::ERROR_INTERNET_CONNECTION_RESET,
      http::ERROR_HTTP_HEADER_NOT_FOUND,    http::ERROR_HTTP_INVALID_SERVER_RESPONSE,
      http::ERROR_HTTP_REDIRECT_FAILED,     http::ERROR_INTERNET_SECURE_FAILURE,
      http::ERROR_INVALID_PARAMETER,
  };
  // Numbers outside the table get a sentence naming the number; those in
  // it have a sentence of their own.
  EXPECT_NE(http::ErrorMessage(99999).find("99999"), std::string::npos);
  std::set<std::string> messages;
  for (http::ErrorCode number : numbers) {
    const std::string message = http::ErrorMessage(number);
    EXPECT_EQ(message.find(std::to_string(number)), std::string::npos) << number << " has no message";
    EXPECT_TRUE(messages.insert(message).second) << number << " shares its message";
  }
}

}  // namespace
