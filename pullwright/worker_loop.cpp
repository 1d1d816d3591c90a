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
      lock.unlock();

      const AttemptResult result = TransferFile(slot);

      lock.lock();
      engine.m_active.erase(&working);
      slot.pCurrent = nullptr;
      const bool cancelled = slot.bCancelled;
      lock.unlock();
      if (cancelled || !result.mayPutBack || !working.EndedShort()) continue;

      // An attempt that ends short without the file growing (a server that
      // sends nothing, or breaks off at the same point every time) would
      // otherwise come back for ever.
      if (result.fileGrew) {
        working.fruitlessAttempts = 0;
      } else if (working.fruitlessAttempts < UINT32_MAX && ++working.fruitlessAttempts > engine.m_dwMaxRetries.load()) {
        const std::string text =
            FormatText(status_text::kErrorOpeningUrlWithHref, result.lastError, working.ls.szHref);
        engine.FireDownloadStatus(STATUS_ERROR, text.c_str(), working.ls);
        continue;
      }
      engine.PutBack(slot, working, true);
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
