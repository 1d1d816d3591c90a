#include "proxystub/status_channel_group.h"

#include <algorithm>
#include <atomic>

#include "proxystub/futex_word.h"

namespace ps {

namespace {

using Clock = std::chrono::steady_clock;
using futex::Word;

}  // namespace

StatusChannelGroup& StatusChannelGroup::OfProcess() {
  static auto* group = new StatusChannelGroup;
  return *group;
}

void StatusChannelGroup::Join(const Member& member) {
  std::lock_guard lock(m_mutex);
  m_members.push_back(member);
  m_membership.fetch_add(1, std::memory_order_release);
}

void StatusChannelGroup::Leave(const StatusChannel* channel) {
  std::lock_guard lock(m_mutex);
  std::erase_if(m_members, [&](const Member& member) { return member.channel.get() == channel; });
  m_membership.fetch_add(1, std::memory_order_release);
}

void StatusChannelGroup::WakeAll() {
  Word(m_wakeWord).fetch_add(1, std::memory_order_release);
  futex::WakeAll(&m_wakeWord, false);
}

void StatusChannelGroup::PollOrWait(const StatusChannel* self) {
  std::uint32_t seen = 0;
  bool polls = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_poller && m_poller != self) {
      // Read under the lock: a poller that stops after it changes the word.
      seen = Word(m_wakeWord).load(std::memory_order_acquire);
    } else {
      m_poller = self;
      polls = true;
    }
  }
  if (!polls) {
    futex::Wait(&m_wakeWord, seen, Clock::time_point::max(), false);
    return;
  }
  Poll(self);
  {
    std::lock_guard lock(m_mutex);
    m_poller = nullptr;
  }
  // The others go back to their own channels: they sleep there, or one of
  // them polls for all.
  WakeAll();
}

void StatusChannelGroup::Poll(const StatusChannel* self) {
  std::vector<Member> members;
  std::uint32_t membership = 0;
  bool current = false;
  unsigned steps = 0;
  for (;;) {
    if (!current || m_membership.load(std::memory_order_acquire) != membership) {
      std::lock_guard lock(m_mutex);
      members.clear();
      // A closed channel's thread ends by itself once woken.
      for (const Member& member : m_members)
        if (member.channel->IsOpen()) members.push_back(member);
      membership = m_membership.load(std::memory_order_relaxed);
      current = true;
      for (const Member& member : members) member.channel->MarkPolling();
    }
    bool served = false;
    for (const Member& member : members) {
      const StatusChannel::Outcome outcome = member.channel->ServePosted(*member.handler);
      if (outcome == StatusChannel::Outcome::Answered) {
        served = true;
        // Its own thread clears the mark when it goes to sleep on its
        // doorbell; the engine then would not poll for the answers.
        member.channel->MarkPolling();
      } else if (outcome != StatusChannel::Outcome::Idle) {
        // It closed: its thread, waiting here, must see it.
        current = false;
        WakeAll();
      }
    }
    if (!self->IsOpen()) return;
    if (served) continue;
    const Clock::time_point now = Clock::now();
    if (std::none_of(members.begin(), members.end(),
                     [&](const Member& member) { return member.channel->CallsComing(now); }))
      return;
    futex::PollStep(steps, futex::kCallPollerYieldEvery);
  }
}

}  // namespace ps
