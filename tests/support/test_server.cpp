#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "tests/support/body_pattern.h"
#include "tests/support/raw_responder.h"

#if defined(__SANITIZE_THREAD__)
// The HTTP server library comes from the system, built without
// ThreadSanitizer: the sanitizer cannot see its own locking and reports its
// worker threads' shared buffers as races. Reports from inside it are not
// about this project's code.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }
#endif

namespace {

constexpr std::size_t kPieceSize = 64 * 1024;

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

// "bytes=N-" or "bytes=N-M" within a body of `total` bytes; other forms
// (suffix ranges, lists) are answered with the whole body.
bool ParseRange(const std::string& value, std::uint64_t total, std::uint64_t& first, std::uint64_t& last) {
  if (value.rfind("bytes=", 0) != 0 || value.find(',') != std::string::npos) return false;
  const std::string byteRange = value.substr(6);
  const std::size_t dash = byteRange.find('-');
  if (dash == 0 || dash == std::string::npos) return false;
  try {
    first = std::stoull(byteRange.substr(0, dash));
    last = dash + 1 < byteRange.size() ? std::stoull(byteRange.substr(dash + 1)) : total - 1;
  } catch (const std::exception&) {
    return false;
  }
  last = std::min(last, total - 1);
  return total > 0 && first <= last;
}

}  // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  for (const auto& [field, value] : headers)
    if (field.size() == name.size() && ::strncasecmp(field.data(), name.data(), name.size()) == 0) return value;
  return std::nullopt;
}

struct TestServer::Impl {
  mutable std::mutex lock;
  std::condition_variable holdsChanged;
  std::uint64_t holdGeneration = 0;  // advanced by ReleaseHolds
  bool stopping = false;
  std::map<std::string, Script> scripts;
  std::vector<RecordedRequest> log;

  httplib::Server server;
  int port = 0;
  std::thread listener;
  std::unique_ptr<RawResponder> raw;

  // Gives how many requests for the same path came before this one.
  std::size_t Record(RecordedRequest request) {
    std::lock_guard guard(lock);
    const std::string path = PathOf(request.target);
    const std::size_t earlier = static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const RecordedRequest& seen) { return PathOf(seen.target) == path; }));
    log.push_back(std::move(request));
    return earlier;
  }

  Script ScriptFor(const std::string& path) const {
    std::lock_guard guard(lock);
    const auto found = scripts.find(path);
    if (found != scripts.end()) return found->second;
    Script missing;
    missing.status = 404;
    missing.text = "Not Found";
    missing.contentType = "text/plain";
    return missing;
  }

  std::uint64_t Generation() {
    std::lock_guard guard(lock);
    return holdGeneration;
  }

  // Waits for `delay`, or (with no delay given) until ReleaseHolds(); false
  // when the server stops meanwhile. With `since`, a ReleaseHolds() made
  // after that generation was read counts too: a test that saw the bytes
  // before a hold and releases it cannot be too early for the hold.
  bool Hold(std::optional<std::chrono::milliseconds> delay, std::optional<std::uint64_t> since = std::nullopt) {
    std::unique_lock guard(lock);
    const std::uint64_t generation = since.value_or(holdGeneration);
    const auto released = [&] { return stopping || holdGeneration != generation; };
    if (delay)
      holdsChanged.wait_for(guard, *delay, released);
    else
      holdsChanged.wait(guard, released);
    return !stopping;
  }

  void Serve(const httplib::Request& request, httplib::Response& response);
};

