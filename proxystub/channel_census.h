#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "proxystub/status_channel.h"

namespace ps {

// The engine's open status channels and the client process of each, so that
// every channel can tell its sink how many processes may be polling at once
// (StatusChannel::SetPollingProcesses). Any thread.
class ChannelCensus {
 public:
  static ChannelCensus& OfProcess();

  void Add(const std::shared_ptr<StatusChannel>& channel, int process);
  // Counts again, leaving out closed channels; after a channel closes.
  void Recount();

 private:
  struct Entry {
    std::weak_ptr<StatusChannel> channel;
    int process;
  };
  void RecountLocked();

  std::mutex m_mutex;
  std::vector<Entry> m_entries;
};

}  // namespace ps
