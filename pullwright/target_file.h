#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The file a transfer writes, held open with an exclusive lock for the whole
// attempt, so that two records for one name can never write one file
// together: whoever does not get the lock takes another name.
class TargetFile {
 public:
  TargetFile() = default;
  ~TargetFile();
  TargetFile(TargetFile&& other) noexcept;
  TargetFile& operator=(TargetFile&& other) noexcept;
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Opens an existing partial file for reading and writing; invalid (with
  // the reason in error()) when it cannot be opened or another transfer
  // holds it.
  static TargetFile OpenExisting(const std::string& path);
  // Creates a new file at `path`, or at the next free numbered name when
  // that one is taken (an empty file nobody holds is reused); `path` is
  // updated to the name actually used. Invalid, with the reason, on failure.
  static TargetFile CreateExclusive(std::string& path);

  bool valid() const { return m_fd >= 0; }
  int error() const { return m_error; }

  // Reads up to `length` bytes from `offset` on.
  std::size_t ReadAt(char* out, std::size_t length, std::uint64_t offset);
  std::uint64_t Size() const;
  // The file no longer has a name: it, or its folder, was removed while it
  // was open. Writes to it still succeed, and go nowhere.
  bool Unlinked() const;
  // Empties the file and writes from its start again.
  bool Truncate();
  // Writes at the end of what was written so far; 0 or the errno.
  int Append(const char* data, std::size_t length);
  // Sets where the next Append writes.
  bool SeekTo(std::uint64_t offset);

  // The validator (a strong ETag or a Last-Modified date) of the answer
  // that wrote the file, kept with the file as an extended attribute while
  // it is partial. A file system without them keeps none, and a resume
  // then relies on comparing bytes alone.
  std::string Validator() const;
  void SetValidator(const std::string& validator);
  void ClearValidator();

 private:
  explicit TargetFile(int fd) : m_fd(fd) {}
  int m_fd = -1;
  int m_error = 0;
};
