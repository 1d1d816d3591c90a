#pragma once

#include <cstdint>

#include "contract/interfaces.h"

class CQueuebayDoc;

// The download manager's sink for the engine's status events. It touches no
// window: it copies each event into the document's hand-over, keeps the
// "downloading" flag and the status text current, and returns.
//
// Events arrive on the connection's threads. The engine connection cuts this
// object off before the document goes and waits for events in delivery, so
// m_pDoc is valid whenever an event gets here.
class CDownloadStatusSink final : public ICallbackItf {
 public:
  explicit CDownloadStatusSink(CQueuebayDoc* pDoc) : m_pDoc(pDoc) {}

  // Always S_OK; a null text is allowed.
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override;

 private:
  CQueuebayDoc* const m_pDoc;
};
