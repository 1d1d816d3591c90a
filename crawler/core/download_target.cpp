#include "crawler/core/download_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "contract/unique_path.h"

namespace {

// How many taken names in a row are skipped before giving up: only a
// folder under attack by another program would get anywhere near it.
constexpr int kMostClashes = 1000;

}  // namespace

std::optional<DownloadTarget> DownloadTarget::Create(std::string& path, std::string& reason) {
  path = MakeUniquePath(path, AnyEntryExists);
  for (int attempt = 0; attempt < kMostClashes; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return DownloadTarget(fd, path);
    if (errno != EEXIST) {
      reason = std::strerror(errno);
      return std::nullopt;
    }
    path = MakeUniquePath(path, AnyEntryExists);
  }
  reason = std::strerror(EEXIST);
  return std::nullopt;
}

DownloadTarget::DownloadTarget(DownloadTarget&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
  other.m_fd = -1;
}

DownloadTarget::~DownloadTarget() {
  if (m_fd >= 0) ::close(m_fd);
}

bool DownloadTarget::Write(const char* data, std::size_t size, std::string& reason) {
  while (size > 0) {
    const ssize_t written = ::write(m_fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool DownloadTarget::Close(std::string& reason) {
  const int fd = m_fd;
  m_fd = -1;
  if (fd >= 0 && ::close(fd) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}
