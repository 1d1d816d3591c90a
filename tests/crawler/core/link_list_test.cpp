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
  const auto urlOf = [](const void* owner, std::uint32_t id) -> std::string_view {
    return (*static_cast<const std::vector<std::string>*>(owner))[id];
  };
  UrlIndex index(urlOf, &held);
  for (std::uint32_t id = 0; id < held.size(); ++id) {
    ASSERT_FALSE(index.Contains(held[id])) << held[id];
    index.Insert(held[id], id);
  }
  EXPECT_EQ(index.Count(), held.size());
  for (std::uint32_t id = 0; id < held.size(); ++id) EXPECT_EQ(index.Find(held[id]), id) << held[id];
  for (const std::string& missing : {"http://h/dir/5000.zip"s, "http://h/dir/1.ZIP"s, "HTTP://h/dir/1.zip"s,
                                     "http://h/dir/1.zip "s, "http://h/dir/1.zi"s, "http://h/a"s, "http://h/a\0c"s})
    EXPECT_FALSE(index.Contains(missing)) << missing;
}

// Texts kept in place and in a block of their own read back the same, NUL
// bytes included, through every copy, move and assignment.
TEST(LinkText, KeepsEveryTextAsGiven) {
  using namespace std::string_literals;
  for (const std::string& text : {""s, "a"s, "a\0b"s, std::string(15, 'x'), std::string(16, 'y'), std::string(300, 'z')}) {
    const std::string tail = text.substr(text.empty() ? 0 : 1);
    LinkText kept(text);
    EXPECT_EQ(kept, text);
    EXPECT_EQ(kept.size(), text.size());
    EXPECT_EQ(kept.c_str()[text.size()], '\0');
    LinkText copy = kept;
    LinkText moved = std::move(kept);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(copy, text);
    EXPECT_EQ(moved, text);
    copy = copy;                // itself
    moved = moved.view().substr(text.size() - tail.size());  // a part of itself
    kept = std::move(copy);
    EXPECT_EQ(kept, text);
    EXPECT_EQ(std::string(moved), tail);
  }
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
