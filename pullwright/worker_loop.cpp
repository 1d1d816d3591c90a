#include <mutex>

#include "contract/status.h"
#include "pullwright/download_engine.h"
#include "pullwright/transfer_file.h"
#include "pullwright/worker_slot.h"

void WorkerLoop(WorkerSlot& slot) {
  CDownloadEngine& engine = *slot.pEngine;
  for (;;) {
    std::unique_lock lock(engine.m_csQueue);
    if (!engine.m_pending.empty() && !engine.m_signal.Stopped()) {
      QueuedRecord working = std::move(engine.m_pending.front());
      engine.m_pending.pop_front();
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
    if (engine.m_signal.Wait() == WorkSignal::Woken::Stop) {
      lock.lock();
      if (slot.hInternet) {
        slot.hInternet->Close();
        slot.hInternet.reset();
      }
      return;
    }
  }
}
