#include "crawler/core/link_entry.h"

#include <utility>

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

const LinkEntry* LinkList::Append(LinkEntry entry) {
  std::lock_guard lock(m_mutex);
  if (m_index.Contains(entry.url)) return nullptr;
  LinkEntry& listed = m_entries.emplace_back(std::move(entry));
  // The view points into the listed string, whose buffer never changes again.
  m_index.Insert(listed.url);
  return &listed;
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
