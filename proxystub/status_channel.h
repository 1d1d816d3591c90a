#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "contract/hresult.h"
#include "contract/link_record.h"

// A faster road for the engine's status calls to one sink: a small shared
// memory file (a memfd, sealed against shrinking and growing) that both
// processes map. The engine writes a call into a free slot and rings the
// doorbell; the sink's reading thread takes it, runs it and writes the
// HRESULT back. The socket it was set up over stays the authority on who is
// connected; this area carries no pointers, and each side checks what it
// reads from it as it would a frame off that socket, since the other side
// can write anything into it at any time.
namespace ps {

// The shared layout. Both sides agree on it through the header, which is
// read once when a side maps the area; afterwards only the futex words and
// the slots' fields are read, and every field is checked before use.
namespace status_area {

inline constexpr std::uint32_t kMagic = 0x43535750;  // "PWSC"
inline constexpr std::uint32_t kVersion = 1;
// Marks a null text (a status call without text).
inline constexpr std::uint32_t kNullText = 0xFFFFFFFFu;

struct Header {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t slotCount;
  std::uint32_t slotBytes;
  // Futex word of the sink's reading thread: kSinkAsleep while it sleeps,
  // kSinkPolling while it polls for the next call; the rest counts posted
  // calls (and closings), so that a sleeper that missed a post finds the
  // word changed.
  std::uint32_t doorbell;
  // Either side sets it when it gives the channel up.
  std::uint32_t closed;
  std::uint32_t reserved[10];
};
static_assert(sizeof(Header) == 64);
inline constexpr std::uint32_t kSinkAsleep = 1;
inline constexpr std::uint32_t kSinkPolling = 2;
inline constexpr std::uint32_t kDoorbellRing = 4;

// A slot's state word, the futex word of the engine thread waiting for the
// answer: bits 0-1 the kind, bit 2 set while that thread sleeps, bit 3 set
// once the channel closed, the rest the call's sequence number, which the
// answer must repeat.
enum SlotKind : std::uint32_t { Idle = 0, Posted = 1, Answered = 2 };
inline constexpr std::uint32_t kKindMask = 3;
inline constexpr std::uint32_t kWaiterBit = 4;
inline constexpr std::uint32_t kClosedBit = 8;
inline constexpr std::uint32_t kSequenceShift = 4;
constexpr std::uint32_t State(SlotKind kind, std::uint32_t sequence) { return (sequence << kSequenceShift) | kind; }

struct alignas(64) Slot {
  std::uint32_t state;
  std::uint32_t status;
  std::uint32_t textLength;  // at most 259, or kNullText
  std::int32_t hresult;      // the answer
  // The core the posting engine thread ran on, plus one; 0: not told (an
  // engine that predates it leaves the zeroes of a new area here).
  std::uint32_t callerCore;
  char text[kMaxTextBytes];  // textLength bytes count, no NUL among them
  _LinkStructType record;
};
static_assert(sizeof(Slot) == 832);
static_assert(offsetof(Slot, record) % alignof(_LinkStructType) == 0);

}  // namespace status_area

// One status call as the sink's handler gets it: checked, with its text
// terminated and the record's texts forced to end within their fields.
struct StatusCall {
  std::uint32_t status = 0;
  bool nullText = false;
  char text[kMaxTextBytes] = {};
  _LinkStructType record{};
  const char* TextOrNull() const { return nullText ? nullptr : text; }
};

struct StatusChannelOptions {
  // How long an engine thread polls for an answer before it sleeps, when
  // the sink's thread was polling for the call (see callSpin). Otherwise
  // it sleeps at once: a sink that must be woken first answers no sooner
  // for the caller's polling, and later when both share a core.
  std::chrono::microseconds replySpin{30};
  // How long the sink's thread polls for the next call after answering one
  // before it sleeps. During a transfer calls come every few microseconds,
  // so the thread stays awake and answers within a microsecond or two,
  // where a wake-up from sleep costs tens of them on a virtual machine;
  // a tenth of a millisecond after the last call it sleeps, so it never
  // polls while nothing downloads. Zero: it sleeps at once. Polling steps
  // offer the core now and then, so pollers that outnumber the cores still
  // take turns quickly.
  std::chrono::microseconds callSpin{100};
};

class StatusChannel {
 public:
  static constexpr std::uint32_t kDefaultSlots = 8;
  static constexpr std::uint32_t kMaxSlots = 64;

  enum class Outcome {
    Answered,  // the call was answered (the reply), or served (the sink)
    Idle,      // the sink's wait ended without a call
    TimedOut,  // no answer before the deadline: the channel is closed
    Closed,    // either side closed the channel
    Invalid,   // the other side wrote something no honest peer writes: closed
  };

