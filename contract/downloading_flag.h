#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "contract/hresult.h"

// Whether the engine is transferring anything, as a client last learned
// it. Status events reach a client on several connection threads at once,
// and each asks the engine again; if the answers were stored as they came
// back, an answer given before the last transfer ended could land after
// the one given after it, and the flag would say "downloading" for good.
// Asking and storing under one lock keeps the stored answer the latest.
class DownloadingFlag {
 public:
  // Asks through `isDownloading` (an HRESULT(std::int32_t*) call such as
  // the engine's IsDownloading); a failed call keeps the last answer.
  template <class Ask>
  void Refresh(Ask&& isDownloading) {
    std::lock_guard lock(m_asking);
    std::int32_t downloading = 0;
    if (SUCCEEDED(isDownloading(&downloading))) m_value.store(downloading != 0);
  }

  // For a client that transfers by itself, without an engine to ask.
  void Set(bool downloading) { m_value.store(downloading); }
  bool get() const { return m_value.load(); }

 private:
  std::mutex m_asking;
  std::atomic<bool> m_value{false};
};
