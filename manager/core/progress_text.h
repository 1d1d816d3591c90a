#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "contract/link_record.h"

// The download list's friendly figures: sizes, speeds and times in words a
// person reads at a glance, for tooltips and the totals pane. The list's
// cells keep their own exact texts (download_format.h).

// Below 1024 the exact count ("0 bytes", "1 byte", "512 bytes"); from there
// units of 1024 (KB, MB, GB, TB, PB, EB) with three significant digits
// ("1.50 KB", "12.3 MB", "999 KB"). A value that would round to 1000 of a
// unit is written in the next one ("0.977 MB"), so a figure never needs
// four digits.
std::string FormatBytes(std::uint64_t bytes);
// FormatBytes of the rate with "/s": "1.20 MB/s", "0 bytes/s".
std::string FormatSpeed(std::uint64_t bytesPerSecond);
// "45 s", "3 min 20 s", "2 h 5 min", "1 d 3 h" (a zero second part is left
// out: "3 min"); empty when the time is not known.
std::string FormatTimeLeft(std::optional<std::uint64_t> seconds);
// Seconds until the record's file is whole at its current rate, rounded
// up; none without a size or a rate.
std::optional<std::uint64_t> SecondsLeft(const _LinkStructType& record);

// A row's tooltip, one line each: the file name; "45 % - 12.3 MB of 27.0 MB"
// (or "12.3 MB, size unknown"); the rate and the time left when a rate is
// known; the address. Sizes are the record's unsigned values, whatever the
// cells show.
std::string RowTooltip(const _LinkStructType& record);

// The totals pane: "2 downloading, 5 queued, 3.40 MB/s"; "Nothing to
// download" when nothing is downloading or queued.
std::string TotalsText(int downloading, int queued, std::uint64_t bytesPerSecond);
