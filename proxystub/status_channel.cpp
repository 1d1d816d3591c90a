#include "proxystub/status_channel.h"

#include "proxystub/futex_word.h"
#include "proxystub/poller_placement.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace ps {

namespace {

using namespace status_area;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kSequenceMask = (1u << (32 - kSequenceShift)) - 1;
constexpr unsigned kRequiredSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

std::size_t AreaBytes(std::uint32_t slotCount) { return sizeof(Header) + std::size_t{slotCount} * sizeof(Slot); }

// The futex words and the closed flag live in memory the other process
// writes too; every access to them is atomic.
using futex::Word;

// The channel whose handler this thread runs now, if any.
thread_local const StatusChannel* t_serving = nullptr;

std::unique_ptr<StatusChannel> Refuse(int fd, std::string* whyNot, const char* reason) {
  if (fd >= 0) ::close(fd);
  if (whyNot) *whyNot = reason;
  return nullptr;
}

}  // namespace

StatusChannel::StatusChannel(int fd, void* area, std::size_t bytes, std::uint32_t slotCount,
                             StatusChannelOptions options)
    : m_fd(fd),
      m_area(area),
      m_bytes(bytes),
      m_slotCount(slotCount),
      m_options(options),
      m_header(static_cast<Header*>(area)),
      m_slots(reinterpret_cast<Slot*>(static_cast<char*>(area) + sizeof(Header))),
      m_local(new LocalSlot[slotCount]) {}

StatusChannel::~StatusChannel() {
  Close();
  ::munmap(m_area, m_bytes);
  ::close(m_fd);
}

std::unique_ptr<StatusChannel> StatusChannel::Create(std::uint32_t slotCount, StatusChannelOptions options,
                                                     std::string* whyNot) {
  if (slotCount == 0 || slotCount > kMaxSlots) return Refuse(-1, whyNot, "The slot count is out of range.");
  const int fd = ::memfd_create("pullwright-status", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return Refuse(fd, whyNot, "The system refused a shared memory file.");
  const std::size_t bytes = AreaBytes(slotCount);
  // Sealed before the other side sees it: it can then neither shrink the
  // file under this side's mapping nor grow it.
  if (::ftruncate(fd, static_cast<off_t>(bytes)) != 0 || ::fcntl(fd, F_ADD_SEALS, kRequiredSeals) != 0)
    return Refuse(fd, whyNot, "The shared memory file could not be sized and sealed.");
  void* area = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (area == MAP_FAILED) return Refuse(fd, whyNot, "The shared memory file could not be mapped.");
  auto* header = static_cast<Header*>(area);
  header->magic = kMagic;
  header->version = kVersion;
  header->slotCount = slotCount;
  header->slotBytes = sizeof(Slot);
  return std::unique_ptr<StatusChannel>(new StatusChannel(fd, area, bytes, slotCount, options));
}

std::unique_ptr<StatusChannel> StatusChannel::Adopt(int fd, StatusChannelOptions options, std::string* whyNot) {
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return Refuse(fd, whyNot, "The descriptor is not a shared memory file.");
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size < AreaBytes(1) || size > AreaBytes(kMaxSlots) || (size - sizeof(Header)) % sizeof(Slot) != 0)
    return Refuse(fd, whyNot, "The shared memory file has a wrong size.");
  // Without these seals the other side could shrink the file and turn this
  // side's next access into a crash. It can still punch holes into it,
  // which only zeroes pages: garbage, refused like any other.
  const int seals = ::fcntl(fd, F_GET_SEALS);
  if (seals < 0 || (static_cast<unsigned>(seals) & kRequiredSeals) != kRequiredSeals)
    return Refuse(fd, whyNot, "The shared memory file is not sealed against resizing.");
  void* area = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (area == MAP_FAILED) return Refuse(fd, whyNot, "The shared memory file could not be mapped.");
  // The header is read once; the layout is this side's copy from then on.
  Header header;
  std::memcpy(&header, area, sizeof header);
  const auto slotCount = static_cast<std::uint32_t>((size - sizeof(Header)) / sizeof(Slot));
  if (header.magic != kMagic || header.version != kVersion || header.slotBytes != sizeof(Slot) ||
      header.slotCount != slotCount) {
    ::munmap(area, size);
    return Refuse(fd, whyNot, "The shared memory file does not hold a status channel of this version.");
  }
  return std::unique_ptr<StatusChannel>(new StatusChannel(fd, area, size, slotCount, options));
}

bool StatusChannel::IsOpen() const { return !ClosedSeen(); }

bool StatusChannel::ClosedSeen() const {
  return m_closed.load(std::memory_order_acquire) || Word(m_header->closed).load() != 0;
}

bool StatusChannel::TryClaim(std::uint32_t index) {
  LocalSlot& local = m_local[index];
  std::uint32_t owner = kFree;
  if (local.owner.compare_exchange_strong(owner, kBusy, std::memory_order_acquire)) return true;
  if (owner != kAbandoned || !local.owner.compare_exchange_strong(owner, kBusy, std::memory_order_acquire))
    return false;
  // An abandoned call's slot is free once its answer came.
  const std::uint32_t state = Word(m_slots[index].state).load(std::memory_order_acquire);
  if ((state & ~kWaiterBit) == State(Answered, local.sequence)) return true;
  local.owner.store(kAbandoned, std::memory_order_release);
  return false;
}

