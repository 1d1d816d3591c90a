#include "manager/core/download_format.h"

#include <cctype>
#include <algorithm>
#include <cstdio>

#include "contract/file_name.h"

std::string FormatRate(std::uint32_t bytesPerSecond) {
  char text[64];
  if (bytesPerSecond < 1024)
    std::snprintf(text, sizeof text, "%d b/sec", static_cast<int>(bytesPerSecond));
  else
    std::snprintf(text, sizeof text, "%.1f k/sec", bytesPerSecond * 0.001);
  return text;
}

std::string CellNumber(std::uint32_t value) { return std::to_string(value); }

bool IsDownloadableUrl(std::string_view url) { return url.starts_with("http:") || url.starts_with("https:"); }

std::vector<std::string> AddressLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
  }
  return lines;
}

std::string FileNameFromUrl(std::string_view url) { return FileNameFromAddress(url); }

std::optional<std::uint32_t> ReadNumberField(std::string_view text) {
  text = text.substr(0, 63);
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return std::nullopt;
  // Read as a 32-bit unsigned number is read: too large saturates, and a
  // minus sign negates within 32 bits.
  std::uint64_t value = 0;
  bool overflow = false;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    if (value > UINT32_MAX) overflow = true;
    if (overflow) value = UINT32_MAX;
  }
  if (overflow) return UINT32_MAX;
  const auto magnitude = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}
