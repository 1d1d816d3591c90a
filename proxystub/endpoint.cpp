#include "proxystub/endpoint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ps::endpoint {

std::string Folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info{};
  if (runtime && *runtime == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
    return std::string(runtime) + "/pullwright";
  return "/tmp/pullwright-" + std::to_string(::getuid());
}

std::string SocketPath() { return Folder() + "/engine.sock"; }
std::string ServerLockPath() { return Folder() + "/server.lock"; }
std::string StartLockPath() { return Folder() + "/start.lock"; }

bool PrepareFolder() {
  const std::string folder = Folder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info{};
  // lstat: a symbolic link planted in /tmp by someone else is refused.
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if (info.st_uid != ::getuid()) return false;
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
  return true;
}

bool PeerIsSameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

int Connect() {
  if (!PrepareFolder()) return -1;
  const std::string path = SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // The server listens on a message socket (see ServerEndpoint::Listen).
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !PeerIsSameUser(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
  m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) return;
  // Polled rather than blocking, so that a holder that hangs cannot hold
  // anyone else for ever.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      Release();
      return;
    }
    ::usleep(5000);
  }
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

}  // namespace ps::endpoint
