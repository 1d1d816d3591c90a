#include "http/request.h"

#include <algorithm>
#include <cstring>

#include "http/errors.h"
#include "http/transfer_handles.h"

namespace http {

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait inside a call. A close wakes the wait at once;
// this only bounds how long a lost wake-up could go unnoticed.
constexpr std::chrono::milliseconds kLongestWait{500};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Addresses taken from pages may hold spaces; libcurl refuses them in a
// request target, so they travel percent-encoded.
std::string EncodeSpaces(std::string_view url) {
  std::string encoded;
  encoded.reserve(url.size());
  for (char c : url) {
    if (c == ' ')
      encoded += "%20";
    else
      encoded += c;
  }
  return encoded;
}

}  // namespace

Request::Request(Passkey, std::shared_ptr<Session> session, std::unique_ptr<TransferHandles> handles,
                 std::string url, Method method, std::uint32_t flags)
    : m_session(std::move(session)),
      m_handles(std::move(handles)),
      m_url(EncodeSpaces(url)),
      m_method(method),
      m_flags(flags),
      m_head((flags & kFlagNoAutoRedirect) ? ResponseHead::Redirects::Stop : ResponseHead::Redirects::Follow) {}

Request::~Request() {
  // Unregistered first: from here on Session::Close no longer wakes this
  // request's multi handle, so it may be reused or freed.
  m_session->Unregister(this);
  CURL* easy = m_handles->easy;
  // Removing a transfer that has not ended closes its connection; one that
  // ended cleanly leaves its connection in the cache for the next request.
  if (m_inMulti) curl_multi_remove_handle(m_handles->multi, easy);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, nullptr);
  m_handles->overflow.Clear();
  m_session->GiveBack(std::move(m_handles));
  curl_slist_free_all(m_headerLines);
}

bool Request::Closed() const {
  return m_closed.load(std::memory_order_acquire) || m_session->closed();
}

void Request::Wake() { curl_multi_wakeup(m_handles->multi); }

void Request::Close() {
  m_closed.store(true, std::memory_order_release);
  Wake();
}

ErrorCode Request::Fail(ErrorCode code) {
  m_state = State::Failed;
  m_error = code;
  return code;
}

ErrorCode Request::StateError() const {
  if (Closed()) return ERROR_INTERNET_OPERATION_CANCELLED;
  return m_state == State::Failed ? m_error : ERROR_INTERNET_INCORRECT_HANDLE_STATE;
}

Result<void> Request::AddHeader(std::string_view lines) {
  if (Closed()) return Error{ERROR_INTERNET_OPERATION_CANCELLED};
  if (m_state != State::Opened || m_inMulti) return Error{ERROR_INTERNET_INCORRECT_HANDLE_STATE};
  curl_slist* added = nullptr;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || line.find('\r') != std::string_view::npos) {
      curl_slist_free_all(added);
      return Error{ERROR_INVALID_PARAMETER};
    }
    curl_slist* grown = curl_slist_append(added, std::string(line).c_str());
    if (!grown) {
      curl_slist_free_all(added);
      return Error{ERROR_INTERNET_INTERNAL_ERROR};
    }
    added = grown;
  }
  // Appended as a whole, so a refused line adds nothing.
  for (curl_slist* item = added; item; item = item->next) {
    curl_slist* grown = curl_slist_append(m_headerLines, item->data);
    if (!grown) {
      curl_slist_free_all(added);
      return Error{ERROR_INTERNET_INTERNAL_ERROR};
    }
    m_headerLines = grown;
  }
  curl_slist_free_all(added);
  return {};
}

Result<void> Request::Send() {
  if (Closed()) return Error{ERROR_INTERNET_OPERATION_CANCELLED};
  if (m_state != State::Opened || m_inMulti) return Error{StateError()};

  CURL* easy = m_handles->easy;
  curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
  if (m_method == Method::Head)
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  else
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, (m_flags & kFlagNoAutoRedirect) ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerLines);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::OnHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Request::OnRequestReady);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 0L);

  ErrorCode error = SendOnce();
  // A kept-alive connection may hold leftovers of an earlier answer (one
  // that sent more than its length) or have been closed by the server just
  // as the request went out: the request was never really answered, so it
  // gets one more chance on a new connection.
  if ((error == ERROR_HTTP_INVALID_SERVER_RESPONSE || error == ERROR_INTERNET_CONNECTION_ABORTED) &&
      ConnectionWasReused()) {
    curl_multi_remove_handle(m_handles->multi, easy);
    m_inMulti = false;
    m_head = ResponseHead(m_head.redirects());
    m_done = m_paused = m_timerArmed = false;
    m_doneResult = CURLE_OK;
    m_state = State::Opened;
    m_handles->overflow.Clear();
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    error = SendOnce();
  }
  if (error) return Error{error};
  m_state = State::Receiving;
  return {};
}

