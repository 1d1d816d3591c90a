// The chunked row sequence against a plain vector, under random insertions
// that cross many chunk boundaries.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crawler/app/row_sequence.h"

namespace {

TEST(RowSequence, BehavesLikeAVectorUnderRandomInsertions) {
  std::mt19937 random(20261207);
  RowSequence<int> rows;
  std::vector<int> expected;
  for (int step = 0; step < 20000; ++step) {
    const std::size_t at = random() % (expected.size() + 1);
    rows.insert(at, step);
    expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), step);
    ASSERT_EQ(rows.size(), expected.size());
    if (step % 997 == 0) ASSERT_EQ(rows.flatten(), expected) << "after step " << step;
  }
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rows[i], expected[i]);
  // Emptied and refilled.
  rows.clear();
  EXPECT_TRUE(rows.empty());
  rows.insert(0, 7);
  EXPECT_EQ(rows.flatten(), std::vector<int>{7});
}

TEST(RowSequence, UpperBoundPlacesAfterEqualElements) {
  RowSequence<int> rows;
  std::vector<int> sorted;
  for (int i = 0; i < 3000; ++i) sorted.push_back(i / 3);
  rows.assign(sorted);
  const auto less = [](int a, int b) { return a < b; };
  EXPECT_EQ(rows.upper_bound(5, less), 18u);
  EXPECT_EQ(rows.upper_bound(-1, less), 0u);
  EXPECT_EQ(rows.upper_bound(5000, less), 3000u);
}

}  // namespace