  // Where an engine thread's call went, to wait for its answer.
  struct Ticket {
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t slot = kNone;
    std::uint32_t sequence = 0;
    bool sinkPolling = false;  // the sink's thread polled when the call came
  };

  // A new area with `slotCount` slots (1 to kMaxSlots), for the side that
  // hands its descriptor over. Null when the system refuses.
  static std::unique_ptr<StatusChannel> Create(std::uint32_t slotCount = kDefaultSlots,
                                               StatusChannelOptions options = {}, std::string* whyNot = nullptr);
  // Maps an area that came from the other side. Takes `fd` (closed on
  // failure). Refused unless it is a sealed memfd of exactly the size its
  // header declares.
  static std::unique_ptr<StatusChannel> Adopt(int fd, StatusChannelOptions options = {},
                                              std::string* whyNot = nullptr);
  ~StatusChannel();
  StatusChannel(const StatusChannel&) = delete;
  StatusChannel& operator=(const StatusChannel&) = delete;

  // The area's descriptor, to pass to the other side; it stays this
  // object's.
  int fd() const { return m_fd; }
  std::uint32_t slotCount() const { return m_slotCount; }
  bool IsOpen() const;

  // Engine side. Any number of threads may post at once, one call per free
  // slot. False when the channel is closed or every slot is taken (the
  // caller waits for a slot: a call on another road could overtake the
  // ones in the slots). A text longer than a wire text is cut.
  bool Post(std::uint32_t status, const char* text, const _LinkStructType& record, Ticket& ticket);
  // Waits for the answer to a posted call until `deadline` (a short poll
  // first if the sink was polling, see replySpin), asleep on the slot's
  // futex word. Anything but Answered leaves the channel closed.
  Outcome WaitReply(Ticket& ticket, std::chrono::steady_clock::time_point deadline, HRESULT& hr);
  // Gives up on a posted call without waiting; its slot is taken again
  // only once its answer is in.
  void Abandon(Ticket& ticket);

  // Sink side: waits for the next call until `deadline` or until the
  // channel closes, checks it, runs `handler` on this thread and writes its
  // answer back. Answered: one call served. While calls come close together
  // it polls for the next (see callSpin), or lets `pollElsewhere` do so: a
  // thread that polls for several channels at once (StatusChannelGroup).
  // Otherwise it sleeps.
  using Handler = std::function<HRESULT(const StatusCall&)>;
  Outcome ServeNext(const Handler& handler,
                    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max(),
                    const std::function<void()>& pollElsewhere = {});
  // Sink side, any thread: looks over the slots from where the last look
  // stopped and serves the first posted call with `handler`; Idle when none
  // was posted, or while another thread is serving this channel.
  Outcome ServePosted(const Handler& handler);
  // Waits until no thread serves this channel and lets none serve it from
  // then on (ServePosted gives Closed): after this, the handler is not
  // called again, on any thread. Not from the handler itself.
  void Retire();
  // Whether this thread runs this channel's handler now.
  bool ServingOnThisThread() const;
  // Whether a call was served within the last callSpin: the next is likely
  // close behind.
  bool CallsComing(std::chrono::steady_clock::time_point now) const;
  // Tells the engine that a thread polls for this channel's calls, so it
  // polls briefly for the answers too (see replySpin).
  void MarkPolling();

  // Closes the channel on both sides and wakes every thread sleeping on it,
  // here or in the other process. Any thread may call it, more than once.
  void Close();

 private:
  enum LocalSlotState : std::uint32_t { kFree, kBusy, kAbandoned };
  struct LocalSlot {
    std::atomic<std::uint32_t> owner{kFree};
    std::uint32_t sequence = 0;
  };

  StatusChannel(int fd, void* area, std::size_t bytes, std::uint32_t slotCount, StatusChannelOptions options);
  std::chrono::steady_clock::time_point LastServed() const;
  bool ClosedSeen() const;
  bool TryClaim(std::uint32_t index);
  Outcome Serve(status_area::Slot& slot, std::uint32_t state, const Handler& handler);
  // Tells the sink's thread of a call; true when it was polling.
  bool Ring();

  const int m_fd;
  void* const m_area;
  const std::size_t m_bytes;
  const std::uint32_t m_slotCount;  // checked once against the size, never re-read
  const StatusChannelOptions m_options;
  status_area::Header* const m_header;
  status_area::Slot* const m_slots;
  std::unique_ptr<LocalSlot[]> m_local;
  std::atomic<std::uint32_t> m_nextClaim{0};
  // Held while a thread serves the slots; m_nextScan and m_retired are
  // under it.
  std::mutex m_serveMutex;
  std::uint32_t m_nextScan = 0;
  bool m_retired = false;
  std::atomic<std::chrono::steady_clock::rep> m_lastServed{0};
  std::atomic<bool> m_closed{false};
};

}  // namespace ps
