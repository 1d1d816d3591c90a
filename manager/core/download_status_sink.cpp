#include "manager/core/download_status_sink.h"

#include "contract/status.h"
#include "manager/core/queuebay_doc.h"

HRESULT CDownloadStatusSink::DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
  CQueuebayDoc& doc = *m_pDoc;
  bool wake = false;
  bool handedOver = true;
  switch (dwStatus) {
    case STATUS_ERROR:
      if (!pszStatus) return S_OK;
      wake = doc.m_handOver.PushError(NamingAddress(pszStatus, RecordText(ls.szHref)));
      break;
    case STATUS_DONE:
    case STATUS_TRYING:
      // A transfer began or ended: the flag follows the engine.
      doc.RefreshDownloadingState();
      // An ending's text tells the history how it ended.
      wake = doc.m_handOver.Push(dwStatus, ls, dwStatus == STATUS_DONE && pszStatus ? pszStatus : "");
      break;
    case STATUS_STARTING:
    case STATUS_PROGRESS:
    case STATUS_QUEUED:
      wake = doc.m_handOver.Push(dwStatus, ls);
      break;
    default:
      handedOver = false;
      break;
  }
  if (pszStatus) doc.m_link.SetStatus(pszStatus);
  // The view refreshes the status pane with every batch it takes; only a
  // text that came without a record needs a wake-up of its own.
  if (wake && doc.m_host.HasView()) doc.m_host.WakeView();
  if (!handedOver && pszStatus) doc.m_host.WakeIdleRefresh();
  return S_OK;
}
