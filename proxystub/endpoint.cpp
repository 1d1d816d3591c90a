#include "proxystub/endpoint.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

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

namespace {

// Removes what this user did not put into its own folder: links, and
// entries of other users.
void RemovePlanted(int folderFd) {
  const int listFd = ::dup(folderFd);
  DIR* listing = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
  if (!listing) {
    if (listFd >= 0) ::close(listFd);
    return;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISLNK(info.st_mode) && info.st_uid == ::getuid()) continue;
    ::unlinkat(folderFd, entry->d_name, S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0);
  }
  ::closedir(listing);
}

}  // namespace

bool PrepareFolder(std::string* problem) {
  const std::string folder = Folder();
  const auto refuse = [&](const std::string& why) {
    if (problem) *problem = "the engine's folder " + folder + " " + why;
    return false;
  };
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return refuse(std::string("cannot be created: ") + std::strerror(errno));
  // Opened without following a link, and checked and changed through the
  // descriptor, so that nothing can be swapped in between.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR) return refuse("is a link or not a folder; remove it");
    return refuse(std::string("cannot be opened: ") + std::strerror(errno));
  }
  struct stat info {};
  const bool checked = ::fstat(fd, &info) == 0;
  if (!checked || info.st_uid != ::getuid()) {
    ::close(fd);
    return refuse("belongs to another user; remove it");
  }
  if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
    const int error = errno;
    ::close(fd);
    return refuse(std::string("is open to other users and cannot be closed: ") + std::strerror(error));
  }
  RemovePlanted(fd);
  ::close(fd);
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
  // A server whose backlog is full (it stopped accepting, or cannot keep
  // up) must not hold a client in connect for ever.
  const timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !PeerIsSameUser(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
  m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (m_fd < 0) return;
  struct stat info {};
  if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
    Release();
    return;
  }
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
