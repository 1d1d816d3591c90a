#include "contract/status.h"
#include "pullwright/engine_core.h"
#include "pullwright/transfer_file.h"
#include "pullwright/worker_slot.h"

bool EngineCore::PutBack(std::uint32_t index, const QueuedRecord& record, bool wakeWorker) {
  if (!m_queue.PutBack(index, record)) return false;
  FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, record.ls);
  if (wakeWorker) m_signal.SetWork();
  return true;
}

void WorkerLoop(WorkerSlot& slot) {
  EngineCore& engine = *slot.pEngine;
  for (;;) {
    QueuedRecord working;
    DownloadQueue::Clock::time_point next;
    if (!engine.m_signal.Stopped() && engine.m_queue.TakeDue(slot.nIndex, working, next)) {
      const AttemptOutcome outcome = TransferFile(slot, working);
      const _LinkStructType reported = working.ls;
      if (engine.m_queue.Release(slot.nIndex, working, outcome == AttemptOutcome::PutBack)) {
        engine.FireDownloadStatus(STATUS_QUEUED, status_text::kQueued, reported);
        engine.m_signal.SetWork();
      }
      continue;
    }
    const auto woken = next == DownloadQueue::Clock::time_point::max() ? engine.m_signal.Wait()
                                                                       : engine.m_signal.WaitUntil(next);
    if (woken == WorkSignal::Woken::Stop) {
      engine.m_queue.CloseSession(slot.nIndex);
      return;
    }
  }
}
