#pragma once

struct QueuedRecord;
struct WorkerSlot;

// How one attempt ended, for the worker.
enum class AttemptOutcome {
  Ended,    // complete, failed with an error report, cancelled, or already put back
  PutBack,  // ended short: the record goes to the back of the queue
};

// One attempt to transfer the worker's current record (`working`, its own
// copy) into the download folder, reporting every step to the connected
// sinks.
AttemptOutcome TransferFile(WorkerSlot& slot, QueuedRecord& working);
