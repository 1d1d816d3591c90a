#include "pullwright/download_queue.h"

#include <cstring>

namespace {

bool SameHref(const _LinkStructType& record, const char* href) {
  return std::strncmp(record.szHref, href, kMaxTextBytes) == 0;
}

}  // namespace

DownloadQueue::DownloadQueue(std::uint32_t workers, std::string directory)
    : m_slots(workers), m_szDLDir(std::move(directory)) {}

void DownloadQueue::Append(QueuedRecord record) {
  std::lock_guard lock(m_csQueue);
  m_pending.push_back(std::move(record));
}

// A record waiting to be retried is passed over until its time, so the
// queue keeps its order and nothing behind it is held up.
bool DownloadQueue::TakeDue(std::uint32_t index, QueuedRecord& working, Clock::time_point& next) {
  const Clock::time_point now = Clock::now();
  next = Clock::time_point::max();
  std::lock_guard lock(m_csQueue);
  for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
    if (it->notBefore > now) {
      next = std::min(next, it->notBefore);
      continue;
    }
    working = std::move(*it);
    m_pending.erase(it);
    m_active.insert(&working);
    Slot& slot = m_slots[index];
    slot.pCurrent = &working;
    slot.bCancelled = false;
    slot.cause = Cause::None;
    return true;
  }
  return false;
}

// A record put back moves from the active set to the queue in one step, so
// that no enumeration ever misses it in between.
bool DownloadQueue::Release(std::uint32_t index, QueuedRecord& working, bool putBack) {
  std::lock_guard lock(m_csQueue);
  Slot& slot = m_slots[index];
  m_active.erase(&working);
  slot.pCurrent = nullptr;
  if (!putBack || slot.bCancelled) return false;
  m_pending.push_back(std::move(working));
  return true;
}

bool DownloadQueue::PutBack(std::uint32_t index, const QueuedRecord& record) {
  std::lock_guard lock(m_csQueue);
  if (m_slots[index].bCancelled) return false;
  m_pending.push_back(record);
  return true;
}

void DownloadQueue::CancelSlot(Slot& slot, Cause cause) {
  if (slot.hInternet) {
    slot.hInternet->Close();
    slot.hInternet.reset();
  }
  // Marked even before the worker opened its session, so that the transfer
  // neither starts nor comes back. A file cancelled just before a stop
  // keeps saying so.
  if (slot.pCurrent && !slot.bCancelled) {
    slot.bCancelled = true;
    slot.cause = cause;
  }
}

std::optional<_LinkStructType> DownloadQueue::Cancel(const char* href) {
  std::lock_guard lock(m_csQueue);
  for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
    if (!SameHref(it->ls, href)) continue;
    const _LinkStructType removed = it->ls;
    m_pending.erase(it);
    return removed;
  }
  std::optional<_LinkStructType> first;
  for (Slot& slot : m_slots) {
    if (!slot.pCurrent || !SameHref(slot.pCurrent->ls, href)) continue;
    if (!first) first = slot.pCurrent->ls;
    m_active.erase(slot.pCurrent);
    CancelSlot(slot, Cause::Canceled);
  }
  return first;
}

void DownloadQueue::StopAll() {
  std::lock_guard lock(m_csQueue);
  for (Slot& slot : m_slots) CancelSlot(slot, Cause::Stopped);
  m_pending.clear();
}

std::shared_ptr<http::Session> DownloadQueue::StoreSession(std::uint32_t index,
                                                           std::shared_ptr<http::Session> session) {
  std::lock_guard lock(m_csQueue);
  Slot& slot = m_slots[index];
  // A cancel that came before the session was stored found nothing to
  // close; its mark stops the transfer here instead.
  if (slot.bCancelled) return nullptr;
  if (!slot.hInternet) slot.hInternet = std::move(session);
  return slot.hInternet;
}

void DownloadQueue::CloseSession(std::uint32_t index) {
  std::lock_guard lock(m_csQueue);
  Slot& slot = m_slots[index];
  if (slot.hInternet) {
    slot.hInternet->Close();
    slot.hInternet.reset();
  }
}

DownloadQueue::Cause DownloadQueue::CancelCause(std::uint32_t index) {
  std::lock_guard lock(m_csQueue);
  const Slot& slot = m_slots[index];
  return slot.bCancelled ? slot.cause : Cause::None;
}

std::vector<_LinkStructType> DownloadQueue::Snapshot(Listing listing) {
  std::vector<_LinkStructType> records;
  std::lock_guard lock(m_csQueue);
  records.reserve(m_active.size() + m_pending.size());
  if (listing != Listing::Pending)
    for (const QueuedRecord* active : m_active) records.push_back(active->ls);
  if (listing != Listing::Active)
    for (const QueuedRecord& pending : m_pending) records.push_back(pending.ls);
  return records;
}

std::string DownloadQueue::Directory() {
  std::lock_guard lock(m_csQueue);
  return m_szDLDir;
}

void DownloadQueue::SetDirectory(std::string directory) {
  std::lock_guard lock(m_csQueue);
  m_szDLDir = std::move(directory);
}
