#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "crawler/core/url_index.h"

// One link found by a crawl: a row of the link list view.
struct LinkEntry {
  std::string url;        // complete address; the identity of the entry
  std::string name;       // "File Name" column: file name with lower-cased extension, or the host
  std::string extension;  // "Extension" column: lower case, without the dot; may be empty
  std::int32_t isFile = 0;  // 1 for a file, 0 for a page or an address without a usable extension
  // "File Size" column: 0 until the size query sets it, -1 when the server
  // gave no length. It is the one field that changes after the entry is
  // listed, written by the size-query thread while the view reads it, hence
  // atomic; mutable because everyone else only ever sees listed entries as const.
  mutable std::atomic<std::int32_t> size{0};

  LinkEntry() = default;
  LinkEntry(const LinkEntry& other);
  LinkEntry(LinkEntry&& other) noexcept;
  LinkEntry& operator=(const LinkEntry& other);
  LinkEntry& operator=(LinkEntry&& other) noexcept;
};

// The links of one crawl, in the order found. Every crawl gets a list of its
// own (held by std::shared_ptr), so rows and posted messages that still point
// at entries of an earlier crawl keep them alive, and a superseded crawl
// thread never writes into the list that a newer crawl fills.
//
// Entries never move once listed (std::deque only appends), which lets the
// view keep plain pointers to them and lets the duplicate index refer to the
// listed addresses without copying them. Appends come from the crawl thread
// while the interface thread reads, so both go through one mutex; the entries
// themselves are read without it, as they never change after they are listed
// (apart from their atomic size).
class LinkList {
 public:
  LinkList() = default;
  LinkList(const LinkList&) = delete;
  LinkList& operator=(const LinkList&) = delete;

  // Lists a copy of `entry` at the end, unless an entry with the same address
  // (byte for byte) is already listed: then the list is unchanged and the
  // result is null, so the first one found keeps its place.
  const LinkEntry* Append(LinkEntry entry);
  bool Contains(std::string_view url) const;

  std::size_t Count() const;
  // The entry at `index` in list order, or null past the end.
  const LinkEntry* At(std::size_t index) const;
  // Every entry listed so far, in list order.
  std::vector<const LinkEntry*> Entries() const;

 private:
  mutable std::mutex m_mutex;
  std::deque<LinkEntry> m_entries;
  UrlIndex m_index;  // views of the listed entries' addresses
};
