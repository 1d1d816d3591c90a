#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "contract/link_record.h"

// A record as the engine keeps it. The record's 32-bit counters are what
// clients see (saturated at 0xFFFFFFFF, since its layout is fixed); every
// decision uses the true 64-bit sizes kept beside them.
struct QueuedRecord {
  _LinkStructType ls{};
  std::uint64_t fileSize = 0;     // 0 while no response announced a size
  std::uint64_t currentSize = 0;  // bytes in the target file so far
  // The file this record has written into, so that a later attempt that
  // cannot resume it starts it over instead of taking yet another name.
  std::string ownPath;
  // The furthest its file ever got, and the attempts in a row that ended
  // short without getting further: those are bounded by the retry limit.
  std::uint64_t furthestSize = 0;
  std::uint32_t fruitlessAttempts = 0;
  // A record put back to be retried after a wait is not taken before this.
  std::chrono::steady_clock::time_point notBefore{};

  static std::uint32_t Saturated(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
  }
  void SetFileSize(std::uint64_t size) {
    fileSize = size;
    ls.dwFileSize = Saturated(size);
  }
  void SetCurrentSize(std::uint64_t size) {
    currentSize = size;
    ls.dwCurrentSize = Saturated(size);
  }
  bool EndedShort() const { return fileSize > currentSize; }
};
