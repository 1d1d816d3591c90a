#pragma once

#include <cstdint>

#include "gui/posted_event.h"

namespace queuebay {

// The download manager's private message to its view, under its old number.
// The records themselves wait in the document's hand-over; the event only
// wakes the view, once until it has taken them.
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_DOWNLOAD_RECORD = WM_USER + 1002;
using DownloadRecordEvent = gui::MessageEvent<WM_DOWNLOAD_RECORD>;

}  // namespace queuebay
