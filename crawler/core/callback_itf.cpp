#include "crawler/core/callback_itf.h"

#include "contract/status.h"
#include "crawler/core/fetchwick_doc.h"

HRESULT CallbackItf::DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) {
  CFetchwickDoc& doc = *m_pDoc;
  switch (dwStatus) {
    case STATUS_DONE:
    case STATUS_TRYING:
      // The engine may have started or finished its last transfer.
      doc.m_link.RefreshDownloading();
      break;
    case STATUS_ERROR:
      if (!pszStatus) return S_OK;
      // The view owns the copy from here on and shows it in an error box.
      if (doc.m_host.HasView()) doc.m_host.PostShowError(NamingAddress(pszStatus, RecordText(ls.szHref)));
      break;
    default:
      break;
  }
  // Every text, an error's too, becomes the download status text.
  if (pszStatus) doc.SetDownloadStatus(pszStatus);
  return S_OK;
}
