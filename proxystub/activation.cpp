#include "proxystub/activation.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "proxystub/class_registry.h"
#include "proxystub/endpoint.h"
#include "proxystub/proxies.h"

namespace ps {

namespace {

std::mutex g_connectionMutex;
std::weak_ptr<Connection> g_connection;

// Starts `path` detached from this process: its own session, no terminal,
// standard streams on /dev/null, not a child to wait for. False when it
// could not be executed at all.
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

// Connects, starting the registered server when nothing answers.
HRESULT ConnectOrStart(const ActivationOptions& options, int& fd) {
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
  const auto deadline = std::chrono::steady_clock::now() + options.startWait;
  while (std::chrono::steady_clock::now() < deadline) {
    fd = endpoint::Connect();
    if (fd >= 0) return S_OK;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
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
  connection = Connection::Start(fd, wire::Side::Client, options.connection);
  connection->TryAddProxy();
  g_connection = connection;
  return S_OK;
}

}  // namespace

HRESULT CreateDownloadEngine(std::shared_ptr<IDownloadEngine>* ppEngine, const ActivationOptions& options) {
  if (!ppEngine) return E_POINTER;
  ppEngine->reset();
  std::shared_ptr<Connection> connection;
  const HRESULT hr = AcquireConnection(options, connection);
  if (FAILED(hr)) return hr;
  // Stands for the caller's proxy count until the engine's proxy has one.
  RemoteReference factory(connection, wire::kFactoryObjectId);
  return CreateEngineOver(connection, ppEngine);
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
