#include "manager/core/progress_text.h"

#include <cstdio>

std::string FormatBytes(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  // 999.5 and more rounds to four digits: the next unit says it in three.
  while (value >= 999.5 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  const int decimals = value < 0.9995 ? 3 : value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, value, kUnits[unit]);
  return text;
}

std::string FormatSpeed(std::uint64_t bytesPerSecond) { return FormatBytes(bytesPerSecond) + "/s"; }

std::string FormatTimeLeft(std::optional<std::uint64_t> seconds) {
  if (!seconds) return {};
  const auto pair = [](std::uint64_t big, const char* bigUnit, std::uint64_t small, const char* smallUnit) {
    std::string text = std::to_string(big);
    text.append(" ").append(bigUnit);
    if (small) text.append(" ").append(std::to_string(small)).append(" ").append(smallUnit);
    return text;
  };
  const std::uint64_t s = *seconds;
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return pair(s / 60, "min", s % 60, "s");
  if (s < 86400) return pair(s / 3600, "h", s % 3600 / 60, "min");
  return pair(s / 86400, "d", s % 86400 / 3600, "h");
}

std::optional<std::uint64_t> SecondsLeft(const _LinkStructType& record) {
  if (record.dwFileSize == 0 || record.dwBytesPerSecond == 0) return std::nullopt;
  const std::uint64_t rest =
      record.dwCurrentSize < record.dwFileSize ? std::uint64_t{record.dwFileSize} - record.dwCurrentSize : 0;
  return (rest + record.dwBytesPerSecond - 1) / record.dwBytesPerSecond;
}

std::string RowTooltip(const _LinkStructType& record) {
  std::string text(RecordText(record.szFileName));
  text += '\n';
  if (record.dwFileSize > 0) {
    // Rounded down, so that 100 % means every byte is there.
    const std::uint64_t percent = std::uint64_t{record.dwCurrentSize} * 100 / record.dwFileSize;
    text += std::to_string(percent) + " % - " + FormatBytes(record.dwCurrentSize) + " of " +
            FormatBytes(record.dwFileSize);
  } else {
    text += FormatBytes(record.dwCurrentSize) + ", size unknown";
  }
  if (record.dwBytesPerSecond > 0) {
    text += '\n' + FormatSpeed(record.dwBytesPerSecond);
    if (const std::string left = FormatTimeLeft(SecondsLeft(record)); !left.empty()) text += ", " + left + " left";
  }
  text += '\n';
  text += RecordText(record.szHref);
  return text;
}

std::string TotalsText(int downloading, int queued, std::uint64_t bytesPerSecond) {
  if (downloading == 0 && queued == 0) return "Nothing to download";
  return std::to_string(downloading) + " downloading, " + std::to_string(queued) + " queued, " +
         FormatSpeed(bytesPerSecond);
}
