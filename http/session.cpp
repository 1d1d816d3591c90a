#include "http/session.h"

#include <algorithm>

#include "http/errors.h"
#include "http/request.h"
#include "http/transfer_handles.h"
#include "http/url_parts.h"

namespace http {

namespace {
// Enough for the requests that run at once on one session (a crawl and a
// size query) with room to spare; more idle pairs would only hold open
// connections nobody uses.
constexpr std::size_t kMostIdlePairs = 4;
}  // namespace

std::shared_ptr<Session> Session::Open(SessionOptions options) {
  return std::make_shared<Session>(Passkey{}, std::move(options));
}

Session::Session(Passkey, SessionOptions options) : m_options(std::move(options)) {}

Session::~Session() = default;

Result<std::shared_ptr<Request>> Session::OpenRequest(std::string_view url, Method method, std::uint32_t flags) {
  if (closed()) return Error{ERROR_INTERNET_OPERATION_CANCELLED};
  const auto parts = SplitUrl(url);
  if (!parts) return Error{ERROR_INTERNET_INVALID_URL};
  if (parts->scheme != "http" && parts->scheme != "https") return Error{ERROR_INTERNET_UNRECOGNIZED_SCHEME};

  auto handles = Take();
  if (!handles) return Error{closed() ? ERROR_INTERNET_OPERATION_CANCELLED : ERROR_INTERNET_INTERNAL_ERROR};
  auto request =
      std::make_shared<Request>(Request::Passkey{}, shared_from_this(), std::move(handles), std::string(url), method, flags);
  Register(request.get());
  // A Close() that ran between Take() and Register() woke nobody; the
  // request's own calls check the flag before they block, so it still ends.
  return request;
}

Result<std::shared_ptr<Request>> Session::OpenUrl(std::string_view url, std::string_view headers, std::uint32_t flags) {
  auto request = OpenRequest(url, Method::Get, flags);
  if (!request) return request;
  if (!headers.empty()) {
    if (auto added = (*request)->AddHeader(headers); !added) return Error{added.error()};
  }
  if (auto sent = (*request)->Send(); !sent) return Error{sent.error()};
  return request;
}

void Session::Close() {
  m_closed.store(true, std::memory_order_release);
  std::vector<std::unique_ptr<TransferHandles>> idle;
  {
    std::lock_guard lock(m_lock);
    // Under the lock no request can give its handles back and free them, so
    // every multi handle woken here is alive.
    for (Request* request : m_active) request->Wake();
    idle.swap(m_idle);
  }
  // The idle pairs and their connections go away outside the lock.
}

std::unique_ptr<TransferHandles> Session::Take() {
  {
    std::lock_guard lock(m_lock);
    if (closed()) return nullptr;
    if (!m_idle.empty()) {
      auto handles = std::move(m_idle.back());
      m_idle.pop_back();
      return handles;
    }
  }
  auto handles = std::make_unique<TransferHandles>(m_options);
  if (!handles->valid()) return nullptr;
  return handles;
}

void Session::GiveBack(std::unique_ptr<TransferHandles> handles) {
  {
    std::lock_guard lock(m_lock);
    if (!closed() && m_idle.size() < kMostIdlePairs) {
      m_idle.push_back(std::move(handles));
      return;
    }
  }
  handles.reset();  // closes its connections, outside the lock
}

void Session::Register(Request* request) {
  std::lock_guard lock(m_lock);
  m_active.push_back(request);
}

void Session::Unregister(Request* request) {
  std::lock_guard lock(m_lock);
  m_active.erase(std::remove(m_active.begin(), m_active.end(), request), m_active.end());
}

}  // namespace http
