#pragma once

#include <cstddef>
#include <memory>

namespace http {

// A bounded first-in first-out byte store for the part of the response body
// that libcurl delivered beyond what the current read asked for. Its capacity
// is fixed at construction, so a slow reader holds at most that much: when it
// is full the transfer is paused instead of growing it.
class BodyBuffer {
 public:
  explicit BodyBuffer(std::size_t capacity);

  std::size_t size() const { return m_end - m_begin; }
  bool empty() const { return m_begin == m_end; }
  std::size_t free() const { return m_capacity - size(); }

  // Appends `length` bytes; the caller has checked that free() allows it.
  void Append(const char* data, std::size_t length);
  // Moves up to `max` bytes to `out` and returns how many.
  std::size_t Take(char* out, std::size_t max);
  void Clear() { m_begin = m_end = 0; }

 private:
  std::unique_ptr<char[]> m_data;
  std::size_t m_capacity;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
};

}  // namespace http
