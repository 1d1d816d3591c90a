#include "pullwright/enum_files.h"

#include <algorithm>

CEnumFiles::CEnumFiles(Snapshot snapshot, LifetimeHook hook) : m_snapshot(std::move(snapshot)), m_hook(std::move(hook)) {
  if (m_hook) m_hook(true);
}

CEnumFiles::~CEnumFiles() {
  if (m_hook) m_hook(false);
}

HRESULT CEnumFiles::Next(std::uint32_t celt, _LinkStructType* rgelt, std::uint32_t* pceltFetched) {
  if (!rgelt && celt > 0) return E_POINTER;
  std::lock_guard lock(m_mutex);
  const std::size_t count = std::min<std::size_t>(celt, m_records.size() - m_position);
  std::copy_n(m_records.begin() + static_cast<std::ptrdiff_t>(m_position), count, rgelt);
  m_position += count;
  if (pceltFetched) *pceltFetched = static_cast<std::uint32_t>(count);
  return count == celt ? S_OK : S_FALSE;
}

HRESULT CEnumFiles::Skip(std::uint32_t) { return E_NOTIMPL; }

HRESULT CEnumFiles::Reset() {
  if (!m_snapshot) return S_OK;
  std::vector<_LinkStructType> records = m_snapshot();
  std::lock_guard lock(m_mutex);
  m_records = std::move(records);
  m_position = 0;
  return S_OK;
}

HRESULT CEnumFiles::Clone(std::shared_ptr<IEnumFiles>*) { return E_NOTIMPL; }
