#pragma once

#include <memory>
#include <thread>

#include "proxystub/status_channel_group.h"

namespace ps {

// The sink side's reading thread: serves a channel's calls with `handler`
// until the channel closes, from either side or through Stop. The handler
// runs on this thread, so it must not block: the sinks copy the call and
// hand it over. With `prompt` (the handler returns at once, waiting for
// nothing but short locks) the channel joins the process's group and the
// handler may run on another member's thread while that one polls for all
// (see StatusChannelGroup). The constructor throws std::system_error when
// no thread can be had.
class StatusChannelServer {
 public:
  StatusChannelServer(std::shared_ptr<StatusChannel> channel, StatusChannel::Handler handler, bool prompt = false);
  ~StatusChannelServer();
  StatusChannelServer(const StatusChannelServer&) = delete;
  StatusChannelServer& operator=(const StatusChannelServer&) = delete;

  // Closes the channel and waits for the thread, after which the handler
  // is not called again on any thread. From the handler itself (a sink
  // that drops its connection) it does not wait: the thread ends once the
  // handler returns, holding what it needs until then.
  void Stop();
  // Waits for the thread to end by itself; the outcome that ended it. Not
  // from the handler, nor from two threads at once.
  StatusChannel::Outcome Join();

 private:
  struct Shared {
    StatusChannelGroup::Member member;
    bool prompt = false;
    StatusChannel::Outcome outcome = StatusChannel::Outcome::Closed;
  };
  std::shared_ptr<Shared> m_shared;
  std::thread m_thread;
};

}  // namespace ps
