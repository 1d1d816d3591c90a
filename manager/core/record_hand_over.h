#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "contract/link_record.h"

// One engine event waiting for the download list: a record with its status
// code, or an error text (code 3). An ending (code 5) keeps its text, which
// tells how the file ended.
struct PendingRecord {
  std::uint32_t code = 0;
  _LinkStructType record{};
  std::string text;
};

// The events of the engine's threads on their way to the interface thread.
// The engine calls its sinks once per 4 KiB read, tens of thousands of times
// a second, and each call waits for the sink: so a sink only copies its
// event in here, and the view takes everything at once, a few times a
// second.
//
// A progress record (code 6) replaces the waiting progress record of the
// same address when nothing but progress records came after that one: the
// list ends in the same state, and every other code keeps its place
// relative to everything else. So what waits stays bounded by the number of
// transfers, however long they run.
class RecordHandOver {
 public:
  // Each gives true when the hand-over was empty and the view must be woken.
  bool Push(std::uint32_t code, const _LinkStructType& record, std::string text = {});
  bool PushError(std::string text);
  // Everything waiting, in order; the next push wakes the view again.
  std::vector<PendingRecord> Take();

  // The most events that ever waited at once.
  std::size_t MostWaiting() const;

 private:
  bool Append(PendingRecord pending);

  mutable std::mutex m_mutex;
  std::vector<PendingRecord> m_pending;
  // Address of a waiting progress record that only progress records follow,
  // to its place in m_pending.
  std::unordered_map<std::string, std::size_t> m_foldable;
  std::size_t m_mostWaiting = 0;
};
