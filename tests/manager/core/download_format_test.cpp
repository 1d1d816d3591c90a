// The download manager's cell texts, the Add URL check and file name, and
// the options dialog's number reading.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "manager/core/download_format.h"

namespace {

TEST(DownloadFormat, RatesAndCells) {
  const std::pair<std::uint32_t, const char*> rates[] = {
      {0, "0 b/sec"}, {1023, "1023 b/sec"}, {1024, "1.0 k/sec"}, {1536000, "1536.0 k/sec"}, {4294967295u, "4294967.3 k/sec"},
  };
  for (const auto& [rate, text] : rates) EXPECT_EQ(FormatRate(rate), text) << rate;
  EXPECT_EQ(CellNumber(2147483648u), "2147483648");
  EXPECT_EQ(CellNumber(4294967295u), "4294967295");
}

TEST(DownloadFormat, AddUrlTakesOnlyHttpAndHttpsAsWritten) {
  for (const char* url : {"http://h/x", "https://h/a.zip", "http:a", "https:"}) EXPECT_TRUE(IsDownloadableUrl(url)) << url;
  for (const char* url : {"HTTP://h/x", "Https://h/x", "ftp://h/x", "http", "", " http://h/x"})
    EXPECT_FALSE(IsDownloadableUrl(url)) << url;

  const std::pair<const char*, const char*> names[] = {
      {"http://h/dir/get.php?id=7", "get.php"},
      {"http://h/dir/", "h"},
      {"http:a", "a"},
      {"http://h/a\\b.TAR.GZ", "b.TAR.gz"},
  };
  for (const auto& [url, name] : names) EXPECT_EQ(FileNameFromUrl(url), name) << url;
  // At most 255 bytes: an extension that leaves no room is cut with the rest.
  EXPECT_EQ(FileNameFromUrl("http://h/" + std::string(300, 'n') + "." + std::string(300, 'e')), std::string(255, 'n'));
}

TEST(DownloadFormat, NumberFieldsReadAsAnUnsignedDecimal) {
  const std::pair<const char*, std::optional<std::uint32_t>> fields[] = {
      {"5", 5u},           {"  12abc", 12u},     {"-1", 4294967295u},     {"-5", 4294967291u},
      {"+7", 7u},          {"4294967295", 4294967295u}, {"99999999999", 4294967295u}, {"0", 0u},
      {"", std::nullopt},  {"abc", std::nullopt}, {"-", std::nullopt},      {"--1", std::nullopt},
  };
  for (const auto& [text, value] : fields) EXPECT_EQ(ReadNumberField(text), value) << '"' << text << '"';
  // Only the first 63 characters count.
  EXPECT_EQ(ReadNumberField(std::string(62, ' ') + "7"), 7u);
  EXPECT_EQ(ReadNumberField(std::string(63, ' ') + "7"), std::nullopt);
}

}  // namespace
