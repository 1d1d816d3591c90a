#include "crawler/core/link_entry.h"

#include <algorithm>
#include <cstring>
#include <utility>

void LinkText::Clear() {
  std::memset(m_bytes, 0, sizeof m_bytes);
  m_bytes[kInPlace] = static_cast<char>(kInPlace);
}

void LinkText::Release() {
  if (!InBlock()) return;
  char* block = nullptr;
  std::memcpy(&block, m_bytes, sizeof block);
  delete[] block;
}

void LinkText::Assign(std::string_view text) {
  // The text may be this one's own: it is copied before anything is freed.
  if (text.size() <= kInPlace) {
    char bytes[16] = {};
    std::memcpy(bytes, text.data(), text.size());
    bytes[kInPlace] = static_cast<char>(kInPlace - text.size());
    Release();
    std::memcpy(m_bytes, bytes, sizeof m_bytes);
    return;
  }
  // The longest text a page can hold fits 32 bits many times over.
  char* block = new char[text.size() + 1];
  std::memcpy(block, text.data(), text.size());
  block[text.size()] = '\0';
  const auto length = static_cast<std::uint32_t>(text.size());
  Release();
  std::memcpy(m_bytes, &block, sizeof block);
  std::memcpy(m_bytes + sizeof block, &length, sizeof length);
  m_bytes[kInPlace] = static_cast<char>(kInBlock);
}

std::string_view LinkText::view() const {
  if (!InBlock()) return std::string_view(m_bytes, kInPlace - static_cast<unsigned char>(m_bytes[kInPlace]));
  const char* block = nullptr;
  std::uint32_t length = 0;
  std::memcpy(&block, m_bytes, sizeof block);
  std::memcpy(&length, m_bytes + sizeof block, sizeof length);
  return std::string_view(block, length);
}

LinkText& LinkText::operator=(const LinkText& other) {
  if (this != &other) Assign(other.view());
  return *this;
}

LinkText& LinkText::operator=(LinkText&& other) noexcept {
  if (this != &other) {
    Release();
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    other.Clear();
  }
  return *this;
}

LinkText& LinkText::operator=(std::string_view text) {
  Assign(text);
  return *this;
}

LinkEntry::LinkEntry(const LinkEntry& other)
    : url(other.url),
      name(other.name),
      extension(other.extension),
      isFile(other.isFile),
      size(other.size.load(std::memory_order_relaxed)) {}

LinkEntry::LinkEntry(LinkEntry&& other) noexcept
    : url(std::move(other.url)),
      name(std::move(other.name)),
      extension(std::move(other.extension)),
      isFile(other.isFile),
      size(other.size.load(std::memory_order_relaxed)) {}

LinkEntry& LinkEntry::operator=(const LinkEntry& other) {
  LinkEntry copy(other);
  return *this = std::move(copy);
}

LinkEntry& LinkEntry::operator=(LinkEntry&& other) noexcept {
  url = std::move(other.url);
  name = std::move(other.name);
  extension = std::move(other.extension);
  isFile = other.isFile;
  size.store(other.size.load(std::memory_order_relaxed), std::memory_order_relaxed);
  return *this;
}

namespace {

// The index knows entries by 32-bit numbers.
std::size_t Bounded(std::size_t limit) { return std::min<std::size_t>(limit, 0xFFFFFFFE); }

}  // namespace

LinkList::LinkList(std::size_t limit) : m_index(&LinkList::UrlOf, this), m_limit(Bounded(limit)) {}

void LinkList::SetLimit(std::size_t limit) {
  std::lock_guard lock(m_mutex);
  m_limit = Bounded(limit);
}

std::size_t LinkList::Limit() const {
  std::lock_guard lock(m_mutex);
  return m_limit;
}

std::string_view LinkList::UrlOf(const void* list, std::uint32_t id) {
  // Called by the index under the list's mutex.
  return static_cast<const LinkList*>(list)->m_entries[id].url;
}

const LinkEntry* LinkList::Append(LinkEntry entry) {
  std::lock_guard lock(m_mutex);
  if (m_index.Contains(entry.url)) return nullptr;
  if (m_entries.size() >= m_limit) {
    m_cut.store(true, std::memory_order_relaxed);
    return nullptr;
  }
  LinkEntry& listed = m_entries.emplace_back(std::move(entry));
  m_index.Insert(listed.url, static_cast<std::uint32_t>(m_entries.size() - 1));
  return &listed;
}

bool LinkList::Cut() const { return m_cut.load(std::memory_order_relaxed); }

std::optional<std::size_t> LinkList::IndexOf(std::string_view url) const {
  std::lock_guard lock(m_mutex);
  if (const auto id = m_index.Find(url)) return *id;
  return std::nullopt;
}

bool LinkList::Contains(std::string_view url) const {
  std::lock_guard lock(m_mutex);
  return m_index.Contains(url);
}

std::size_t LinkList::Count() const {
  std::lock_guard lock(m_mutex);
  return m_entries.size();
}

const LinkEntry* LinkList::At(std::size_t index) const {
  std::lock_guard lock(m_mutex);
  return index < m_entries.size() ? &m_entries[index] : nullptr;
}

std::vector<const LinkEntry*> LinkList::Entries() const {
  std::lock_guard lock(m_mutex);
  std::vector<const LinkEntry*> entries;
  entries.reserve(m_entries.size());
  for (const LinkEntry& entry : m_entries) entries.push_back(&entry);
  return entries;
}
