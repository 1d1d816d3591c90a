#pragma once

#include <cstdint>

#include "contract/interfaces.h"

class CFetchwickDoc;

// The crawler's sink for the engine's status events. It touches no window:
// it refreshes the document's "downloading" flag, posts an engine error to
// the view, and makes the event's text the download status text, then wakes
// the interface thread's idle refresh, which shows it.
//
// Events arrive on the connection's threads, several at once. The engine
// connection cuts this object off before the document goes away and waits
// for the events being delivered, so m_pDoc is valid whenever an event gets
// here.
class CallbackItf final : public ICallbackItf {
 public:
  explicit CallbackItf(CFetchwickDoc* pDoc) : m_pDoc(pDoc) {}

  // Always S_OK. The record is not looked at; a null text is allowed.
  HRESULT DownloadStatus(std::uint32_t dwStatus, const char* pszStatus, const _LinkStructType& ls) override;

 private:
  CFetchwickDoc* const m_pDoc;
};