ErrorCode Request::SendOnce() {
  if (curl_multi_add_handle(m_handles->multi, m_handles->easy) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  m_inMulti = true;
  if (const ErrorCode error = Drive(Goal::Head)) return error;
  if (m_head.complete()) return 0;
  // The transfer ended without a final answer head.
  ErrorCode error = m_doneResult != CURLE_OK ? ErrorFromCurl(m_doneResult) : ERROR_HTTP_INVALID_SERVER_RESPONSE;
  const int status = m_head.statusCode();
  if (m_doneResult == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status < 400)
    error = ERROR_HTTP_REDIRECT_FAILED;  // sent on to a scheme other than http and https
  return Fail(error);
}

bool Request::ConnectionWasReused() const {
  long connects = 0;
  return curl_easy_getinfo(m_handles->easy, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK && connects == 0;
}

Result<int> Request::StatusCode() const {
  if (Closed() || m_state != State::Receiving) return Error{StateError()};
  return m_head.statusCode();
}

Result<std::string> Request::VersionText() const {
  if (Closed() || m_state != State::Receiving) return Error{StateError()};
  return m_head.version();
}

Result<std::string> Request::QueryHeader(std::string_view name) const {
  if (Closed() || m_state != State::Receiving) return Error{StateError()};
  auto value = m_head.Find(name);
  if (!value) return Error{ERROR_HTTP_HEADER_NOT_FOUND};
  return std::move(*value);
}

Result<std::size_t> Request::Read(void* buffer, std::size_t max) {
  if (Closed() || m_state != State::Receiving) return Error{StateError()};
  if (max == 0) return std::size_t{0};

  m_dest = static_cast<char*>(buffer);
  m_destRoom = max;
  m_destLength = 0;
  ErrorCode error = 0;
  // The common case of a fast transfer: the bytes are already here. When
  // the store holds less than asked, the read is topped up with whatever
  // libcurl can hand over without waiting, so that a reader writing each
  // read to a file does not pay a whole write for a few leftover bytes.
  BodyBuffer& overflow = m_handles->overflow;
  if (!overflow.empty()) {
    m_destLength = overflow.Take(m_dest, max);
    if (m_destLength < max && overflow.empty() && !m_done) TopUp();
  } else {
    if (m_paused) Unpause();  // what libcurl held back lands in `buffer` first
    if (m_destLength == 0 && !m_done) error = Drive(Goal::Data);
  }
  const std::size_t count = m_destLength;
  m_dest = nullptr;
  m_destRoom = m_destLength = 0;

  if (count > 0) return count;
  if (error) return Error{error};
  if (m_done && m_doneResult != CURLE_OK) return Error{Fail(ErrorFromCurl(m_doneResult))};
  return std::size_t{0};  // the end of the body
}

ErrorCode Request::Drive(Goal goal) {
  CURLM* multi = m_handles->multi;
  const auto limit = m_session->options().receiveTimeout;
  // Time spent outside this call (the caller writing a file, say) is not
  // time the server kept us waiting.
  m_lastData = Clock::now();
  for (;;) {
    if (Closed()) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
    if (m_paused && m_handles->overflow.empty()) Unpause();

    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
    CollectDone();
    if (goal == Goal::Head ? m_head.complete() : m_destLength > 0) return 0;
    if (m_done) return 0;

    auto wait = kLongestWait;
    if (m_timerArmed) {
      const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_lastData);
      if (idle >= limit) return Fail(ERROR_INTERNET_TIMEOUT);
      wait = std::min(wait, limit - idle);
    }
    // libcurl shortens the wait further when one of its own timers (the
    // connect time limit, say) is due earlier.
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long long>(wait.count(), 1)), nullptr);
  }
}

void Request::TopUp() {
  if (Closed()) return;
  if (m_paused) Unpause();
  int running = 0;
  if (m_destLength < m_destRoom && curl_multi_perform(m_handles->multi, &running) == CURLM_OK) CollectDone();
}

void Request::CollectDone() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(m_handles->multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    m_done = true;
    m_doneResult = message->data.result;
  }
}

void Request::Unpause() {
  // Only ever called on the reading thread: libcurl's pause state is not
  // safe to touch from anywhere else. libcurl hands the held-back data to
  // OnBody before this returns, which may pause again.
  m_paused = false;
  curl_easy_pause(m_handles->easy, CURLPAUSE_CONT);
}

std::size_t Request::OnHeaderLine(char* data, std::size_t size, std::size_t count, void* self) {
  auto* request = static_cast<Request*>(self);
  const std::size_t length = size * count;
  request->m_lastData = Clock::now();
  request->m_head.OnLine(std::string_view(data, length));
  return length;
}

std::size_t Request::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* request = static_cast<Request*>(self);
  const std::size_t length = size * count;
  request->m_lastData = Clock::now();
  const std::size_t direct = std::min(length, request->m_destRoom - request->m_destLength);
  const std::size_t rest = length - direct;
  BodyBuffer& overflow = request->m_handles->overflow;
  if (rest > overflow.free()) {
    // Nothing is taken: libcurl keeps the whole piece and stops receiving
    // until the reader has drained the store.
    request->m_paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (direct > 0) {
    std::memcpy(request->m_dest + request->m_destLength, data, direct);
    request->m_destLength += direct;
  }
  overflow.Append(data + direct, rest);
  return length;
}

int Request::OnRequestReady(void* self, char*, char*, int, int) {
  // Connected (or a kept-alive connection reused), TLS set up, the request
  // about to go out: from here on the server owes us data. Called again for
  // every redirect that is followed.
  auto* request = static_cast<Request*>(self);
  request->m_timerArmed = true;
  request->m_lastData = Clock::now();
  return CURL_PREREQFUNC_OK;
}

}  // namespace http
