#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract/identities.h"
#include "contract/link_record.h"
#include "contract/status.h"

TEST(LinkRecord, CopyRecordTextKeepsUpTo259BytesAndRefusesMore) {
  _LinkStructType record{};
  const std::string longest(259, 'a');
  ASSERT_TRUE(CopyRecordText(record.szHref, longest));
  EXPECT_EQ(RecordText(record.szHref), longest);
  EXPECT_EQ(record.szHref[259], '\0');

  // Refused texts leave the field as it was rather than cutting.
  EXPECT_FALSE(CopyRecordText(record.szHref, std::string(260, 'b')));
  EXPECT_FALSE(CopyRecordText(record.szHref, std::string("a\0b", 3)));
  EXPECT_EQ(RecordText(record.szHref), longest);

  ASSERT_TRUE(CopyRecordText(record.szFileName, ""));
  EXPECT_EQ(RecordText(record.szFileName), "");
}

TEST(LinkRecord, TextsFromOutsideEndWithinTheirField) {
  _LinkStructType record;
  std::memset(&record, 'x', sizeof record);
  EXPECT_EQ(RecordText(record.szHref).size(), 260u);
  TerminateRecordTexts(record);
  EXPECT_EQ(RecordText(record.szHref), std::string(259, 'x'));
  EXPECT_EQ(RecordText(record.szFileName), std::string(259, 'x'));
}

TEST(StatusText, FormatsInFullBeyond260Bytes) {
  const std::string name(300, 'n');
  const std::string text = FormatText(status_text::kProgress, name.c_str(), 10LL, 5000000000LL);
  EXPECT_EQ(text, "Downloading " + name + ", 10 of 5000000000 bytes");
  EXPECT_EQ(FormatText(status_text::kErrorOpeningUrlWithHref, 12007, "the name could not be resolved", "http://h/"),
            "Error Opening URL: 12007 (the name could not be resolved)\nURL: http://h/");
  EXPECT_EQ(FormatText("%s", ""), "");
}

// Only a whole file reads as finished; every other ending names what
// happened and how far it got, with or without a known size.
TEST(StatusText, EndingsSayWhatHappened) {
  const struct {
    DownloadEnding ending;
    std::uint64_t current, total;
    const char* text;
    const char* reason = "";
  } cases[] = {
      {DownloadEnding::Finished, 10, 10, "Finished downloading f.bin"},
      {DownloadEnding::Stopped, 117, 200, "Stopped downloading f.bin (117 of 200 bytes)"},
      {DownloadEnding::Canceled, 5000000000, 0, "Canceled downloading f.bin (5000000000 bytes)"},
      {DownloadEnding::Failed, 0, 0, "Failed downloading f.bin (0 bytes)"},
      {DownloadEnding::Failed, 0, 0, "Failed downloading f.bin (0 bytes): Download error: 404 Not Found",
       "Download error: 404 Not Found\nFile: f.bin"},
      {DownloadEnding::Interrupted, 5, 9, "Interrupted downloading f.bin (5 of 9 bytes); trying again"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EndingText(c.ending, "f.bin", c.current, c.total, c.reason), c.text);
    // Every client reads the ending back from the text alone.
    EXPECT_EQ(EndingOfText(c.text), c.ending) << c.text;
    const std::string_view reason(c.reason);
    EXPECT_EQ(EndingReason(c.text), reason.substr(0, reason.find('\n'))) << c.text;
  }
  EXPECT_EQ(EndingOfText("Downloading f.bin, 10 bytes"), std::nullopt);
  EXPECT_EQ(EndingOfText("Canceled f.bin"), std::nullopt);
}

TEST(Identities, AreDistinctAndPrintInRegistryForm) {
  const Guid all[] = {CLSID_DownloadEngine, IID_IDownloadEngine, IID_IEnumFiles, IID_ICallbackItf,
                      LIBID_PullwrightLib,  APPID_Pullwright,    APPID_Fetchwick, APPID_Queuebay};
  for (std::size_t i = 0; i < std::size(all); ++i)
    for (std::size_t j = i + 1; j < std::size(all); ++j) EXPECT_FALSE(all[i] == all[j]) << i << " " << j;
  EXPECT_EQ(GuidToString(CLSID_DownloadEngine), "{8B468963-5CF5-4085-8B4D-47EC2A843B95}");
}
