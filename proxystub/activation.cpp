#include "proxystub/activation.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>

#include "proxystub/class_registry.h"
#include "proxystub/endpoint.h"
#include "proxystub/proxies.h"

namespace ps {

namespace {

std::mutex g_connectionMutex;
std::weak_ptr<Connection> g_connection;

// Starts `path` detached from this process: its own session, no terminal,
// standard streams on /dev/null, no other descriptor of this process, not a
// child to wait for. False when it could not be executed at all.
bool SpawnDetached(const std::string& path) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::chdir("/");
    // Nothing else of the client's goes along: a descriptor it inherited
    // without close-on-exec (a pipe its own starter waits on to end, say)
    // would otherwise stay open as long as the server runs.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
      for (int fd = 3; fd < 65536; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    ::execv(path.c_str(), argv);
    const int error = errno;
    [[maybe_unused]] const auto wrote = ::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes on a successful exec and carries errno otherwise.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  return got == 0;
}

thread_local std::string t_lastError;

// Connects, starting the registered server when nothing answers.
HRESULT ConnectOrStart(const ActivationOptions& options, int& fd) {
  // A folder that cannot be trusted is refused before anything in it is
  // used, and at once: no server could start there either.
  std::string problem;
  if (!endpoint::PrepareFolder(&problem)) {
    t_lastError = problem;
    return E_ACCESSDENIED;
  }
  fd = endpoint::Connect();
  if (fd >= 0) return S_OK;
  const auto serverPath = class_registry::LocalServerPath();
  if (!serverPath) return REGDB_E_CLASSNOTREG;
  // The start lock is held until the new server accepts, so that clients
  // starting together start one server between them; the others find it
  // when their turn comes. (Should two servers start anyway, the server
  // lock settles it: the second ends at once.)
  endpoint::FileLock startLock(endpoint::StartLockPath(), options.startLockWait);
  fd = endpoint::Connect();
  if (fd >= 0) return S_OK;
  if (!SpawnDetached(*serverPath)) return CO_E_SERVER_EXEC_FAILURE;
  // A server takes some milliseconds to come up, or much longer on a busy
  // machine: the pauses between tries grow, so that waiting costs little.
  constexpr auto kFirstPause = std::chrono::milliseconds(10);
  constexpr auto kLongestPause = std::chrono::milliseconds(200);
  // A server killed a moment ago may still hold the server lock (a dead
  // process's files are let go of after its connections have closed): the
  // one started then ends at once. While nothing answers, another is started
  // now and then; the server lock lets only one of them serve.
  constexpr auto kStartAgainAfter = std::chrono::milliseconds(500);
  auto startAgainAt = std::chrono::steady_clock::now() + kStartAgainAfter;
  const auto deadline = std::chrono::steady_clock::now() + options.startWait;
  for (auto pause = kFirstPause;; pause = std::min(pause * 2, kLongestPause)) {
    fd = endpoint::Connect();
    if (fd >= 0) return S_OK;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    if (now >= startAgainAt) {
      SpawnDetached(*serverPath);
      startAgainAt = now + kStartAgainAfter;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
  }
  t_lastError = "the engine did not start within " + std::to_string(options.startWait.count()) + " ms";
  return CO_E_SERVER_EXEC_FAILURE;
}

// This process's connection, with one proxy count taken for the caller.
HRESULT AcquireConnection(const ActivationOptions& options, std::shared_ptr<Connection>& connection) {
  std::lock_guard lock(g_connectionMutex);
  connection = g_connection.lock();
  if (connection && connection->TryAddProxy()) return S_OK;
  int fd = -1;
  const HRESULT hr = ConnectOrStart(options, fd);
  if (FAILED(hr)) return hr;
  // The engine sends each sink's shared memory status channel along with
  // the call that opens it; every other descriptor is closed.
  connection = Connection::Start(fd, wire::Side::Client, options.connection, [](Connection& started) {
    started.SetFdReceiver([&started](const wire::FrameHeader& frame, int received) {
      if (frame.method == static_cast<std::uint32_t>(wire::Method::OpenStatusChannel))
        started.KeepCallFd(frame, received);
      else
        ::close(received);
    });
  });
  connection->TryAddProxy();
  g_connection = connection;
  return S_OK;
}

}  // namespace

HRESULT CreateDownloadEngine(std::shared_ptr<IDownloadEngine>* ppEngine, const ActivationOptions& options) {
  if (!ppEngine) return E_POINTER;
  ppEngine->reset();
  t_lastError.clear();
  HRESULT hr = S_OK;
  // The server reached may have been ending (killed a moment ago, its socket
  // not closed yet): the connection closes unanswered, and the second try
  // starts another.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::shared_ptr<Connection> connection;
    hr = AcquireConnection(options, connection);
    if (FAILED(hr)) return hr;
    // Stands for the caller's proxy count until the engine's proxy has one.
    RemoteReference factory(connection, wire::kFactoryObjectId);
    hr = CreateEngineOver(connection, ppEngine);
    if (hr != RPC_E_DISCONNECTED || connection->IsOpen()) break;
  }
  return hr;
}

HRESULT CreateEngineOver(const std::shared_ptr<Connection>& connection, std::shared_ptr<IDownloadEngine>* ppEngine) {
  if (!ppEngine) return E_POINTER;
  ppEngine->reset();
  OutgoingCall call(*connection, wire::kFactoryObjectId, wire::Method::CreateInstance);
  call.args().GuidField(IID_IDownloadEngine);
  const HRESULT hr = call.Invoke();
  std::uint32_t id = 0;
  if (FAILED(hr)) return hr;
  if (!call.outs().Object(id)) return E_UNEXPECTED;
  *ppEngine = MakeProxy<CDownloadEngineProxy>(connection, id);
  return *ppEngine ? S_OK : RPC_E_DISCONNECTED;
}

std::string LastActivationError() { return t_lastError; }

void CloseClientConnection() {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(g_connectionMutex);
    connection = g_connection.lock();
    g_connection.reset();
  }
  if (!connection) return;
  connection->Close();
  connection->JoinThreads();
}

}  // namespace ps
