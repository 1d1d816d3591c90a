#include "proxystub/channel_census.h"

#include <algorithm>

namespace ps {

ChannelCensus& ChannelCensus::OfProcess() {
  static auto* census = new ChannelCensus;
  return *census;
}

void ChannelCensus::Add(const std::shared_ptr<StatusChannel>& channel, int process) {
  std::lock_guard lock(m_mutex);
  m_entries.push_back({channel, process});
  RecountLocked();
}

void ChannelCensus::Recount() {
  std::lock_guard lock(m_mutex);
  RecountLocked();
}

void ChannelCensus::RecountLocked() {
  std::vector<std::shared_ptr<StatusChannel>> open;
  std::vector<int> processes;
  std::erase_if(m_entries, [&](const Entry& entry) {
    auto channel = entry.channel.lock();
    if (!channel || !channel->IsOpen()) return true;
    open.push_back(std::move(channel));
    processes.push_back(entry.process);
    return false;
  });
  std::sort(processes.begin(), processes.end());
  const auto count = static_cast<std::uint32_t>(std::unique(processes.begin(), processes.end()) - processes.begin());
  for (const auto& channel : open) channel->SetPollingProcesses(count);
}

}  // namespace ps
