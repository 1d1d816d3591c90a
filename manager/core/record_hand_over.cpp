#include "manager/core/record_hand_over.h"

#include "contract/status.h"

bool RecordHandOver::Push(std::uint32_t code, const _LinkStructType& record, std::string text) {
  if (code == STATUS_PROGRESS) {
    std::string href(RecordText(record.szHref));
    std::lock_guard lock(m_mutex);
    const auto [waiting, added] = m_foldable.try_emplace(std::move(href), m_pending.size());
    if (!added) {
      m_pending[waiting->second].record = record;
      return false;
    }
    m_pending.push_back(PendingRecord{code, record, {}});
    m_mostWaiting = std::max(m_mostWaiting, m_pending.size());
    return m_pending.size() == 1;
  }
  return Append(PendingRecord{code, record, std::move(text)});
}

bool RecordHandOver::PushError(std::string text) {
  return Append(PendingRecord{STATUS_ERROR, {}, std::move(text)});
}

bool RecordHandOver::Append(PendingRecord pending) {
  std::lock_guard lock(m_mutex);
  // Nothing may be folded across another code.
  m_foldable.clear();
  m_pending.push_back(std::move(pending));
  m_mostWaiting = std::max(m_mostWaiting, m_pending.size());
  return m_pending.size() == 1;
}

std::vector<PendingRecord> RecordHandOver::Take() {
  std::vector<PendingRecord> taken;
  std::lock_guard lock(m_mutex);
  taken.swap(m_pending);
  m_foldable.clear();
  return taken;
}

std::size_t RecordHandOver::MostWaiting() const {
  std::lock_guard lock(m_mutex);
  return m_mostWaiting;
}
