#pragma once

#include <cstdint>

#include "contract/interfaces.h"
#include "proxystub/engine_link.h"

class CQueuebayDoc;

// The download manager's sink for the engine's status events. It touches no
// window: it copies each event into the document's hand-over, keeps the
// "downloading" flag and the status text current, and returns.
class CDownloadStatusSink final : public ps::DocumentSink<CQueuebayDoc> {
 public:
  using DocumentSink::DocumentSink;

  // Always S_OK; a null text is allowed.
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override;
};
