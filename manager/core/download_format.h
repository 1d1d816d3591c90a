#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The download manager's texts and checks, free of any window.

// "Rate": below 1024 bytes a second "%d b/sec"; from 1024 on the rate times
// 0.001 as "%.1f k/sec" (the unit is 1000 bytes, the threshold 1024).
std::string FormatRate(std::uint32_t bytesPerSecond);

// The size, downloaded and retries cells: the record's value as the
// unsigned number it is. (Read as a signed one, a file of 2 GiB or more
// showed a negative size.) The record holds 32 bits: from 4 GiB on the
// engine keeps 4294967295 there.
std::string CellNumber(std::uint32_t value);

// Add URL takes an address whose first characters are exactly "http:" or
// "https:" (lower case as written); nothing else is looked at.
bool IsDownloadableUrl(std::string_view url);
// The addresses in a text, one per line (a paste, a drop, the Add URL
// field): each line without the white space around it; empty lines go.
std::vector<std::string> AddressLines(std::string_view text);
// The file name Add URL derives: the one every program gives a file from
// that address (FileNameFromAddress), so the same address added here or in
// the crawler's list lands in the same file.
std::string FileNameFromUrl(std::string_view url);

// A number field of the options dialog, read as an unsigned decimal from its
// first 63 characters the way "%lu" reads it: white space first is skipped,
// digits after the number are ignored ("12abc" is 12), a minus sign wraps
// round ("-1" is 4294967295), and too large a number is the largest. None
// when no number starts the text.
std::optional<std::uint32_t> ReadNumberField(std::string_view text);
