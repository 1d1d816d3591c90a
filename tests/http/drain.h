#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "http/request.h"
#include "tests/support/body_pattern.h"

// What reading a body to its end (or to its first error) gave.
struct Drained {
  std::uint64_t total = 0;
  std::size_t largestRead = 0;
  bool matchesPattern = true;  // every byte equalled BodyByte(its offset + `from`)
  http::ErrorCode error = 0;   // 0 when the body ended with a read of 0
  std::string text;            // the bytes, when asked to keep them
};

enum class Keep { Bytes, Nothing };

inline Drained Drain(http::Request& request, std::size_t chunk, Keep keep = Keep::Nothing, std::uint64_t from = 0) {
  Drained drained;
  std::vector<char> buffer(chunk);
  for (;;) {
    const auto got = request.Read(buffer.data(), chunk);
    if (!got) {
      drained.error = got.error();
      return drained;
    }
    if (*got == 0) return drained;
    drained.largestRead = std::max(drained.largestRead, *got);
    for (std::size_t i = 0; i < *got && drained.matchesPattern; ++i)
      drained.matchesPattern = buffer[i] == BodyByte(from + drained.total + i);
    if (keep == Keep::Bytes) drained.text.append(buffer.data(), *got);
    drained.total += *got;
  }
}
