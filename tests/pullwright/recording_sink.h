#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "contract/interfaces.h"

// A sink that keeps every event it receives, for tests to inspect.
class RecordingSink : public ICallbackItf {
 public:
  struct Event {
    std::uint32_t status;
    std::string text;
    _LinkStructType record;
    std::string href() const { return RecordText(record.szHref).data(); }
    std::string name() const { return RecordText(record.szFileName).data(); }
  };

  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override {
    {
      std::lock_guard lock(m_mutex);
      m_events.push_back({dwStatus, pszStatus ? pszStatus : "", ls});
    }
    m_changed.notify_all();
    return S_OK;
  }

  std::vector<Event> Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

  std::vector<std::uint32_t> Codes() const {
    std::vector<std::uint32_t> codes;
    for (const Event& event : Events()) codes.push_back(event.status);
    return codes;
  }

  // Waits until `done` holds for the events so far; false after `limit`.
  bool WaitFor(const std::function<bool(const std::vector<Event>&)>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return done(m_events); });
  }

  // Counts events with `status` (and, when given, for `href`).
  static std::size_t Count(const std::vector<Event>& events, std::uint32_t status, const std::string& href = {}) {
    std::size_t count = 0;
    for (const Event& event : events)
      if (event.status == status && (href.empty() || event.href() == href)) ++count;
    return count;
  }

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<Event> m_events;
};
