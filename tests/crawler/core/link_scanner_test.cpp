#include "crawler/core/link_scanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// The non-empty values a scan hands on, in text order: what reaches the list.
std::vector<std::string> Scan(std::string_view text, std::string_view keyword) {
  // An exact-size copy, so that AddressSanitizer catches any read past the end.
  const std::unique_ptr<char[]> exact(new char[text.size()]);
  std::copy(text.begin(), text.end(), exact.get());
  const std::string_view page(exact.get(), text.size());

  std::vector<std::string> values;
  const KeywordSearch search(keyword);
  std::ptrdiff_t position = search.Next(page, 0);
  while (position >= 0) {
    const std::ptrdiff_t found = position;
    std::string value = ReadAttributeValue(search.keyword(), position, page);
    EXPECT_GT(position, found) << "the scan must move forward";
    if (!value.empty()) values.push_back(std::move(value));
    position = search.Next(page, position);
  }
  return values;
}

// The scan as first laid down: search an upper-cased copy of the whole text,
// each search starting where the previous value ended.
std::vector<std::string> ReferenceScan(std::string_view text, std::string keyword) {
  auto upper = [](std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  };
  const std::string copy = upper(std::string(text));
  keyword = upper(keyword);
  std::vector<std::string> values;
  std::size_t found = copy.find(keyword);
  while (found != std::string::npos) {
    auto position = static_cast<std::ptrdiff_t>(found);
    std::string value = ReadAttributeValue(keyword, position, text);
    if (!value.empty()) values.push_back(std::move(value));
    if (position > static_cast<std::ptrdiff_t>(copy.size())) break;
    found = copy.find(keyword, static_cast<std::size_t>(position));
  }
  return values;
}

using Values = std::vector<std::string>;

