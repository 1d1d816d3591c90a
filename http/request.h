#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "http/response_head.h"
#include "http/result.h"
#include "http/session.h"

namespace http {

// One HTTP request on a session, read pull-style: open, add headers, send,
// ask about the answer, then read the body in chunks.
//
// A request is used by one thread at a time. Close() (like Session::Close)
// may come from any other thread and ends a blocked Send or Read with
// ERROR_INTERNET_OPERATION_CANCELLED. Dropping the last reference ends the
// request and gives its connection back to the session for reuse when the
// answer was read to its end.
class Request {
  struct Passkey {};

 public:
  Request(Passkey, std::shared_ptr<Session> session, std::unique_ptr<TransferHandles> handles, std::string url,
          Method method, std::uint32_t flags);
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Adds request header lines before sending: "Name: value", several lines
  // separated by "\r\n", a trailing line end and empty lines allowed. A field
  // named like one this layer sends itself (User-Agent, Accept) replaces it.
  Result<void> AddHeader(std::string_view lines);

  // Sends the request and waits for the head of the final answer, following
  // redirects unless kFlagNoAutoRedirect was given. Any HTTP status is a
  // success here; the caller asks StatusCode(). A request that a reused
  // connection fails to answer is sent once more on a new connection.
  Result<void> Send();

  // About the answer; before a successful Send they fail with 12019, or with
  // the error that Send met.
  Result<int> StatusCode() const;
  Result<std::string> VersionText() const;  // "HTTP/1.1", "HTTP/1.0"
  // The first answer field of that name, e.g. "Content-Length" or
  // "Content-Range"; 12150 when the answer has none.
  Result<std::string> QueryHeader(std::string_view name) const;

  // Reads at most `max` body bytes into `buffer`. Gives the number of bytes,
  // 0 at the end of the body, or an error: 12030 when the connection ended
  // before the announced length or the last chunk, 12002 when nothing came
  // for the session's receive time limit, 12017 after Close. A body without
  // a length and without chunks ends when the server closes the connection.
  // Asking for 0 bytes gives 0 and reads nothing.
  Result<std::size_t> Read(void* buffer, std::size_t max);

  void Close();

  const std::string& url() const { return m_url; }

 private:
  friend class Session;
  enum class State { Opened, Receiving, Failed };
  enum class Goal { Head, Data };

  bool Closed() const;
  void Wake();
  ErrorCode Fail(ErrorCode code);
  ErrorCode StateError() const;
  ErrorCode Drive(Goal goal);
  // Puts the transfer on its way and waits for the answer's head.
  ErrorCode SendOnce();
  bool ConnectionWasReused() const;
  void CollectDone();
  void TopUp();
  void Unpause();

  static std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static int OnRequestReady(void* self, char* primaryIp, char* localIp, int primaryPort, int localPort);

  const std::shared_ptr<Session> m_session;
  std::unique_ptr<TransferHandles> m_handles;
  const std::string m_url;
  const Method m_method;
  const std::uint32_t m_flags;
  curl_slist* m_headerLines = nullptr;

  State m_state = State::Opened;
  ErrorCode m_error = 0;  // why the request failed
  std::atomic<bool> m_closed{false};
  ResponseHead m_head;
  bool m_inMulti = false;
  bool m_done = false;  // libcurl finished the transfer, with m_doneResult
  CURLcode m_doneResult = CURLE_OK;
  bool m_paused = false;  // libcurl holds back data until the reader has room

  // The reader's buffer while a Read waits: the write callback fills it
  // first and keeps only the rest in m_handles->overflow.
  char* m_dest = nullptr;
  std::size_t m_destRoom = 0;
  std::size_t m_destLength = 0;

  // The receive time limit runs from the moment the request is on its way
  // (connection set up) and restarts with every byte received.
  bool m_timerArmed = false;
  std::chrono::steady_clock::time_point m_lastData;
};

}  // namespace http
