#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "contract/link_record.h"
#include "http/session.h"
#include "pullwright/queued_record.h"

// The engine's queue: the records waiting (m_pending, in queue order), the
// records in transfer (m_active, each a worker's own working copy), each
// worker's session, current record and cancel mark, and the download
// folder. One lock guards all of it, and only this class takes it: it is
// never held across a network call, a file operation or a status report,
// because no call that could make one runs inside.
class DownloadQueue {
 public:
  using Clock = std::chrono::steady_clock;
  // Why a worker's transfer was marked cancelled.
  enum class Cause { None, Canceled, Stopped };
  enum class Listing { All, Pending, Active };

  DownloadQueue(std::uint32_t workers, std::string directory);

  void Append(QueuedRecord record);
  // Moves the first record that is due (in queue order) into `working`,
  // which becomes worker `index`'s current record. False when none is due;
  // `next` then says when the first waiting one falls due (max: none).
  bool TakeDue(std::uint32_t index, QueuedRecord& working, Clock::time_point& next);
  // The worker is done with `working`. Put back at the end of the queue
  // when asked and not cancelled meanwhile; then true.
  bool Release(std::uint32_t index, QueuedRecord& working, bool putBack);
  // A copy of the worker's record goes to the back of the queue, unless its
  // transfer was cancelled.
  bool PutBack(std::uint32_t index, const QueuedRecord& record);

  // Removes the first waiting record with this address; only when none
  // waits, cancels every transfer of it. The record to report, if any.
  std::optional<_LinkStructType> Cancel(const char* href);
  // Cancels every transfer and drops every waiting record.
  void StopAll();
  // The worker's session, opened by `open` when it has none; null when the
  // worker's transfer was cancelled before the session could be stored.
  template <class Open>
  std::shared_ptr<http::Session> SessionFor(std::uint32_t index, Open open);
  // Closes and drops the worker's session (the worker ends).
  void CloseSession(std::uint32_t index);
  Cause CancelCause(std::uint32_t index);

  // Changes a working copy that enumerations may be reading.
  template <class Change>
  void Update(Change change) {
    std::lock_guard lock(m_csQueue);
    change();
  }

  std::vector<_LinkStructType> Snapshot(Listing listing);
  std::string Directory();
  void SetDirectory(std::string directory);

 private:
  // One per worker. The transfer is aborted only by closing hInternet from
  // another thread: the worker's blocked network call then fails.
  struct Slot {
    std::shared_ptr<http::Session> hInternet;
    QueuedRecord* pCurrent = nullptr;
    bool bCancelled = false;
    Cause cause = Cause::None;
  };
  void CancelSlot(Slot& slot, Cause cause);
  std::shared_ptr<http::Session> StoreSession(std::uint32_t index, std::shared_ptr<http::Session> session);

  std::mutex m_csQueue;
  std::list<QueuedRecord> m_pending;
  std::set<QueuedRecord*> m_active;
  std::vector<Slot> m_slots;
  std::string m_szDLDir;
};

template <class Open>
std::shared_ptr<http::Session> DownloadQueue::SessionFor(std::uint32_t index, Open open) {
  {
    std::lock_guard lock(m_csQueue);
    if (m_slots[index].hInternet) return m_slots[index].hInternet;
  }
  // Opened outside the lock; a cancel meanwhile is seen as it is stored.
  return StoreSession(index, open());
}
