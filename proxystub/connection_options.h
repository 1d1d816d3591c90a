#pragma once

#include <chrono>

namespace ps {

struct ConnectionOptions {
  // How long an outgoing call waits for its reply (and a frame for room in
  // the socket) before the peer counts as gone for that call.
  std::chrono::milliseconds callTimeout{120000};
  // Incoming calls served at once; more wait in a queue.
  unsigned maxServiceThreads = 16;
  // The thread that reads a call runs it itself; only a call that runs
  // longer than this (or waits for a reply) passes reading to another
  // thread, so a fast call costs no wake-up and no switch.
  std::chrono::microseconds inlineCallLimit{2000};
  // The thread that waits for a reply reads the socket itself when no
  // other thread is reading, so the reply wakes the caller directly instead
  // of a reader that must then wake the caller. The service threads stay
  // out of the callers' way while they keep calling and take reading back
  // after a quiet spell. Worth it where calls go out far more often than
  // they come in: the engine's status events to its sinks.
  bool callerReadsReply = false;
  // A connection whose reading thread sees no frame for this long hands its
  // socket to the process's poller, and its idle threads end: a quiet peer
  // then costs no thread at all, and the next frame calls a thread back.
  // Such a connection also starts out that way, so a peer that never speaks
  // never gets a thread. Zero: a thread always reads (a client's one
  // connection to its engine).
  std::chrono::milliseconds parkAfter{0};
};

}  // namespace ps