bool StatusChannel::Post(std::uint32_t status, const char* text, const _LinkStructType& record, Ticket& ticket) {
  ticket = {};
  if (ClosedSeen()) return false;
  const std::uint32_t start = m_nextClaim.fetch_add(1, std::memory_order_relaxed);
  std::uint32_t index = 0;
  for (;; ++index) {
    if (index == m_slotCount) return false;
    if (TryClaim((start + index) % m_slotCount)) break;
  }
  index = (start + index) % m_slotCount;
  LocalSlot& local = m_local[index];
  Slot& slot = m_slots[index];
  local.sequence = (local.sequence + 1) & kSequenceMask;
  if (local.sequence == 0) local.sequence = 1;
  slot.status = status;
  if (text) {
    // Cut like a status text on the socket: it is for reading only.
    const std::size_t length = ::strnlen(text, kMaxTextBytes - 1);
    std::memcpy(slot.text, text, length);
    slot.textLength = static_cast<std::uint32_t>(length);
  } else {
    slot.textLength = kNullText;
  }
  std::memcpy(&slot.record, &record, sizeof record);
  slot.callerCore = static_cast<std::uint32_t>(::sched_getcpu() + 1);  // -1 when unknown: 0
  Word(slot.state).store(State(Posted, local.sequence));
  ticket = {index, local.sequence, false};
  ticket.sinkPolling = Ring();
  return true;
}

bool StatusChannel::Ring() {
  const std::uint32_t before = Word(m_header->doorbell).fetch_add(kDoorbellRing);
  // The system call is paid only while the sink's thread sleeps.
  if (before & kSinkAsleep) futex::WakeAll(&m_header->doorbell);
  return (before & kSinkPolling) != 0;
}

StatusChannel::Outcome StatusChannel::WaitReply(Ticket& ticket, Clock::time_point deadline, HRESULT& hr) {
  hr = RPC_E_DISCONNECTED;
  if (ticket.slot >= m_slotCount) return Outcome::Closed;
  Slot& slot = m_slots[ticket.slot];
  auto word = Word(slot.state);
  const std::uint32_t posted = State(Posted, ticket.sequence);
  const std::uint32_t answered = State(Answered, ticket.sequence);
  // Polling pays only while the sink's thread polls too, on a core of its
  // own. Any other sink answers after a scheduler's wake-up, often on this
  // very core, where a poll would only keep it waiting.
  const Clock::time_point spinUntil = Clock::now() + (ticket.sinkPolling ? m_options.replySpin : Clock::duration{});
  Outcome outcome;
  unsigned steps = 0;
  for (;;) {
    std::uint32_t state = word.load(std::memory_order_acquire);
    if ((state & kClosedBit) || ClosedSeen()) {
      outcome = Outcome::Closed;
      break;
    }
    if ((state & ~kWaiterBit) == answered) {
      hr = static_cast<HRESULT>(slot.hresult);
      outcome = Outcome::Answered;
      break;
    }
    // Only the sink may move a posted call on, and only to its answer.
    if ((state & ~kWaiterBit) != posted) {
      outcome = Outcome::Invalid;
      break;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      outcome = Outcome::TimedOut;
      break;
    }
    if (now < spinUntil) {
      futex::PollStep(steps, futex::kWaiterYieldEvery);
      continue;
    }
    if (!(state & kWaiterBit)) {
      if (!word.compare_exchange_weak(state, state | kWaiterBit, std::memory_order_acq_rel)) continue;
      state |= kWaiterBit;
    }
    futex::Wait(&slot.state, state, deadline);
  }
  LocalSlot& local = m_local[ticket.slot];
  ticket = {};
  if (outcome == Outcome::Answered) {
    local.owner.store(kFree, std::memory_order_release);
    return outcome;
  }
  // A sink that missed its time or broke the rules gets no more calls
  // here; the slot stays taken, so a late answer lands nowhere.
  Close();
  return outcome;
}

void StatusChannel::Abandon(Ticket& ticket) {
  if (ticket.slot >= m_slotCount) return;
  m_local[ticket.slot].owner.store(kAbandoned, std::memory_order_release);
  ticket = {};
}

