#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "contract/interfaces.h"

// An enumerator over a snapshot of the engine's records, taken at Reset
// (under the engine's queue lock), so the engine's lists may change freely
// while a client walks it.
class CEnumFiles final : public IEnumFiles {
 public:
  // Gives the records to list at each Reset; empty for an enumerator that is
  // not attached to an engine (it then yields nothing).
  using Snapshot = std::function<std::vector<_LinkStructType>()>;
  // Called at creation and destruction: an enumerator keeps its server alive.
  using LifetimeHook = std::function<void(bool created)>;

  explicit CEnumFiles(Snapshot snapshot = {}, LifetimeHook hook = {});
  ~CEnumFiles() override;

  HRESULT Next(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) override;
  HRESULT Skip(std::uint32_t celt) override;
  HRESULT Reset() override;
  HRESULT Clone(std::shared_ptr<IEnumFiles>* ppenum) override;

 private:
  Snapshot m_snapshot;
  LifetimeHook m_hook;
  std::mutex m_mutex;
  std::vector<_LinkStructType> m_records;
  std::size_t m_position = 0;
};
