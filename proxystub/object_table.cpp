#include "proxystub/object_table.h"

#include <vector>

namespace ps {

void ObjectTable::SetFactory(std::shared_ptr<Stub> factory) {
  std::lock_guard lock(m_mutex);
  m_factory = std::move(factory);
}

std::uint32_t ObjectTable::Export(std::shared_ptr<Stub> stub) {
  std::lock_guard lock(m_mutex);
  // Ids are never reused on a connection, so a late frame can never reach
  // an object that merely took the place of a released one.
  const std::uint32_t id = m_nextId++;
  m_entries[id] = Entry{std::move(stub), 1};
  return id;
}

std::shared_ptr<Stub> ObjectTable::Find(std::uint32_t id) const {
  std::lock_guard lock(m_mutex);
  if (id == wire::kFactoryObjectId) return m_factory;
  const auto it = m_entries.find(id);
  return it == m_entries.end() ? nullptr : it->second.stub;
}

ObjectTable::ReleaseResult ObjectTable::Release(std::uint32_t id) {
  std::shared_ptr<Stub> dropped;  // destroyed after the lock is left
  std::lock_guard lock(m_mutex);
  if (id == wire::kFactoryObjectId && m_factory) return ReleaseResult::Released;
  const auto it = m_entries.find(id);
  if (it == m_entries.end()) return ReleaseResult::Unknown;
  if (--it->second.refs == 0) {
    dropped = std::move(it->second.stub);
    m_entries.erase(it);
  }
  return ReleaseResult::Released;
}

void ObjectTable::Clear() {
  std::unordered_map<std::uint32_t, Entry> dropped;
  {
    std::lock_guard lock(m_mutex);
    dropped.swap(m_entries);
  }
}

std::size_t ObjectTable::Count() const {
  std::lock_guard lock(m_mutex);
  return m_entries.size();
}

}  // namespace ps
