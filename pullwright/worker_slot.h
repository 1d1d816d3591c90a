#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "http/session.h"
#include "pullwright/queued_record.h"

class CDownloadEngine;

// One worker thread of the pool. hInternet, pCurrent and bCancelled are
// guarded by the engine's m_csQueue.
struct WorkerSlot {
  std::thread hThread;
  // The worker's session, opened by its first transfer and kept for later
  // ones; closed and dropped by cancellation and stopping, which ends the
  // network call the worker is blocked in.
  std::shared_ptr<http::Session> hInternet;
  std::uint32_t nIndex = 0;
  CDownloadEngine* pEngine = nullptr;
  QueuedRecord* pCurrent = nullptr;  // the worker's working copy, null while idle
  bool bCancelled = false;
  // Why bCancelled was set, so that the attempt's last report says so.
  enum class Cause { None, Canceled, Stopped } cancelCause = Cause::None;
};

// The loop each worker thread runs until the engine stops.
void WorkerLoop(WorkerSlot& slot);
