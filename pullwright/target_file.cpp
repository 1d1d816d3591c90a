#include "pullwright/target_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <utility>

#include "contract/unique_path.h"

namespace {

// Takes the lock without waiting: a file another transfer holds is not ours.
bool Lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool IsEmptyRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}

}  // namespace

TargetFile::~TargetFile() {
  if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
}

TargetFile::TargetFile(TargetFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_error(other.m_error) {}

TargetFile& TargetFile::operator=(TargetFile&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
    m_error = other.m_error;
  }
  return *this;
}

TargetFile TargetFile::OpenExisting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  TargetFile file;
  if (fd < 0) {
    file.m_error = errno;
    return file;
  }
  if (!Lock(fd)) {
    ::close(fd);
    file.m_error = EWOULDBLOCK;
    return file;
  }
  file.m_fd = fd;
  return file;
}

TargetFile TargetFile::CreateExclusive(std::string& path) {
  std::set<std::string> tried;
  const auto taken = [&](const std::string& candidate) {
    return tried.count(candidate) > 0 || NonEmptyFileExists(candidate);
  };
  TargetFile file;
  for (int attempt = 0; attempt < 10000; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      if (Lock(fd)) return TargetFile(fd);
      ::close(fd);  // created, but another transfer reusing it got there first
    } else if (errno == EEXIST) {
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        if (IsEmptyRegularFile(fd) && Lock(fd) && IsEmptyRegularFile(fd)) return TargetFile(fd);
        ::close(fd);
      }
    } else {
      file.m_error = errno;
      return file;
    }
    tried.insert(path);
    path = MakeUniquePath(path, taken);
  }
  file.m_error = EEXIST;
  return file;
}

std::size_t TargetFile::ReadAt(char* out, std::size_t length, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(m_fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::uint64_t TargetFile::Size() const {
  struct stat info {};
  return ::fstat(m_fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

bool TargetFile::Unlinked() const {
  struct stat info {};
  return ::fstat(m_fd, &info) == 0 && info.st_nlink == 0;
}

namespace {
constexpr char kValidatorAttribute[] = "user.pullwright.validator";
// Longer validators are not worth keeping (and a stranger's file may
// carry anything in the attribute).
constexpr std::size_t kLongestValidator = 1024;
}  // namespace

std::string TargetFile::Validator() const {
  char value[kLongestValidator];
  const ssize_t length = ::fgetxattr(m_fd, kValidatorAttribute, value, sizeof value);
  if (length <= 0) return {};
  std::string validator(value, static_cast<std::size_t>(length));
  // Sent back in a header: anything that could end or split it is refused.
  for (char c : validator)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
  return validator;
}

void TargetFile::SetValidator(const std::string& validator) {
  if (validator.empty() || validator.size() > kLongestValidator) {
    ClearValidator();
    return;
  }
  ::fsetxattr(m_fd, kValidatorAttribute, validator.data(), validator.size(), 0);
}

void TargetFile::ClearValidator() { ::fremovexattr(m_fd, kValidatorAttribute); }

// An empty file (every new one) is left alone: the file system takes
// truncating a file as the start of a rewrite and, to keep a crash from
// losing it, writes all of it out when the file is closed, which held a
// finished 1 GiB download's ending back by half a second.
bool TargetFile::Truncate() {
  struct stat info {};
  const bool empty = ::fstat(m_fd, &info) == 0 && info.st_size == 0;
  return (empty || ::ftruncate(m_fd, 0) == 0) && SeekTo(0);
}

bool TargetFile::SeekTo(std::uint64_t offset) {
  return ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int TargetFile::Append(const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(m_fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return 0;
}
