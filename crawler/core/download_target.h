#pragma once

#include <cstddef>
#include <optional>
#include <string>

// A file the crawler's own downloader writes into. It is always a new file:
// created exclusively, so a name that another program takes between the
// test for a free name and the creation moves on to the next free name,
// and nothing that exists is ever written over.
class DownloadTarget {
 public:
  // Creates `path`, or when it is taken the next free numbered name
  // (MakeUniquePath with the crawler's rule). On failure gives nothing and
  // sets `reason` to the system's reason; `path` then names what failed.
  static std::optional<DownloadTarget> Create(std::string& path, std::string& reason);

  DownloadTarget(DownloadTarget&& other) noexcept;
  DownloadTarget& operator=(DownloadTarget&&) = delete;
  DownloadTarget(const DownloadTarget&) = delete;
  ~DownloadTarget();

  // Writes all of `data`; false with the system's reason when it cannot
  // (a full disk, say).
  bool Write(const char* data, std::size_t size, std::string& reason);
  // Closes the file; false with the reason when that loses data.
  bool Close(std::string& reason);

  const std::string& path() const { return m_path; }

 private:
  DownloadTarget(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  int m_fd;
  std::string m_path;
};
