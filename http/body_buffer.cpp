#include "http/body_buffer.h"

#include <algorithm>
#include <cstring>

namespace http {

BodyBuffer::BodyBuffer(std::size_t capacity)
    // Left uninitialised on purpose: the pages are only touched once body
    // data lands in them, so an idle request costs no memory.
    : m_data(new char[capacity]), m_capacity(capacity) {}

void BodyBuffer::Append(const char* data, std::size_t length) {
  if (length == 0) return;
  if (m_capacity - m_end < length) {
    // Only reached when appending to a partly drained buffer; reads drain it
    // completely before more data is fetched, so this move is rare.
    std::memmove(m_data.get(), m_data.get() + m_begin, size());
    m_end -= m_begin;
    m_begin = 0;
  }
  std::memcpy(m_data.get() + m_end, data, length);
  m_end += length;
}

std::size_t BodyBuffer::Take(char* out, std::size_t max) {
  const std::size_t count = std::min(max, size());
  std::memcpy(out, m_data.get() + m_begin, count);
  m_begin += count;
  if (m_begin == m_end) m_begin = m_end = 0;
  return count;
}

}  // namespace http
