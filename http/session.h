#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/result.h"

namespace http {

class Request;
struct TransferHandles;

enum class ProxyMode {
  Direct,  // connect to every server directly
  System,  // honour the proxy the environment names (http_proxy, https_proxy, no_proxy)
};

struct SessionOptions {
  std::string userAgent = "Mozilla";
  // Longest wait for a connection (name look-up, TCP and TLS set-up).
  std::chrono::milliseconds connectTimeout{30000};
  // Longest wait without receiving a single byte once the request is on its
  // way: a server that stalls before or during its answer fails with 12002.
  std::chrono::milliseconds receiveTimeout{60000};
  ProxyMode proxy = ProxyMode::Direct;
};

enum class Method { Get, Head };

// Request flags, with the values the system's calls have always passed.
// This layer never caches, never keeps cookies, reuses connections and never
// converts data, so the flags that ask for that are accepted as they are and
// change nothing; only kFlagNoAutoRedirect changes behaviour.
inline constexpr std::uint32_t kFlagTransferAscii = 0x00000001;
inline constexpr std::uint32_t kFlagTransferBinary = 0x00000002;
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;  // answer a 3xx as it is
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;
inline constexpr std::uint32_t kFlagExistingConnect = 0x20000000;
inline constexpr std::uint32_t kFlagReload = 0x80000000;

// A set of HTTP requests that share settings and kept-alive connections.
//
// Close() may be called from any thread at any moment: every call blocked on
// a request of the session then returns ERROR_INTERNET_OPERATION_CANCELLED
// promptly, and every later open fails at once. Closing is not destroying:
// sessions and requests live in std::shared_ptr, and a request keeps its
// session alive, so a thread still inside a call never meets freed memory.
class Session : public std::enable_shared_from_this<Session> {
  struct Passkey {};

 public:
  static std::shared_ptr<Session> Open(SessionOptions options = {});
  Session(Passkey, SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens a request without sending it, so that headers can still be added.
  // Fails with 12005 for an address that cannot be split, 12006 for a scheme
  // other than http and https, 12017 once the session is closed.
  Result<std::shared_ptr<Request>> OpenRequest(std::string_view url, Method method = Method::Get,
                                               std::uint32_t flags = 0);
  // Opens a GET request, adds `headers` (see Request::AddHeader) and sends it.
  Result<std::shared_ptr<Request>> OpenUrl(std::string_view url, std::string_view headers = {},
                                           std::uint32_t flags = 0);

  void Close();
  bool closed() const { return m_closed.load(std::memory_order_acquire); }
  const SessionOptions& options() const { return m_options; }

 private:
  friend class Request;

  // Idle handle pairs are kept with their connections so that the next
  // request to the same server reuses one. A crawl runs its requests one
  // after another and keeps reusing the same pair; a size query running
  // beside it takes a second one.
  std::unique_ptr<TransferHandles> Take();
  void GiveBack(std::unique_ptr<TransferHandles> handles);
  void Register(Request* request);
  void Unregister(Request* request);

  const SessionOptions m_options;
  std::atomic<bool> m_closed{false};
  std::mutex m_lock;                                     // guards the two lists below
  std::vector<std::unique_ptr<TransferHandles>> m_idle;  // most recently used last
  std::vector<Request*> m_active;                        // requests that hold a pair
};

}  // namespace http
