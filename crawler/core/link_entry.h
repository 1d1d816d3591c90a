#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crawler/core/url_index.h"

// A text of a link entry in sixteen bytes: up to fifteen bytes are kept in
// place, longer ones in a block of their own. A list holds up to a million
// entries, and three std::string of 32 bytes each made an entry twice the
// size, most of it empty. Reads like a std::string_view, converts to
// std::string where one is wanted, and always ends with a NUL byte for c_str().
class LinkText {
 public:
  LinkText() { Clear(); }
  // Not explicit, and converts back without a cast, so that entries are
  // filled and read as they were when their texts were std::string.
  LinkText(std::string_view text) : LinkText() { Assign(text); }
  LinkText(const LinkText& other) : LinkText() { Assign(other.view()); }
  LinkText(LinkText&& other) noexcept {
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    other.Clear();
  }
  LinkText& operator=(const LinkText& other);
  LinkText& operator=(LinkText&& other) noexcept;
  LinkText& operator=(std::string_view text);
  ~LinkText() { Release(); }

  std::string_view view() const;
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }
  const char* c_str() const { return view().data(); }
  const char* data() const { return c_str(); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return size() == 0; }

  friend bool operator==(const LinkText& a, const LinkText& b) { return a.view() == b.view(); }
  friend bool operator==(const LinkText& a, std::string_view b) { return a.view() == b; }
  friend std::strong_ordering operator<=>(const LinkText& a, const LinkText& b) { return a.view() <=> b.view(); }
  friend std::strong_ordering operator<=>(const LinkText& a, std::string_view b) { return a.view() <=> b; }
  friend std::string operator+(const LinkText& a, const LinkText& b) { return std::string(a.view()).append(b.view()); }
  friend std::string operator+(const LinkText& a, std::string_view b) { return std::string(a.view()).append(b); }
  friend std::string operator+(std::string_view a, const LinkText& b) { return std::string(a).append(b.view()); }
  friend std::ostream& operator<<(std::ostream& out, const LinkText& text) { return out << text.view(); }

 private:
  // In place: the bytes, then NUL bytes, and in the last byte the room left
  // (15 minus the length), which is the closing NUL when all fifteen are
  // used. In a block: its address, its length, and kInBlock in the last byte.
  static constexpr std::size_t kInPlace = 15;
  static constexpr unsigned char kInBlock = 0xFF;

  bool InBlock() const { return static_cast<unsigned char>(m_bytes[kInPlace]) == kInBlock; }
  void Assign(std::string_view text);
  void Release();
  void Clear();

  alignas(8) char m_bytes[16];
};

// One link found by a crawl: a row of the link list view.
struct LinkEntry {
  LinkText url;        // complete address; the identity of the entry
  LinkText name;       // "File Name" column: file name with lower-cased extension, or the host
  LinkText extension;  // "Extension" column: lower case, without the dot; may be empty
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

// A list holds at most this many links. A hostile page can hold millions
// of references, each costing far more as an entry than as page text; the
// first million are more than anyone reads, and the rest are left out with
// a word to the user.
inline constexpr std::size_t kMaxListedLinks = 1'000'000;

// The links of one crawl, in the order found. Every crawl gets a list of its
// own (held by std::shared_ptr), so rows and posted messages that still point
// at entries of an earlier crawl keep them alive, and a superseded crawl
// thread never writes into the list that a newer crawl fills.
//
// Entries never move once listed (std::deque only appends), which lets the
// view keep plain pointers to them and lets the duplicate index refer to the
// listed addresses by their place in the list. Appends come from the crawl
// thread while the interface thread reads, so both go through one mutex; the
// entries themselves are read without it, as they never change after they
// are listed (apart from their atomic size).
class LinkList {
 public:
  explicit LinkList(std::size_t limit = kMaxListedLinks);
  LinkList(const LinkList&) = delete;
  LinkList& operator=(const LinkList&) = delete;

  // How many links the list takes at most; set before the first Append.
  void SetLimit(std::size_t limit);
  std::size_t Limit() const;

  // Lists a copy of `entry` at the end, unless an entry with the same address
  // (byte for byte) is already listed: then the list is unchanged and the
  // result is null, so the first one found keeps its place. A new address
  // that finds the list full is not listed either (null), and the list
  // counts as cut from then on.
  const LinkEntry* Append(LinkEntry entry);
  bool Contains(std::string_view url) const;
  // The place in the list of the entry with this address, if one is listed.
  std::optional<std::size_t> IndexOf(std::string_view url) const;
  // Whether a new address was left out because the list was full.
  bool Cut() const;

  std::size_t Count() const;
  // The entry at `index` in list order, or null past the end.
  const LinkEntry* At(std::size_t index) const;
  // Every entry listed so far, in list order.
  std::vector<const LinkEntry*> Entries() const;

 private:
  static std::string_view UrlOf(const void* list, std::uint32_t id);

  mutable std::mutex m_mutex;
  std::deque<LinkEntry> m_entries;
  UrlIndex m_index;  // the listed entries' addresses, by their place in the list
  std::size_t m_limit;
  std::atomic<bool> m_cut{false};  // read without the mutex by scans that stop once it is set
};
