#pragma once

#include <cstdint>
#include <utility>
#include <variant>

namespace http {

// An error number as the system shows it (the WinINet numbers of errors.h).
using ErrorCode = std::uint32_t;

// Wraps an error number so that a Result can be built from it unambiguously.
struct Error {
  ErrorCode code;
};

// A value or an error number. No call of this layer throws: every failure a
// caller may meet comes back as one of these, as the calls it stands in for
// returned an error code.
template <class T>
class Result {
 public:
  Result(T value) : m_state(std::move(value)) {}
  Result(Error error) : m_state(error) {}

  bool ok() const { return m_state.index() == 0; }
  explicit operator bool() const { return ok(); }

  // 0 when there is a value.
  ErrorCode error() const { return ok() ? 0 : std::get<1>(m_state).code; }

  T& value() & { return std::get<0>(m_state); }
  const T& value() const& { return std::get<0>(m_state); }
  T&& value() && { return std::get<0>(std::move(m_state)); }
  T value_or(T fallback) const { return ok() ? std::get<0>(m_state) : std::move(fallback); }

  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, Error> m_state;
};

// Success or an error number, for calls that give nothing back.
template <>
class Result<void> {
 public:
  Result() = default;
  Result(Error error) : m_error(error.code) {}

  bool ok() const { return m_error == 0; }
  explicit operator bool() const { return ok(); }
  ErrorCode error() const { return m_error; }

 private:
  ErrorCode m_error = 0;
};

}  // namespace http
