#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "contract/hresult.h"
#include "proxystub/wire_codec.h"

namespace ps {

// A caller's place for one reply.
struct ReplySlot {
  enum State : std::uint32_t { Waiting, Answered, Failed, TimedOut };
  std::uint32_t callId = 0;
  const wire::MethodForm* form = nullptr;
  std::atomic<std::uint32_t> state{Waiting};
  std::mutex mutex;
  std::condition_variable answered;
  bool roleOffered = false;  // the reading role is free for this caller to take
  HRESULT hr = RPC_E_DISCONNECTED;
  std::vector<std::uint8_t> outs;  // the reply's fields after the HRESULT
};

// The calls sent over one connection whose replies are still awaited,
// matched to their replies by call id. A slot leaves exactly once: with its
// reply, failed when the connection closes, or given up by its caller.
class PendingCalls {
 public:
  // Registers `slot` for its reply; false once Refuse ran.
  bool Add(ReplySlot& slot);
  // Hands a reply to its waiting caller. A reply nobody waits for any more
  // (its caller gave up) is dropped; false when the reply breaks the
  // protocol (not the called method, or not its form).
  bool Deliver(const wire::FrameHeader& header, std::span<const std::uint8_t> payload);
  // Waits for the reply until `deadline`, then gives up.
  HRESULT Wait(ReplySlot& slot, std::chrono::steady_clock::time_point deadline);
  // After the time limit: the slot leaves the pending calls, or gets the
  // reply that is being delivered right now.
  HRESULT GiveUp(ReplySlot& slot);
  // Forgets a sent call whose reply will not be awaited.
  void Abandon(ReplySlot& slot);
  // No call registers from now on; the connection is closing.
  void Refuse();
  // Fails every call still waiting.
  void FailAll();

 private:
  static HRESULT Result(const ReplySlot& slot);

  std::mutex m_mutex;
  bool m_refused = false;
  std::vector<ReplySlot*> m_pending;
};

}  // namespace ps
