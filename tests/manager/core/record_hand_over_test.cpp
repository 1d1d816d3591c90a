// The hand-over of engine events to the download list: order kept, progress
// folded only where nothing but progress came after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/status.h"
#include "manager/core/record_hand_over.h"

namespace {

_LinkStructType Record(const std::string& href, std::uint32_t bytes = 0) {
  _LinkStructType record{};
  CopyRecordText(record.szHref, href);
  record.dwCurrentSize = bytes;
  return record;
}

// "code href bytes" per waiting event.
std::vector<std::string> Describe(const std::vector<PendingRecord>& events) {
  std::vector<std::string> lines;
  for (const PendingRecord& event : events)
    lines.push_back(std::to_string(event.code) + " " +
                    (event.code == STATUS_ERROR ? event.text
                                                : std::string(RecordText(event.record.szHref)) + " " +
                                                      std::to_string(event.record.dwCurrentSize)));
  return lines;
}

TEST(RecordHandOver, ProgressFoldsIntoTheLatestUntilAnotherCodeComes) {
  RecordHandOver handOver;
  EXPECT_TRUE(handOver.Push(STATUS_QUEUED, Record("a")));  // the first wakes the view
  EXPECT_FALSE(handOver.Push(STATUS_PROGRESS, Record("a", 1)));
  handOver.Push(STATUS_PROGRESS, Record("b", 1));
  handOver.Push(STATUS_PROGRESS, Record("a", 2));  // folds across b's progress
  handOver.Push(STATUS_PROGRESS, Record("A", 9));  // another address: letter case counts
  handOver.PushError("boom");
  handOver.Push(STATUS_PROGRESS, Record("a", 3));  // not across the error
  handOver.Push(STATUS_PROGRESS, Record("a", 4));
  handOver.Push(STATUS_DONE, Record("a", 4));
  handOver.Push(STATUS_PROGRESS, Record("b", 2));
  EXPECT_EQ(Describe(handOver.Take()), (std::vector<std::string>{"8 a 0", "6 a 2", "6 b 1", "6 A 9", "3 boom",
                                                                "6 a 4", "5 a 4", "6 b 2"}));
  // Taken: the next event wakes the view again and folds nothing of before.
  EXPECT_TRUE(handOver.Push(STATUS_PROGRESS, Record("b", 3)));
  EXPECT_EQ(Describe(handOver.Take()), std::vector<std::string>{"6 b 3"});
  EXPECT_EQ(handOver.MostWaiting(), 8u);
}

TEST(RecordHandOver, WhatWaitsStaysBoundedByTheTransfersInProgress) {
  RecordHandOver handOver;
  for (std::uint32_t chunk = 0; chunk < 100000; ++chunk)
    for (const char* href : {"one", "two", "three"}) handOver.Push(STATUS_PROGRESS, Record(href, chunk));
  EXPECT_EQ(Describe(handOver.Take()), (std::vector<std::string>{"6 one 99999", "6 two 99999", "6 three 99999"}));
  EXPECT_EQ(handOver.MostWaiting(), 3u);
}

}  // namespace