StatusChannel::Outcome StatusChannel::ServeNext(const Handler& handler, Clock::time_point deadline,
                                                const std::function<void()>& pollElsewhere) {
  auto bell = Word(m_header->doorbell);
  for (;;) {
    if (ClosedSeen()) return Outcome::Closed;
    // Read before the slots: a call posted after this read changes the
    // word, so the sleep below cannot miss it.
    std::uint32_t seen = bell.load(std::memory_order_acquire);
    const Outcome outcome = ServePosted(handler);
    if (outcome != Outcome::Idle) return outcome;
    Clock::time_point now = Clock::now();
    if (now >= deadline) return Outcome::Idle;
    // Right after a call the next one is likely close behind; polling a
    // little while for it saves both sides a futex call. Never while idle.
    if (CallsComing(now)) {
      if (pollElsewhere) {
        pollElsewhere();
        continue;
      }
      const Clock::time_point until = std::min(deadline, LastServed() + m_options.callSpin);
      if (!(seen & kSinkPolling)) seen = bell.fetch_or(kSinkPolling) | kSinkPolling;
      unsigned steps = 0;
      while (bell.load(std::memory_order_acquire) == seen && Clock::now() < until)
        futex::PollStep(steps, futex::kCallPollerYieldEvery);
      continue;
    }
    const std::uint32_t asleep = (seen | kSinkAsleep) & ~kSinkPolling;
    if (seen != asleep) {
      if (!bell.compare_exchange_strong(seen, asleep, std::memory_order_acq_rel)) continue;
      seen = asleep;
    }
    PollerPlacement::BeforeSleep();
    futex::Wait(&m_header->doorbell, seen, deadline);
    bell.fetch_and(~kSinkAsleep, std::memory_order_acq_rel);
  }
}

void StatusChannel::Retire() {
  std::lock_guard serving(m_serveMutex);
  m_retired = true;
}

bool StatusChannel::ServingOnThisThread() const { return t_serving == this; }

bool StatusChannel::CallsComing(Clock::time_point now) const {
  return m_options.callSpin.count() > 0 && now < LastServed() + m_options.callSpin;
}

Clock::time_point StatusChannel::LastServed() const {
  return Clock::time_point(Clock::duration(m_lastServed.load(std::memory_order_relaxed)));
}

void StatusChannel::MarkPolling() {
  auto bell = Word(m_header->doorbell);
  if (!(bell.load(std::memory_order_relaxed) & kSinkPolling)) bell.fetch_or(kSinkPolling);
}

StatusChannel::Outcome StatusChannel::ServePosted(const Handler& handler) {
  // Another thread of this process may be serving this channel right now.
  std::unique_lock serving(m_serveMutex, std::try_to_lock);
  if (!serving) return Outcome::Idle;
  if (m_retired) return Outcome::Closed;
  for (std::uint32_t step = 0; step < m_slotCount; ++step) {
    const std::uint32_t index = (m_nextScan + step) % m_slotCount;
    Slot& slot = m_slots[index];
    const std::uint32_t state = Word(slot.state).load(std::memory_order_acquire);
    if (state & kClosedBit) {
      Close();
      return Outcome::Closed;
    }
    const std::uint32_t kind = state & kKindMask;
    if (kind == Posted) {
      m_nextScan = (index + 1) % m_slotCount;
      return Serve(slot, state, handler);
    }
    if (kind != Idle && kind != Answered) {
      Close();
      return Outcome::Invalid;
    }
  }
  return Outcome::Idle;
}

StatusChannel::Outcome StatusChannel::Serve(Slot& slot, std::uint32_t state, const Handler& handler) {
  // Everything is copied out once and checked on the copy: the other side
  // may go on writing into the slot meanwhile.
  StatusCall call;
  call.status = slot.status;
  const std::uint32_t length = slot.textLength;
  bool valid = true;
  if (length == kNullText) {
    call.nullText = true;
  } else if (length < kMaxTextBytes) {
    std::memcpy(call.text, slot.text, length);
    valid = std::memchr(call.text, 0, length) == nullptr;
  } else {
    valid = false;
  }
  if (!valid) {
    Close();
    return Outcome::Invalid;
  }
  std::memcpy(&call.record, &slot.record, sizeof call.record);
  TerminateRecordTexts(call.record);
  const std::uint32_t callerCore = slot.callerCore;  // a hint, range-checked where it is used

  {
    const StatusChannel* const outer = t_serving;
    t_serving = this;
    slot.hresult = handler(call);
    t_serving = outer;
  }
  const std::uint32_t bare = state & ~kWaiterBit;
  const std::uint32_t answer = State(Answered, state >> kSequenceShift);
  auto word = Word(slot.state);
  std::uint32_t current = word.load(std::memory_order_relaxed);
  do {
    // The engine may only have started to sleep on it or closed it.
    if ((current & ~kWaiterBit) != bare) {
      Close();
      return current & kClosedBit ? Outcome::Closed : Outcome::Invalid;
    }
  } while (!word.compare_exchange_weak(current, answer, std::memory_order_acq_rel, std::memory_order_relaxed));
  if (current & kWaiterBit) futex::WakeAll(&slot.state);
  PollerPlacement::AfterCall(callerCore);
  if (m_options.callSpin.count() > 0) m_lastServed.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  return Outcome::Answered;
}

void StatusChannel::Close() {
  if (m_closed.exchange(true)) return;
  Word(m_header->closed).store(1);
  // Changing each futex word as well as waking it: a thread about to sleep
  // on the old value then returns at once instead of missing the wake-up.
  for (std::uint32_t index = 0; index < m_slotCount; ++index) {
    Word(m_slots[index].state).fetch_or(kClosedBit);
    futex::WakeAll(&m_slots[index].state);
  }
  Word(m_header->doorbell).fetch_add(kDoorbellRing);
  futex::WakeAll(&m_header->doorbell);
}

}  // namespace ps
