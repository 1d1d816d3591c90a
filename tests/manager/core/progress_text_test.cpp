// The friendly figures of the download list's tooltips and totals pane.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "manager/core/progress_text.h"

namespace {

_LinkStructType Record(const char* name, std::uint32_t size, std::uint32_t current, std::uint32_t rate) {
  _LinkStructType record{};
  CopyRecordText(record.szFileName, name);
  CopyRecordText(record.szHref, std::string("http://h/") + name);
  record.dwFileSize = size;
  record.dwCurrentSize = current;
  record.dwBytesPerSecond = rate;
  return record;
}

TEST(ProgressText, SizesSpeedsAndTimesAtTheirBoundaries) {
  const std::pair<std::uint64_t, const char*> sizes[] = {
      {0, "0 bytes"},          {1, "1 byte"},           {1023, "1023 bytes"},        {1024, "1.00 KB"},
      {1536, "1.50 KB"},       {10234, "9.99 KB"},      {10235, "10.0 KB"},          {1023487, "999 KB"},
      {1023488, "0.976 MB"},   {12897485, "12.3 MB"},   {1095216661, "1.02 GB"},     {4294967295u, "4.00 GB"},
      {UINT64_MAX, "16.0 EB"},
  };
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(FormatBytes(bytes), text) << bytes;
  EXPECT_EQ(FormatSpeed(0), "0 bytes/s");
  EXPECT_EQ(FormatSpeed(1258291), "1.20 MB/s");

  const std::pair<std::optional<std::uint64_t>, const char*> times[] = {
      {std::nullopt, ""}, {0, "0 s"},   {59, "59 s"},          {60, "1 min"},          {200, "3 min 20 s"},
      {3599, "59 min 59 s"}, {3600, "1 h"}, {7500, "2 h 5 min"}, {86399, "23 h 59 min"}, {90000, "1 d 1 h"},
  };
  for (const auto& [seconds, text] : times) EXPECT_EQ(FormatTimeLeft(seconds), text) << seconds.value_or(-1);
}

TEST(ProgressText, TooltipsAndTotals) {
  // Sized and moving: percent rounded down, time left rounded up. A size
  // of 2^31 and more is told as it is, not as the negative cell shows it.
  EXPECT_EQ(RowTooltip(Record("a.zip", 28311552, 12897485, 1258291)),
            "a.zip\n45 % - 12.3 MB of 27.0 MB\n1.20 MB/s, 13 s left\nhttp://h/a.zip");
  EXPECT_EQ(RowTooltip(Record("big.iso", 3000000000u, 2999999999u, 1)),
            "big.iso\n99 % - 2.79 GB of 2.79 GB\n1 byte/s, 1 s left\nhttp://h/big.iso");
  // No size: no percent and no time left.
  EXPECT_EQ(RowTooltip(Record("b.bin", 0, 12897485, 1258291)),
            "b.bin\n12.3 MB, size unknown\n1.20 MB/s\nhttp://h/b.bin");
  // No rate: no rate line.
  EXPECT_EQ(RowTooltip(Record("c", 2048, 0, 0)), "c\n0 % - 0 bytes of 2.00 KB\nhttp://h/c");

  EXPECT_EQ(TotalsText(0, 0, 0), "Nothing to download");
  EXPECT_EQ(TotalsText(0, 3, 0), "0 downloading, 3 queued, 0 bytes/s");
  EXPECT_EQ(TotalsText(2, 5, 3565158), "2 downloading, 5 queued, 3.40 MB/s");
}

}  // namespace
