#include <mutex>

#include "contract/status.h"
#include "pullwright/download_engine.h"
#include "pullwright/transfer_file.h"
#include "pullwright/worker_slot.h"

namespace {

using Clock = std::chrono::steady_clock;

// The first record in queue order that may be taken now; a record waiting
// to be retried is passed over until its time, so the queue keeps its order
// and nothing behind it is held up. `next` gets the earliest time a passed
// record falls due.
std::list<QueuedRecord>::iterator FirstDue(std::list<QueuedRecord>& pending, Clock::time_point& next) {
  const Clock::time_point now = Clock::now();
  next = Clock::time_point::max();
  for (auto it = pending.begin(); it != pending.end(); ++it) {
    if (it->notBefore <= now) return it;
    next = std::min(next, it->notBefore);
  }
  return pending.end();
}

}  // namespace

void WorkerLoop(WorkerSlot& slot) {
  CDownloadEngine& engine = *slot.pEngine;
  for (;;) {
    std::unique_lock lock(engine.m_csQueue);
    Clock::time_point next;
    const auto due = FirstDue(engine.m_pending, next);
    if (due != engine.m_pending.end() && !engine.m_signal.Stopped()) {
      QueuedRecord working = std::move(*due);
      engine.m_pending.erase(due);
      engine.m_active.insert(&working);
      slot.pCurrent = &working;
      slot.bCancelled = false;
      slot.cancelCause = WorkerSlot::Cause::None;
      lock.unlock();

      const AttemptOutcome outcome = TransferFile(slot);

      // A record put back moves from the active set to the queue in one
      // step, so that no enumeration ever misses it in between.
      lock.lock();
      engine.m_active.erase(&working);
      slot.pCurrent = nullptr;
      const bool putBack = outcome == AttemptOutcome::PutBack && !slot.bCancelled;
      const _LinkStructType reported = working.ls;
      if (putBack) engine.m_pending.push_back(std::move(working));
      lock.unlock();
      if (putBack) {
        engine.FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, reported);
        engine.m_signal.SetWork();
      }
      continue;
    }
    lock.unlock();
    const auto woken = next == Clock::time_point::max() ? engine.m_signal.Wait() : engine.m_signal.WaitUntil(next);
    if (woken == WorkSignal::Woken::Stop) {
      lock.lock();
      if (slot.hInternet) {
        slot.hInternet->Close();
        slot.hInternet.reset();
      }
      return;
    }
  }
}
