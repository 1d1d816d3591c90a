#pragma once

#include <cstdint>
#include <string>

#include "crawler/core/doc_host.h"
#include "gui/posted_event.h"

// The crawler's private messages as posted events, under their old numbers.
// Those the document knows come from doc_host.h; the rest are the window
// layer's own hand-overs of texts and sizes to the interface thread.
inline constexpr std::uint32_t WM_STATUS_TEXT = 0x1404;    // to the main window: the message pane's text
inline constexpr std::uint32_t WM_ADDRESS_TEXT = 0x1405;   // to the main window: the address bar's text

// The size of one entry is known; the list keeps the entry alive. Sizes
// reach the view with the links found, in the host's hand-over.
struct SizeFoundMessage {
  std::shared_ptr<const LinkList> list;
  const LinkEntry* entry = nullptr;
};

using CrawlDoneEvent = gui::MessageEvent<WM_CRAWL_DONE, CrawlDoneMessage>;
// The links (and sizes) wait in the host's hand-over; the event only wakes the view.
using LinkFoundEvent = gui::MessageEvent<WM_LINK_FOUND>;
using ShowErrorEvent = gui::MessageEvent<WM_SHOW_ERROR, std::string>;
using BusyStartEvent = gui::MessageEvent<WM_BUSY_START>;
using BusyEndEvent = gui::MessageEvent<WM_BUSY_END>;
using StatusTextEvent = gui::MessageEvent<WM_STATUS_TEXT, std::string>;
using AddressTextEvent = gui::MessageEvent<WM_ADDRESS_TEXT, std::string>;
