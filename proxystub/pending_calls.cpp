#include "proxystub/pending_calls.h"

#include <algorithm>
#include <cstring>

namespace ps {

bool PendingCalls::Add(ReplySlot& slot) {
  std::lock_guard lock(m_mutex);
  if (m_refused) return false;
  m_pending.push_back(&slot);
  return true;
}

bool PendingCalls::Deliver(const wire::FrameHeader& header, std::span<const std::uint8_t> payload) {
  ReplySlot* slot = nullptr;
  {
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                 [&](const ReplySlot* pending) { return pending->callId == header.callId; });
    if (it == m_pending.end()) return payload.size() >= 4;
    slot = *it;
    if (static_cast<std::uint32_t>(slot->form->method) != header.method ||
        !wire::CheckReplyPayload(*slot->form, payload))
      return false;
    m_pending.erase(it);
  }
  std::uint32_t hr;
  std::memcpy(&hr, payload.data(), sizeof hr);
  std::lock_guard lock(slot->mutex);
  slot->hr = static_cast<HRESULT>(hr);
  slot->outs.assign(payload.begin() + 4, payload.end());
  slot->state.store(ReplySlot::Answered, std::memory_order_release);
  slot->answered.notify_one();
  return true;
}

HRESULT PendingCalls::Wait(ReplySlot& slot, std::chrono::steady_clock::time_point deadline) {
  {
    std::unique_lock lock(slot.mutex);
    if (slot.answered.wait_until(lock, deadline, [&] { return slot.state.load() != ReplySlot::Waiting; }))
      return Result(slot);
  }
  return GiveUp(slot);
}

HRESULT PendingCalls::GiveUp(ReplySlot& slot) {
  {
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_pending.begin(), m_pending.end(), &slot);
    if (it != m_pending.end()) {
      // Given up: a late reply finds no slot and is dropped.
      m_pending.erase(it);
      slot.state.store(ReplySlot::TimedOut);
      return RPC_E_DISCONNECTED;
    }
  }
  // The reply (or the close) is being delivered right now.
  std::unique_lock lock(slot.mutex);
  slot.answered.wait(lock, [&] { return slot.state.load() != ReplySlot::Waiting; });
  return Result(slot);
}

void PendingCalls::Abandon(ReplySlot& slot) {
  // The same as giving up, whose outcome nobody reads: the slot goes with
  // its caller.
  GiveUp(slot);
}

void PendingCalls::Refuse() {
  std::lock_guard lock(m_mutex);
  m_refused = true;
}

void PendingCalls::FailAll() {
  std::vector<ReplySlot*> failed;
  {
    std::lock_guard lock(m_mutex);
    failed.swap(m_pending);
  }
  for (ReplySlot* slot : failed) {
    std::lock_guard lock(slot->mutex);
    slot->state.store(ReplySlot::Failed, std::memory_order_release);
    slot->answered.notify_one();
  }
}

HRESULT PendingCalls::Result(const ReplySlot& slot) {
  return slot.state.load() == ReplySlot::Answered ? slot.hr : RPC_E_DISCONNECTED;
}

}  // namespace ps