void TestServer::Impl::Serve(const httplib::Request& request, httplib::Response& response) {
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  recorded.version = request.version;
  recorded.clientPort = request.remote_port;
  for (const auto& [name, value] : request.headers) recorded.headers.emplace_back(name, value);
  const std::size_t earlier = Record(std::move(recorded));

  // A request through a proxy names the whole address; the server then
  // stands in for the proxy and answers for the path.
  std::string_view path = request.path;
  if (path.starts_with("http://")) {
    const auto slash = path.find('/', 7);
    path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
  }
  Script script = ScriptFor(std::string(path));
  if (script.ranges == RangeMode::ShortPage && request.has_header("Range")) {
    script = Script();
    script.text = "<html>Ranges are not served here.</html>";
    script.contentType = "text/html";
    script.ranges = RangeMode::Ignore;
  }
  // Far apart in the pattern, so that no two answers share their first bytes.
  const std::uint64_t salt = script.changing ? earlier * 1'000'003 : 0;
  const std::uint64_t generation = Generation();
  if (script.holdHead && !Hold(std::nullopt)) return;
  if (script.headDelay.count() > 0 && !Hold(script.headDelay)) return;

  response.status = script.status;
  for (const auto& [name, value] : script.headers) response.set_header(name, value);
  if (!script.location.empty()) response.set_header("Location", script.location);
  if (!script.etag.empty()) response.set_header("ETag", script.etag);
  const bool changed = request.has_header("If-Range") && request.get_header_value("If-Range") != script.etag;

  // Ranges are answered here, not by cpp-httplib, so that a script can also
  // ignore them: clearing the parsed ranges keeps the library out of it.
  const_cast<httplib::Request&>(request).ranges.clear();
  const std::uint64_t total = script.text ? script.text->size() : script.size;
  std::uint64_t first = 0;
  std::uint64_t length = total;
  std::uint64_t last = 0;
  if (script.ranges == RangeMode::Honour && script.status == 200 && request.has_header("Range") && !changed &&
      ParseRange(request.get_header_value("Range"), total, first, last)) {
    response.status = 206;
    response.set_header("Content-Range",
                        "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total));
    length = last - first + 1;
  }

  if (length == 0 && script.framing == Framing::ContentLength) {
    response.set_content("", script.contentType);
    return;
  }

  // One provider for every framing: `offset` counts the bytes of this answer
  // already out.
  struct Progress {
    bool held = false;
  };
  auto progress = std::make_shared<Progress>();
  auto step = [this, script, first, length, progress, generation, salt](std::size_t offset,
                                                                  httplib::DataSink& sink) -> bool {
    if (offset >= script.cutAfter) return false;
    if (offset >= script.holdAfter && !progress->held) {
      progress->held = true;
      if (!Hold(std::nullopt, generation)) return false;
    }
    std::uint64_t piece = std::min<std::uint64_t>(length - offset, kPieceSize);
    if (script.trickleBytes > 0) piece = std::min<std::uint64_t>(piece, script.trickleBytes);
    if (script.cutAfter != kNever) piece = std::min(piece, script.cutAfter - offset);
    if (!progress->held && script.holdAfter != kNever) piece = std::min(piece, script.holdAfter - offset);
    if (script.trickleGap.count() > 0 && !Hold(script.trickleGap)) return false;
    std::string bytes;
    if (script.text)
      bytes = script.text->substr(first + offset, piece);
    else
      bytes = BodyBytes(salt + first + offset, piece);
    return sink.write(bytes.data(), bytes.size());
  };

  switch (script.framing) {
    case Framing::ContentLength:
      response.set_content_provider(length, script.contentType,
                                    [step](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      return step(offset, sink);
                                    });
      break;
    case Framing::Chunked:
    case Framing::UntilClose: {
      const bool chunked = script.framing == Framing::Chunked;
      auto provider = [step, length, chunked](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= length) {
          sink.done();
          // Without a length the body ends when the connection does; left
          // open, cpp-httplib would wait for another request on it first.
          return chunked;
        }
        return step(offset, sink);
      };
      if (chunked)
        response.set_chunked_content_provider(script.contentType, provider);
      else
        response.set_content_provider(script.contentType, provider);
      break;
    }
  }
}

TestServer::TestServer() : m_impl(std::make_unique<Impl>()) {
  Impl& impl = *m_impl;
  // Enough threads for every connection a test holds open at once (kept
  // alive, stalled or trickling); cpp-httplib gives each its own.
  impl.server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  impl.server.set_keep_alive_max_count(1000);
  // Heads and bodies go out in separate writes; without this each answer
  // would wait for the client's delayed acknowledgement.
  impl.server.set_tcp_nodelay(true);
  // Short, so that a stop does not wait long for kept-alive connections.
  impl.server.set_keep_alive_timeout(1);
  impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
    impl.Serve(request, response);
  });
  impl.port = impl.server.bind_to_any_port("127.0.0.1");
  if (impl.port <= 0) throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
  while (!impl.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  impl.raw = std::make_unique<RawResponder>([&impl](const RecordedRequest& request) {
    impl.Record(request);
    const Script script = impl.ScriptFor(PathOf(request.target));
    return RawResponder::Answer{script.raw.value_or(""), script.rawHold, script.rawReset, script.rawKeepAlive,
                                script.rawOverrun};
  });
}

TestServer::~TestServer() {
  {
    std::lock_guard guard(m_impl->lock);
    m_impl->stopping = true;
  }
  m_impl->holdsChanged.notify_all();
  m_impl->raw.reset();
  m_impl->server.stop();
  m_impl->listener.join();
}

void TestServer::Handle(const std::string& path, Script script) {
  std::lock_guard guard(m_impl->lock);
  m_impl->scripts[path] = std::move(script);
}

std::string TestServer::Url(const std::string& pathAndQuery) const {
  int port = m_impl->port;
  {
    std::lock_guard guard(m_impl->lock);
    const auto found = m_impl->scripts.find(PathOf(pathAndQuery));
    if (found != m_impl->scripts.end() && found->second.raw) port = m_impl->raw->port();
  }
  return "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
}

std::vector<RecordedRequest> TestServer::Requests() const {
  std::lock_guard guard(m_impl->lock);
  return m_impl->log;
}

std::size_t TestServer::Connections() const {
  std::lock_guard guard(m_impl->lock);
  std::set<int> ports;
  for (const RecordedRequest& request : m_impl->log) ports.insert(request.clientPort);
  return ports.size();
}

void TestServer::ReleaseHolds() {
  {
    std::lock_guard guard(m_impl->lock);
    ++m_impl->holdGeneration;
  }
  m_impl->holdsChanged.notify_all();
}

int UnusedPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}
