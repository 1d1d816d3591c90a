#pragma once

#include <cstdint>

#include "contract/interfaces.h"
#include "proxystub/engine_link.h"

class CFetchwickDoc;

// The crawler's sink for the engine's status events. It touches no window:
// it refreshes the document's "downloading" flag, posts an engine error to
// the view, and makes the event's text the download status text, then wakes
// the interface thread's idle refresh, which shows it.
class CallbackItf final : public ps::DocumentSink<CFetchwickDoc> {
 public:
  using DocumentSink::DocumentSink;

  // Always S_OK. The record is not looked at; a null text is allowed.
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override;
};
