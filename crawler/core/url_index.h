#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// The duplicate index beside a link list: the set of listed addresses,
// compared byte for byte. It holds views of the listed addresses, not copies,
// so the texts it refers to must outlive it and never change.
//
// Open addressing with the hash kept beside each view: a page lists every
// reference it holds, most of them more than once, and a lookup that finds
// its slot in one flat array and compares the text only when the hashes
// agree is several times faster than a node-based set.
class UrlIndex {
 public:
  bool Contains(std::string_view url) const;
  // Adds `url`, which must not be in the index yet.
  void Insert(std::string_view url);
  std::size_t Count() const { return m_count; }

 private:
  struct Slot {
    std::string_view url;  // empty data pointer: a free slot
    std::size_t hash = 0;
  };
  std::size_t Find(std::string_view url, std::size_t hash) const;
  void Grow();

  std::vector<Slot> m_slots;  // a power of two in size, never more than half full
  std::size_t m_count = 0;
};
