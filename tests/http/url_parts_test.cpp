#include "http/url_parts.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitUrl, SplitsAbsoluteAddresses) {
  struct Case {
    const char* url;
    const char* scheme;
    const char* host;
    const char* port;
    const char* path;
  };
  const Case cases[] = {
      {"http://host/dir/page.html", "http", "host", "", "/dir/page.html"},
      {"HTTP://Host:8080/a?b=1#frag", "http", "Host", "8080", "/a?b=1"},
      {"https://h", "https", "h", "", "/"},
      {"http://h/a/./b/../c.zip", "http", "h", "", "/a/c.zip"},
      {"http://h/../../x", "http", "h", "", "/x"},
      {"http://127.0.0.1:1/cgi/prog.cgi?x=1&y=/z", "http", "127.0.0.1", "1", "/cgi/prog.cgi?x=1&y=/z"},
      {"ftp://files.example/pub/a.zip", "ftp", "files.example", "", "/pub/a.zip"},
      {"http://h/with space.zip", "http", "h", "", "/with space.zip"},
  };
  for (const Case& c : cases) {
    const auto parts = SplitUrl(c.url);
    ASSERT_TRUE(parts.has_value()) << c.url;
    EXPECT_EQ(parts->scheme, c.scheme) << c.url;
    EXPECT_EQ(parts->host, c.host) << c.url;
    EXPECT_EQ(parts->port, c.port) << c.url;
    EXPECT_EQ(parts->path, c.path) << c.url;
  }
}

TEST(SplitUrl, FailsOnWhatItCannotRead) {
  for (const char* bad : {"", "no-scheme/page.html", "/relative/path", "http://", "http://h:99999/",
                          "http://bad host/"}) {
    EXPECT_FALSE(SplitUrl(bad).has_value()) << bad;
  }
  EXPECT_FALSE(SplitUrl(std::string_view("http://h/a\0b", 12)).has_value());
}

TEST(SplitUrl, OriginKeepsSchemeAndNamedPort) {
  EXPECT_EQ(UrlOrigin(*SplitUrl("HTTPS://h:8443/x")), "https://h:8443");
  EXPECT_EQ(UrlOrigin(*SplitUrl("http://h/x")), "http://h");
}

}  // namespace
