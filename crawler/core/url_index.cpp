#include "crawler/core/url_index.h"

#include <functional>

namespace {

std::uint32_t HashOf(std::string_view url) {
  const std::size_t hash = std::hash<std::string_view>{}(url);
  // Both halves, so that a table of any size sees bits of the whole hash.
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

// The slot holding `url`, or the free slot where it would go.
std::size_t UrlIndex::SlotOf(std::string_view url, std::uint32_t hash) const {
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t index = hash & mask;; index = (index + 1) & mask) {
    const Slot& slot = m_slots[index];
    if (slot.id == kFree || (slot.hash == hash && m_urlOf(m_owner, slot.id) == url)) return index;
  }
}

std::optional<std::uint32_t> UrlIndex::Find(std::string_view url) const {
  if (m_count == 0) return std::nullopt;
  const Slot& slot = m_slots[SlotOf(url, HashOf(url))];
  if (slot.id == kFree) return std::nullopt;
  return slot.id;
}

void UrlIndex::Insert(std::string_view url, std::uint32_t id) {
  if ((m_count + 1) * 2 > m_slots.size()) Grow();
  const std::uint32_t hash = HashOf(url);
  m_slots[SlotOf(url, hash)] = Slot{id, hash};
  ++m_count;
}

void UrlIndex::Grow() {
  std::vector<Slot> old(m_slots.empty() ? 64 : m_slots.size() * 2);
  old.swap(m_slots);
  const std::size_t mask = m_slots.size() - 1;
  for (const Slot& slot : old) {
    if (slot.id == kFree) continue;
    std::size_t index = slot.hash & mask;
    while (m_slots[index].id != kFree) index = (index + 1) & mask;
    m_slots[index] = slot;
  }
}
