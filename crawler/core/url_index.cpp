#include "crawler/core/url_index.h"

#include <functional>

namespace {

std::size_t HashOf(std::string_view url) { return std::hash<std::string_view>{}(url); }

bool IsFree(std::string_view slotUrl) { return slotUrl.data() == nullptr; }

}  // namespace

// The slot holding `url`, or the free slot where it would go.
std::size_t UrlIndex::Find(std::string_view url, std::size_t hash) const {
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t index = hash & mask;; index = (index + 1) & mask) {
    const Slot& slot = m_slots[index];
    if (IsFree(slot.url) || (slot.hash == hash && slot.url == url)) return index;
  }
}

bool UrlIndex::Contains(std::string_view url) const {
  if (m_count == 0) return false;
  return !IsFree(m_slots[Find(url, HashOf(url))].url);
}

void UrlIndex::Insert(std::string_view url) {
  if ((m_count + 1) * 2 > m_slots.size()) Grow();
  // An empty address still needs a data pointer to tell its slot from a free one.
  if (url.data() == nullptr) url = std::string_view("", 0);
  const std::size_t hash = HashOf(url);
  m_slots[Find(url, hash)] = Slot{url, hash};
  ++m_count;
}

void UrlIndex::Grow() {
  std::vector<Slot> old(m_slots.empty() ? 64 : m_slots.size() * 2);
  old.swap(m_slots);
  const std::size_t mask = m_slots.size() - 1;
  for (const Slot& slot : old) {
    if (IsFree(slot.url)) continue;
    std::size_t index = slot.hash & mask;
    while (!IsFree(m_slots[index].url)) index = (index + 1) & mask;
    m_slots[index] = slot;
  }
}
