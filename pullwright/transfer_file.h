#pragma once

#include <cstdint>

struct WorkerSlot;

// How one attempt ended, for the worker's put-back decision.
struct AttemptResult {
  // False after an error report, a put-back after a timeout, or anything
  // else that must not bring the record back.
  bool mayPutBack = false;
  // The target file ended larger than it was when the attempt began.
  bool fileGrew = false;
  // The error that cut the attempt short, 0 when none.
  std::int32_t lastError = 0;
};

// One attempt to transfer the slot's current record into the download
// folder, reporting every step to the connected sinks.
AttemptResult TransferFile(WorkerSlot& slot);
