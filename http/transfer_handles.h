#pragma once

#include <curl/curl.h>

#include "http/body_buffer.h"

namespace http {

struct SessionOptions;

// What one request needs to run: its own multi handle (so that its calls can
// poll and be woken on their own), one easy handle on it, and the bounded
// store for body data that arrived ahead of the reader. The multi handle
// holds the connection cache, so the pair goes back to its session's pool
// when the request ends and the next request reuses the connection.
struct TransferHandles {
  explicit TransferHandles(const SessionOptions& options);
  ~TransferHandles();
  TransferHandles(const TransferHandles&) = delete;
  TransferHandles& operator=(const TransferHandles&) = delete;

  bool valid() const { return multi && easy; }

  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  BodyBuffer overflow;
};

// libcurl's receive buffer: large, so that a fast transfer costs few system
// calls per megabyte.
inline constexpr long kReceiveBufferSize = 512 * 1024;
// The store ahead of the reader; a multiple of the receive buffer keeps
// pauses rare.
inline constexpr std::size_t kOverflowCapacity = 2 * 1024 * 1024;
// libcurl never hands the write callback more than CURL_MAX_WRITE_SIZE at a
// time, so an empty store always takes a piece whole and a transfer paused
// for want of room always moves again once the reader has drained it.
static_assert(kOverflowCapacity >= CURL_MAX_WRITE_SIZE);

}  // namespace http