TEST(LinkScanner, FindsTheValuesOfPages) {
  struct Case {
    std::string text;
    const char* keyword;
    Values values;
  };
  const Case cases[] = {
      {"<a href='files/a.zip'>", "HREF", {"files/a.zip"}},
      {"<A HREF = 'Dir/File.ZIP' >", "href", {"Dir/File.ZIP"}},
      {"<a href=a.zip>", "HREF", {"a.zip"}},
      {"<a href='a.zip>", "HREF", {"a.zip"}},
      {"<a href=\"a.zip'>", "HREF", {"a.zip"}},
      // Any white space that separates attributes may stand before the
      // keyword; vertical tab and other names ending in it do not count.
      {"<a\nhref=\"x.html\">", "HREF", {"x.html"}},
      {"<img\n\tsrc=\"p.png\">", "SRC", {"p.png"}},
      {"<a\rhref=a <a\fhref=b <a\vhref=c", "HREF", {"a", "b"}},
      {"<a XHREF='a.zip' data-href='b.zip' \xA0href='c.zip'>", "HREF", {}},
      {"<a  href='a.zip'>", "HREF", {"a.zip"}},
      {"<a href='my file.zip'>", "HREF", {"my"}},
      {"<a href='#top'>", "HREF", {}},
      {"<a href='page.html#part2'>", "HREF", {"page.html"}},
      {"<a href=''>", "HREF", {}},
      {"<a hreflang='en' href='b.zip'>", "HREF", {"b.zip"}},
      {"<a xhref='c.zip'>", "HREF", {}},
      {"<img srcset='a.png 2x'>", "SRC", {}},
      {"<img src='a.png'>", "SRC", {"a.png"}},
      {"href=a.zip", "HREF", {}},
      {" href=abc", "HREF", {"abc"}},
      {"x href", "HREF", {}},
      {"x href =", "HREF", {}},
      {"x href = ' \t spaced.zip'", "HREF", {"spaced.zip"}},
      {"x href==a", "HREF", {"=a"}},
      {"x href=''a.zip'", "HREF", {}},
      // Only the eight delimiters end a value: "<", vertical tab and form feed do not.
      {"x href=a<b\v\fc>d", "HREF", {"a<b\v\fc"}},
      {"x href=a\rb href=c\nd href=e\tf href=g>", "HREF", {"a", "c", "e", "g"}},
      {"x href\r\n=\v\f'\t a.zip'", "HREF", {"a.zip"}},
      // An occurrence inside a value is passed over; the scan goes on after it.
      {"x href=' href=a.zip' href=b.zip", "HREF", {"href=a.zip", "b.zip"}},
      // In running text or a script an occurrence counts like one in a tag.
      {"<script>var s = ' src=\"x.js\"';</script>", "SRC", {"x.js"}},
      // Bytes of 0x80 and above are no whitespace and no delimiter.
      {"x href=\xC3\xA9t\xC3\xA9.zip \xA0href=a", "HREF", {"\xC3\xA9t\xC3\xA9.zip"}},
      {"x href=\xA0" "a.zip", "HREF", {"\xA0" "a.zip"}},
      // A keyword holding a space: an occurrence not preceded by one still
      // hides the one that starts inside it.
      {"xA A A=v", "A A", {}},
      {"x A A=v", "A A", {"v"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.text, c.keyword), c.values) << c.text;
}

// References are decoded before a value is used; "#" ends a value unless it
// begins a numeric reference, and also when a reference spells it.
TEST(LinkScanner, DecodesCharacterReferencesInValues) {
  const std::pair<const char*, Values> cases[] = {
      {" href=\"a.cgi?x=1&amp;y=2\"", {"a.cgi?x=1&y=2"}},
      {" href=\"issue?&#64;action=x\"", {"issue?@action=x"}},
      {" href=&#x40;&#X40;&#64x", {"@@@x"}},
      {" href='&lt;&gt;&quot;&apos;'", {"<>\"'"}},
      {" href=caf&#233;/&#x1F600;", {"caf\xC3\xA9/\xF0\x9F\x98\x80"}},
      // Numbers that name no character give U+FFFD, as in a browser.
      {" href=a&#0;&#xD800;&#99999999999;", {"a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}},
      // Anything else stays as written, and nothing is decoded twice.
      {" href=&copy;&amp&AMP;&x;a&b", {"&copy;&amp&AMP;&x;a&b"}},
      {" href=&amp;amp;", {"&amp;"}},
      {" href=a&#;b href=c&#xg", {"a&", "c&"}},
      {" href=page.html&#35;part href=p.html&amp;#64;", {"page.html", "p.html&"}},
  };
  for (const auto& [text, values] : cases) EXPECT_EQ(Scan(text, "HREF"), values) << text;
}

TEST(LinkScanner, NulEndsAValueButNotTheScan) {
  using namespace std::string_literals;
  EXPECT_EQ(Scan("x href=a\0b.zip href=c.zip"s, "HREF"), (Values{"a", "c.zip"}));
  EXPECT_EQ(Scan("\0 href=a.zip\0"s, "HREF"), (Values{"a.zip"}));
  EXPECT_EQ(Scan("x href=\0 href=b"s, "HREF"), (Values{"b"}));
  EXPECT_EQ(Scan("x href\0=a href=b"s, "HREF"), (Values{"b"}));
}

TEST(LinkScanner, ValueReaderLeavesThePositionWhereItStopped) {
  struct Case {
    const char* text;
    std::ptrdiff_t position;
    const char* value;
    std::ptrdiff_t left;
  };
  const Case cases[] = {
      {"a href='v.zip'>", 2, "v.zip", 13},  // on the closing quote
      {"a href=v.zip", 2, "v.zip", 12},     // at the end of the text
      {"ahref=v.zip", 1, "", 5},            // no space before: just past the keyword
      {"href=v.zip", 0, "", 4},
      {"a href x", 2, "", 7},               // not "=": on that byte
      {"a href", 2, "", 6},
      {"a hr", 2, "", 6},                   // a keyword cut by the end: past the end
      {"a href=v", 9, "", 9},               // outside the text: nothing read, nothing moved
      {"a href=v", -1, "", -1},
  };
  for (const Case& c : cases) {
    std::ptrdiff_t position = c.position;
    EXPECT_EQ(ReadAttributeValue("HREF", position, c.text), c.value) << c.text;
    EXPECT_EQ(position, c.left) << c.text;
  }
}

// Random pages built from the pieces that matter to the scan, checked against
// the scan of an upper-cased copy; each page is scanned whole and as every
// prefix, so that it also ends inside keywords and values.
TEST(LinkScanner, RandomPagesMatchTheUpperCasedCopyScan) {
  const char* pieces[] = {" ",  "href",  "HrEf", "src",  "SRC",  "=", "'",  "\"", "#",  ">",   "\n",  "\t",
                          "\v", "\f",    "\r",   "&",    "&#",   "6", "x",  "a.zip", "/", "\xC3", "\xA9", "h",
                          "re", "s",     "\0",   "aa",   "AAA",  "a a", "A_", "_"};
  std::mt19937 random(20240611);
  for (int round = 0; round < 400; ++round) {
    std::string page;
    const int count = std::uniform_int_distribution<int>(0, 60)(random);
    for (int i = 0; i < count; ++i) {
      const char* piece = pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
      page += *piece ? std::string(piece) : std::string(1, '\0');
    }
    for (std::size_t length = 0; length <= page.size(); ++length) {
      const std::string_view text(page.data(), length);
      for (const char* keyword : {"HREF", "src", "AA", "A A", "A", "A_"})
        ASSERT_EQ(Scan(text, keyword), ReferenceScan(text, keyword)) << keyword << " in " << text;
    }
  }
}

TEST(LinkScanner, RandomBytesStayInsideTheText) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string page(std::uniform_int_distribution<std::size_t>(0, 300)(random), '\0');
    for (char& c : page) c = static_cast<char>(random());
    // Sprinkle the keyword's letters and spaces so that the filters fire.
    for (std::size_t i = 0; i + 5 < page.size(); i += 1 + random() % 40) page.replace(i, 5, " hrEf");
    EXPECT_EQ(Scan(page, "HREF"), ReferenceScan(page, "HREF"));
  }
  EXPECT_TRUE(Scan("", "HREF").empty());
  EXPECT_TRUE(Scan("x href=a", "").empty());
}

}  // namespace

