#include "proxystub/poller.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace ps {

namespace {

// The epoll tag of the wake-up descriptor; watches count from 1.
constexpr Poller::WatchId kWakeId = 0;

}  // namespace

Poller& Poller::Shared() {
  // Never destroyed: watches may still be held while the process exits.
  static Poller* const poller = new Poller();
  return *poller;
}

Poller::Poller() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeId;
  ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
}

Poller::WatchId Poller::WatchOnce(int fd, std::function<void()> ready) {
  std::lock_guard lock(m_mutex);
  const WatchId id = m_nextId++;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP;
  event.data.u64 = id;
  if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
  if (!m_running) {
    try {
      // The thread detaches itself when it ends.
      m_thread = std::thread(&Poller::Run, this);
    } catch (const std::system_error&) {
      ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
      return 0;
    }
    m_running = true;
  }
  m_watches.emplace(id, Watch{fd, std::move(ready)});
  return id;
}

std::function<void()> Poller::Cancel(WatchId id) {
  std::lock_guard lock(m_mutex);
  const auto it = m_watches.find(id);
  if (it == m_watches.end()) return {};
  ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
  std::function<void()> ready = std::move(it->second.ready);
  m_watches.erase(it);
  if (m_watches.empty()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto wrote = ::write(m_wake, &one, sizeof one);
  }
  return ready;
}

void Poller::Join() {
  std::unique_lock lock(m_mutex);
  if (!m_watches.empty()) return;
  m_ended.wait(lock, [&] { return !m_running; });
}

void Poller::EndLocked() {
  m_running = false;
  m_thread.detach();
  m_ended.notify_all();
}

void Poller::Run() {
  constexpr int kBatch = 64;
  epoll_event events[kBatch];
  for (;;) {
    const int count = ::epoll_wait(m_epoll, events, kBatch, -1);
    if (count < 0 && errno != EINTR) {
      std::lock_guard lock(m_mutex);
      EndLocked();
      return;
    }
    for (int i = 0; i < count; ++i) {
      if (events[i].data.u64 == kWakeId) {
        std::uint64_t drained;
        [[maybe_unused]] const auto got = ::read(m_wake, &drained, sizeof drained);
        continue;
      }
      std::function<void()> ready;
      {
        std::lock_guard lock(m_mutex);
        const auto it = m_watches.find(events[i].data.u64);
        // Cancelled after epoll_wait reported it.
        if (it == m_watches.end()) continue;
        // Removed before its owner may close the descriptor (and the
        // number may come back as another socket).
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
        ready = std::move(it->second.ready);
        m_watches.erase(it);
      }
      ready();
    }
    std::lock_guard lock(m_mutex);
    if (m_watches.empty()) {
      EndLocked();
      return;
    }
  }
}

}  // namespace ps
