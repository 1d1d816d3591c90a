#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The duplicate index beside a link list: the set of listed addresses,
// compared byte for byte. It keeps no text of its own: each slot holds the
// number its owner listed the address under and 32 bits of the address's
// hash, and the owner gives the text back for a number (UrlOf). A page may
// list a million links, and eight bytes a slot is what keeps the index a
// small part of what they cost.
//
// Open addressing in one flat array: a lookup finds its slot at once and
// compares the text only when the hashes agree, several times faster than a
// node-based set.
class UrlIndex {
 public:
  // The text listed under `id`; it must not change while the index holds it.
  using UrlOf = std::string_view (*)(const void* owner, std::uint32_t id);

  UrlIndex(UrlOf urlOf, const void* owner) : m_urlOf(urlOf), m_owner(owner) {}

  bool Contains(std::string_view url) const { return Find(url).has_value(); }
  // The number `url` was listed under, if it is in the index.
  std::optional<std::uint32_t> Find(std::string_view url) const;
  // Adds `url` under `id`; `url` must not be in the index yet.
  void Insert(std::string_view url, std::uint32_t id);
  std::size_t Count() const { return m_count; }

 private:
  struct Slot {
    std::uint32_t id = kFree;
    std::uint32_t hash = 0;
  };
  static constexpr std::uint32_t kFree = 0xFFFFFFFF;

  std::size_t SlotOf(std::string_view url, std::uint32_t hash) const;
  void Grow();

  UrlOf m_urlOf;
  const void* m_owner;
  std::vector<Slot> m_slots;  // a power of two in size, never more than half full
  std::size_t m_count = 0;
};
