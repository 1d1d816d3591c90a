#include "pullwright/sink_list.h"

#include "contract/status.h"

namespace {

// The connection slots grow from one to four and then double.
std::size_t GrownSlotCount(std::size_t count) { return count == 0 ? 1 : count == 1 ? 4 : count * 2; }

}  // namespace

HRESULT SinkList::Advise(std::shared_ptr<ICallbackItf> pUnkSink, std::uint32_t* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard lock(m_csSinks);
  std::size_t free = 0;
  while (free < m_sinks.size() && m_sinks[free]) ++free;
  if (free == m_sinks.size()) m_sinks.resize(GrownSlotCount(m_sinks.size()));
  m_sinks[free] = std::move(pUnkSink);
  *pdwCookie = static_cast<std::uint32_t>(free + 1);
  return S_OK;
}

HRESULT SinkList::Unadvise(std::uint32_t dwCookie) {
  std::shared_ptr<ICallbackItf> released;  // released after the lock is left
  std::lock_guard lock(m_csSinks);
  if (dwCookie == 0 || dwCookie > m_sinks.size() || !m_sinks[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
  released = std::move(m_sinks[dwCookie - 1]);
  if (m_sinks.size() == 1) m_sinks.clear();
  return S_OK;
}

void SinkList::Fire(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
  // Sinks in other processes take the event without an immediate wait, so
  // every sink has it in flight at once; the thread goes on only after all
  // of them answered.
  std::vector<std::unique_ptr<IPipelinedCallback::PendingCall>> pending;
  for (std::size_t index = 0;; ++index) {
    std::shared_ptr<ICallbackItf> sink;
    {
      std::lock_guard lock(m_csSinks);
      if (index >= m_sinks.size()) break;
      sink = m_sinks[index];
    }
    if (sink) {
      if (auto* pipelined = dynamic_cast<IPipelinedCallback*>(sink.get()))
        pending.push_back(pipelined->BeginDownloadStatus(dwStatus, pszStatus, ls));
      else
        sink->DownloadStatus(dwStatus, pszStatus, ls);
    }
    if (dwStatus == STATUS_ERROR) break;  // errors reach the first connection only
  }
  // The last sink called answers last, most likely: waiting for it first
  // finds the others' answers already in, so the thread sleeps once.
  for (auto call = pending.rbegin(); call != pending.rend(); ++call)
    if (*call) (*call)->Wait();
}
