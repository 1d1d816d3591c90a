#pragma once

#include <cstdint>
#include <thread>

struct EngineCore;

// One worker thread of the pool. Its session, current record and cancel
// mark live in the queue (DownloadQueue), under the queue's lock.
struct WorkerSlot {
  std::thread hThread;
  std::uint32_t nIndex = 0;
  EngineCore* pEngine = nullptr;
};

// The loop each worker thread runs until the engine stops.
void WorkerLoop(WorkerSlot& slot);
