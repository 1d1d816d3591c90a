#include "crawler/core/link_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "crawler/core/url_index.h"

namespace {

TEST(UrlIndex, FindsExactlyTheAddressesItHolds) {
  using namespace std::string_literals;
  std::vector<std::string> held;
  for (int i = 0; i < 5000; ++i) held.push_back("http://h/dir/" + std::to_string(i) + ".zip");
  held.push_back("");
  held.push_back("http://h/a\0b"s);
  UrlIndex index;
  for (const std::string& url : held) {
    ASSERT_FALSE(index.Contains(url)) << url;
    index.Insert(url);
  }
  EXPECT_EQ(index.Count(), held.size());
  for (const std::string& url : held) EXPECT_TRUE(index.Contains(url)) << url;
  for (const std::string& missing : {"http://h/dir/5000.zip"s, "http://h/dir/1.ZIP"s, "HTTP://h/dir/1.zip"s,
                                     "http://h/dir/1.zip "s, "http://h/dir/1.zi"s, "http://h/a"s, "http://h/a\0c"s})
    EXPECT_FALSE(index.Contains(missing)) << missing;
}

TEST(LinkList, KeepsTheFirstOfEqualAddresses) {
  LinkList list;
  LinkEntry first;
  first.url = "http://h/a.zip";
  first.name = "first";
  LinkEntry second = first;
  second.name = "second";
  const LinkEntry* listed = list.Append(first);
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(list.Append(second), nullptr);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.At(0), listed);
  EXPECT_EQ(listed->name, "first");
  EXPECT_EQ(list.At(1), nullptr);
}

TEST(LinkList, ReadersSeeAGrowingPrefixWhileACrawlAppends) {
  LinkList list;
  constexpr int kCount = 20000;
  std::thread crawl([&] {
    for (int i = 0; i < kCount; ++i) {
      LinkEntry entry;
      entry.url = "http://h/" + std::to_string(i);
      list.Append(std::move(entry));
    }
  });
  std::size_t seen = 0;
  while (seen < kCount) {
    const std::vector<const LinkEntry*> entries = list.Entries();
    ASSERT_GE(entries.size(), seen);
    for (std::size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i]->url, "http://h/" + std::to_string(i));
    seen = entries.size();
  }
  crawl.join();
  EXPECT_TRUE(list.Contains("http://h/19999"));
  EXPECT_FALSE(list.Contains("http://h/20000"));
}

}  // namespace
