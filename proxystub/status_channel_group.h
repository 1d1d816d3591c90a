#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "proxystub/status_channel.h"

namespace ps {

// The channels of one process whose handlers return at once share their
// polling: while calls come, one of their threads polls for all of them and
// serves whichever channel has a call, while the others wait here. Every
// polling thread takes a core that the engine and the other sinks need on a
// small machine; this way a process with several sinks costs no more than a
// process with one. Each channel keeps its own thread for the rest: it
// sleeps on its own doorbell between transfers and ends with its channel.
class StatusChannelGroup {
 public:
  struct Member {
    std::shared_ptr<StatusChannel> channel;
    std::shared_ptr<const StatusChannel::Handler> handler;
  };

  // The process's group; never destroyed, as member threads may outlive
  // static destruction.
  static StatusChannelGroup& OfProcess();

  void Join(const Member& member);
  void Leave(const StatusChannel* channel);
  // Called by the thread of `self`'s channel while calls come: polls for
  // every member until none had a call for a callSpin, or until its own
  // channel closes; while another member's thread polls, it waits until
  // that one stops, or until WakeAll.
  void PollOrWait(const StatusChannel* self);
  // Lets every member's waiting thread look at its channel again.
  void WakeAll();

 private:
  void Poll(const StatusChannel* self);

  std::mutex m_mutex;
  std::vector<Member> m_members;
  const StatusChannel* m_poller = nullptr;
  std::atomic<std::uint32_t> m_membership{0};  // changes with every Join and Leave
  std::uint32_t m_wakeWord = 0;                // futex word (futex::Word): changes on WakeAll
};

}  // namespace ps
