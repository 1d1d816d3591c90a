#include <gtest/gtest.h>

#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"
#include "tests/http/drain.h"
#include "tests/support/test_server.h"

namespace {

TEST(Answers, StatusLengthAndVersionOfAnErrorPage) {
  TestServer server;
  server.Handle("/missing", {.status = 404, .text = "Gone away", .contentType = "text/html"});
  auto session = http::Session::Open();
  auto request = session->OpenUrl(server.Url("/missing"));
  ASSERT_TRUE(request) << request.error();
  EXPECT_EQ((*request)->StatusCode().value_or(0), 404);
  EXPECT_EQ((*request)->QueryHeader("content-length").value_or(""), "9");
  EXPECT_EQ((*request)->VersionText().value_or(""), "HTTP/1.1");
  EXPECT_EQ(Drain(**request, 4095, Keep::Bytes).text, "Gone away");
}

TEST(Answers, MissingHeaderIs12150) {
  TestServer server;
  server.Handle("/chunked", {.size = 100, .framing = Framing::Chunked});
  auto session = http::Session::Open();
  auto request = session->OpenUrl(server.Url("/chunked"));
  ASSERT_TRUE(request);
  EXPECT_EQ((*request)->QueryHeader("Content-Length").error(), http::ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_EQ((*request)->QueryHeader("Content-Range").error(), http::ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_EQ((*request)->StatusCode().value_or(0), 200);
}

TEST(Answers, AddedRangeHeaderReachesTheServer) {
  TestServer server;
  server.Handle("/honours", {.size = 10000});
  server.Handle("/ignores", {.size = 10000, .ranges = RangeMode::Ignore});
  auto session = http::Session::Open();

  auto ranged = session->OpenRequest(server.Url("/honours"));
  ASSERT_TRUE(ranged);
  ASSERT_TRUE((*ranged)->AddHeader("Range: bytes=4095-\r\n"));
  ASSERT_TRUE((*ranged)->Send());
  const RecordedRequest sent = server.Requests().back();
  EXPECT_EQ(sent.line(), "GET /honours HTTP/1.1");
  EXPECT_EQ(sent.Header("Range").value_or(""), "bytes=4095-");
  EXPECT_EQ(sent.Header("User-Agent").value_or(""), "Mozilla");
  EXPECT_EQ(sent.Header("Accept").value_or(""), "*/*");
  EXPECT_EQ((*ranged)->StatusCode().value_or(0), 206);
  EXPECT_EQ((*ranged)->QueryHeader("Content-Range").value_or(""), "bytes 4095-9999/10000");
  EXPECT_EQ((*ranged)->QueryHeader("Content-Length").value_or(""), "5905");
  const Drained rest = Drain(**ranged, 4095, Keep::Nothing, 4095);
  EXPECT_EQ(rest.total, 5905u);
  EXPECT_TRUE(rest.matchesPattern);

  // A server that ignores the range sends everything from the start, and
  // the caller can tell by the status and the missing Content-Range.
  auto whole = session->OpenUrl(server.Url("/ignores"), "Range: bytes=4095-\r\n");
  ASSERT_TRUE(whole);
  EXPECT_EQ((*whole)->StatusCode().value_or(0), 200);
  EXPECT_EQ((*whole)->QueryHeader("Content-Range").error(), http::ERROR_HTTP_HEADER_NOT_FOUND);
  const Drained all = Drain(**whole, 4095);
  EXPECT_EQ(all.total, 10000u);
  EXPECT_TRUE(all.matchesPattern);
}

TEST(Answers, AddHeaderTakesLinesAndRefusesBrokenOnes) {
  TestServer server;
  server.Handle("/page", {.text = "ok"});
  auto session = http::Session::Open({.userAgent = "Tester/2"});
  auto request = session->OpenRequest(server.Url("/page"));
  ASSERT_TRUE(request);
  EXPECT_TRUE((*request)->AddHeader("Accept: text/html\r\n\r\n"));
  EXPECT_TRUE((*request)->AddHeader("X-One: 1\r\nX-Two:  2  "));
  // One bad line refuses the whole call, so nothing of it is sent.
  EXPECT_EQ((*request)->AddHeader("X-Three: 3\r\nnot a header").error(), http::ERROR_INVALID_PARAMETER);
  ASSERT_TRUE((*request)->Send());
  EXPECT_EQ((*request)->AddHeader("X-Late: 1").error(), http::ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ((*request)->Send().error(), http::ERROR_INTERNET_INCORRECT_HANDLE_STATE);

  const RecordedRequest sent = server.Requests().back();
  EXPECT_EQ(sent.Header("Accept").value_or(""), "text/html");
  EXPECT_EQ(sent.Header("X-One").value_or(""), "1");
  EXPECT_EQ(sent.Header("X-Two").value_or(""), "2");
  EXPECT_FALSE(sent.Header("X-Three").has_value());
  EXPECT_EQ(sent.Header("User-Agent").value_or(""), "Tester/2");
}

TEST(Answers, QueriesBeforeSendingFail) {
  TestServer server;
  auto session = http::Session::Open();
  auto request = session->OpenRequest(server.Url("/page"));
  ASSERT_TRUE(request);
  char byte;
  EXPECT_EQ((*request)->StatusCode().error(), http::ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ((*request)->QueryHeader("Content-Length").error(), http::ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ((*request)->Read(&byte, 1).error(), http::ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

TEST(Answers, RedirectsAreFollowedToTheFinalAnswer) {
  TestServer server;
  server.Handle("/a", {.status = 302, .location = "/b"});
  server.Handle("/b", {.status = 301, .location = server.Url("/c")});
  server.Handle("/c", {.text = "final page", .headers = {{"X-Where", "c"}}});
  auto session = http::Session::Open();

  auto followed = session->OpenUrl(server.Url("/a"), "X-Trace: 7\r\n");
  ASSERT_TRUE(followed);
  EXPECT_EQ((*followed)->StatusCode().value_or(0), 200);
  EXPECT_EQ((*followed)->QueryHeader("X-Where").value_or(""), "c");
  EXPECT_EQ((*followed)->QueryHeader("Location").error(), http::ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_EQ(Drain(**followed, 4095, Keep::Bytes).text, "final page");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].line(), "GET /c HTTP/1.1");
  EXPECT_EQ(requests[2].Header("X-Trace").value_or(""), "7");  // added headers travel along

  auto unfollowed = session->OpenRequest(server.Url("/a"), http::Method::Get, http::kFlagNoAutoRedirect);
  ASSERT_TRUE(unfollowed);
  ASSERT_TRUE((*unfollowed)->Send());
  EXPECT_EQ((*unfollowed)->StatusCode().value_or(0), 302);
  EXPECT_EQ((*unfollowed)->QueryHeader("Location").value_or(""), "/b");
}

TEST(Answers, RedirectsThatCannotBeFollowedAre12156) {
  TestServer server;
  server.Handle("/loop", {.status = 302, .location = "/loop"});
  server.Handle("/elsewhere", {.status = 301, .location = "ftp://127.0.0.1/file.zip"});
  auto session = http::Session::Open();
  EXPECT_EQ(session->OpenUrl(server.Url("/loop")).error(), http::ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_EQ(session->OpenUrl(server.Url("/elsewhere")).error(), http::ERROR_HTTP_REDIRECT_FAILED);
}

TEST(Answers, Http10AnswersGiveTheirVersion) {
  TestServer server;
  server.Handle("/sized", {.raw = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello"});
  server.Handle("/unsized", {.raw = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nto the end"});
  auto session = http::Session::Open();
  for (const char* path : {"/sized", "/unsized"}) {
    auto request = session->OpenUrl(server.Url(path));
    ASSERT_TRUE(request) << path;
    EXPECT_EQ((*request)->VersionText().value_or(""), "HTTP/1.0") << path;
    const Drained drained = Drain(**request, 4095, Keep::Bytes);
    EXPECT_EQ(drained.error, 0u) << path;
    EXPECT_EQ(drained.text, path == std::string("/sized") ? "hello" : "to the end");
  }
  EXPECT_EQ(server.Requests().front().version, "HTTP/1.1");
}

TEST(Answers, MalformedAnswersAre12152) {
  TestServer server;
  server.Handle("/garbage", {.raw = "this is not http\r\n\r\n"});
  server.Handle("/silent", {.raw = ""});
  auto session = http::Session::Open();
  EXPECT_EQ(session->OpenUrl(server.Url("/garbage")).error(), http::ERROR_HTTP_INVALID_SERVER_RESPONSE);
  EXPECT_EQ(session->OpenUrl(server.Url("/silent")).error(), http::ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

TEST(Answers, SpacesInAddressesAreSentEncoded) {
  TestServer server;
  server.Handle("/with space.txt", {.text = "spaced"});
  auto session = http::Session::Open();
  auto request = session->OpenUrl(server.Url("/with space.txt"));
  ASSERT_TRUE(request) << request.error();
  EXPECT_EQ(server.Requests().back().target, "/with%20space.txt");
  EXPECT_EQ(Drain(**request, 4095, Keep::Bytes).text, "spaced");
}

}  // namespace
