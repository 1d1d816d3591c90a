#include "proxystub/status_channel_server.h"

#include "proxystub/poller_placement.h"

namespace ps {

StatusChannelServer::StatusChannelServer(std::shared_ptr<StatusChannel> channel, StatusChannel::Handler handler,
                                         bool prompt)
    : m_shared(std::make_shared<Shared>(
          Shared{{std::move(channel), std::make_shared<const StatusChannel::Handler>(std::move(handler))}, prompt})) {
  m_thread = std::thread([shared = m_shared] {
    const PollerPlacement placement;
    StatusChannelGroup& group = StatusChannelGroup::OfProcess();
    StatusChannel& channel = *shared->member.channel;
    std::function<void()> pollElsewhere;
    if (shared->prompt) {
      group.Join(shared->member);
      pollElsewhere = [&] { group.PollOrWait(&channel); };
    }
    StatusChannel::Outcome outcome;
    do {
      outcome = channel.ServeNext(*shared->member.handler, std::chrono::steady_clock::time_point::max(), pollElsewhere);
    } while (outcome == StatusChannel::Outcome::Answered || outcome == StatusChannel::Outcome::Idle);
    if (shared->prompt) group.Leave(&channel);
    // Another member's thread may be running the handler right now; once
    // it is done, nothing calls it again, so Stop and Join mean the same
    // for every thread.
    channel.Retire();
    shared->outcome = outcome;
    // What the handler holds (a sink) is let go as soon as the channel is;
    // a poller's copy goes with its next pass.
    shared->member.handler.reset();
  });
}

StatusChannelServer::~StatusChannelServer() {
  Stop();
  // Destroyed from the handler: the thread ends by itself once it returns.
  if (m_thread.joinable()) m_thread.detach();
}

void StatusChannelServer::Stop() {
  m_shared->member.channel->Close();
  // Its thread may be waiting in the group rather than on its channel.
  if (m_shared->prompt) StatusChannelGroup::OfProcess().WakeAll();
  // From the handler itself, on this channel's thread or on another
  // member's, waiting for the thread would wait for this very call.
  if (m_shared->member.channel->ServingOnThisThread()) return;
  // Its own thread, polling for the group, runs another member's handler.
  if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) return;
  Join();
}

StatusChannel::Outcome StatusChannelServer::Join() {
  if (m_thread.joinable()) m_thread.join();
  return m_shared->outcome;
}

}  // namespace ps
