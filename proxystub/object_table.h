#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "contract/hresult.h"
#include "proxystub/wire_codec.h"

namespace ps {

class Connection;

// The receiving end of an exported object: it decodes one call of the
// object's methods, runs it on the real object and writes the out-fields.
class Stub {
 public:
  virtual ~Stub() = default;
  virtual wire::ObjectKind Kind() const = 0;
  // `in` was checked against the method's form. When the result is a
  // failure the out-fields may be left unwritten; empty ones are sent.
  virtual HRESULT Invoke(Connection& connection, wire::Method method, wire::PayloadReader& in,
                         wire::FrameBuilder& out) = 0;
};

// The objects one side exported to the peer over one connection, each with
// the number of references the peer holds.
class ObjectTable {
 public:
  // The permanent object 0 (the server's class factory).
  void SetFactory(std::shared_ptr<Stub> factory);
  // Adds an object with one remote reference under a new id.
  std::uint32_t Export(std::shared_ptr<Stub> stub);
  std::shared_ptr<Stub> Find(std::uint32_t id) const;

  enum class ReleaseResult { Released, Unknown };
  // Drops one reference; the object itself is dropped (outside the lock)
  // when none is left.
  ReleaseResult Release(std::uint32_t id);
  // Drops every object but the factory, outside the lock.
  void Clear();
  // Exports other than the factory.
  std::size_t Count() const;

 private:
  struct Entry {
    std::shared_ptr<Stub> stub;
    std::uint32_t refs = 0;
  };
  mutable std::mutex m_mutex;
  std::shared_ptr<Stub> m_factory;
  std::unordered_map<std::uint32_t, Entry> m_entries;
  std::uint32_t m_nextId = 1;
};

}  // namespace ps
