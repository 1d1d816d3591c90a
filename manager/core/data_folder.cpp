#include "manager/core/data_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return home;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "/";
}

std::string Reason(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

// Creates every missing folder above `folder`, closed to others, as a fresh
// data home should be.
void MakeParents(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Moves `from` to `to` unless `to` exists. Falls back to a check before the
// rename on file systems that cannot refuse to replace.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string DataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string base = data && *data == '/' ? std::string(data) : HomeFolder() + "/.local/share";
  return (base.ends_with('/') ? base : base + "/") + "fetchwick";
}

bool PrepareDataFolder(std::string* problem) {
  const std::string folder = DataFolder();
  const auto refuse = [&](const std::string& why) {
    if (problem) *problem = "The data folder " + folder + " " + why + ".";
    return false;
  };
  MakeParents(folder);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(Reason("cannot be created", errno));
  // Checked and changed through one descriptor opened without following a
  // link, so that nothing can be swapped in between.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR) return refuse("is a link or not a folder; remove it");
    return refuse(Reason("cannot be opened", errno));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid()) {
    ::close(fd);
    return refuse("belongs to another user; remove it");
  }
  if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
    const int error = errno;
    ::close(fd);
    return refuse(Reason("is open to other users and cannot be closed", error));
  }
  ::close(fd);
  return true;
}

bool WriteDataFile(const std::string& path, const std::string& bytes, std::string* error) {
  const auto fail = [&](const char* what, int code, const std::string& temp) {
    if (error) *error = "Cannot write " + path + ": " + Reason(what, code);
    if (!temp.empty()) ::unlink(temp.c_str());
    return false;
  };
  // The new file is made private (mkstemp gives 0600) and sits beside the
  // old one, so that the rename is atomic.
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail("cannot create a new file", errno, "");
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    const int code = errno;
    ::close(fd);
    return fail("cannot write the new file", code, temp);
  }
  if (::close(fd) != 0) return fail("cannot write the new file", errno, temp);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("cannot replace the old file", errno, temp);
  // The rename itself lasts only once the folder is on the disk too.
  const std::string folder = ParentFolder(path);
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

DataRead ReadDataFile(const std::string& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  // Not blocking, so that a pipe put in place of the file cannot hang us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? DataRead::Missing : DataRead::Unusable;
  struct stat info {};
  const bool fits = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
                    static_cast<std::uint64_t>(info.st_size) <= limit;
  if (!fits) {
    ::close(fd);
    return DataRead::Unusable;
  }
  // One byte more than the file holds is asked for, to see that it did not
  // grow since (our own files never do: they are replaced whole).
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      bytes.clear();
      return DataRead::Unusable;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (done == bytes.size()) {
    bytes.clear();
    return DataRead::Unusable;
  }
  bytes.resize(done);
  return DataRead::Ok;
}

std::string SetAside(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".damaged-" + stamp;
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    const std::string candidate = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    if (MoveWithoutReplacing(path, candidate)) return candidate;
    if (errno != EEXIST) return "";
  }
  return "";
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}