namespace {

std::vector<std::string> Kept(ReferenceList& references) {
  std::vector<std::string> values;
  std::string value;
  while (references.Next(value)) values.push_back(value);
  return values;
}

// The values a deep crawl keeps of a page are the scan's, in its order, as
// long as they fit; past that, reading stops at the occurrence that did not
// fit. A value of 300 bytes takes two length bytes.
TEST(ReferenceList, KeepsTheScansValuesWhileTheyFit) {
  const std::string longValue(300, 'v');
  const std::string text = "x href=a.html href='' href=b.zip href=" + longValue + " href=c";
  using Values = std::vector<std::string>;
  struct Case {
    std::size_t room;
    Values kept;
    std::optional<std::size_t> stopped;
  };
  const Case cases[] = {
      {1000, {"a.html", "b.zip", longValue, "c"}, std::nullopt},
      {7 + 6 + 302 + 2, {"a.html", "b.zip", longValue, "c"}, std::nullopt},  // exactly full
      {7 + 6 + 302 + 1, {"a.html", "b.zip", longValue}, text.rfind(" href=c") + 1},
      {7 + 6, {"a.html", "b.zip"}, text.find(" href=" + longValue) + 1},
      {0, {}, std::size_t{2}},
  };
  for (const Case& c : cases) {
    ReferenceList references;
    EXPECT_EQ(references.Read("HREF", text, c.room), c.stopped) << c.room;
    EXPECT_LE(references.size(), c.room);
    EXPECT_EQ(Kept(references), c.kept) << c.room;
  }
  // The random pages of the scan tests, whole.
  std::mt19937 random(11);
  const std::string pieces[] = {" ", "href", "=", "'", "#", "&#", "6", "x", "a.zip", "\n", std::string(200, 'y')};
  for (int round = 0; round < 300; ++round) {
    std::string page;
    for (int i = std::uniform_int_distribution<int>(0, 60)(random); i > 0; --i)
      page += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    ReferenceList references;
    EXPECT_EQ(references.Read("HREF", page, page.size()), std::nullopt) << page;
    EXPECT_EQ(Kept(references), Scan(page, "HREF")) << page;
  }
}

}  // namespace
