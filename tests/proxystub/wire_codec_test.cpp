// The frame decoder and the payload checks: split input, limits, and the
// texts and records that come from outside.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "proxystub/wire_codec.h"

namespace {

using wire::DecodeResult;
using wire::Field;

std::vector<std::uint8_t> StatusFrame(const char* text) {
  std::vector<std::uint8_t> frame;
  wire::FrameBuilder builder(frame);
  builder.Begin(wire::FrameKind::Call, 7, 3, static_cast<std::uint32_t>(wire::Method::DownloadStatus));
  builder.Number(6);
  EXPECT_TRUE(builder.Text(text));
  _LinkStructType record{};
  CopyRecordText(record.szHref, "http://h/a");
  record.dwFileSize = 4095;
  builder.Record(record);
  builder.Finish();
  return frame;
}

TEST(WireCodec, AFrameSplitAnywhereIsDecodedOnlyWhenWhole) {
  std::vector<std::uint8_t> stream = StatusFrame("Downloading a, 1 of 2 bytes");
  const std::size_t first = stream.size();
  const auto second = StatusFrame("");
  stream.insert(stream.end(), second.begin(), second.end());
  for (std::size_t cut = 0; cut < first; ++cut) {
    wire::FrameHeader header;
    ASSERT_EQ(wire::DecodeFrame(std::span(stream).first(cut), header), DecodeResult::NeedMore) << cut;
  }
  wire::FrameHeader header;
  ASSERT_EQ(wire::DecodeFrame(stream, header), DecodeResult::Valid);
  EXPECT_EQ(wire::FrameSize(header), first);
  EXPECT_EQ(header.callId, 7u);
  EXPECT_EQ(header.objectId, 3u);
  const auto payload = std::span(stream).subspan(wire::kHeaderBytes, first - wire::kHeaderBytes);
  const auto* form = wire::FindIncomingMethod(wire::Side::Client, header.method);
  ASSERT_TRUE(form);
  EXPECT_TRUE(wire::CheckCallPayload(*form, payload));
  wire::PayloadReader reader(payload);
  std::uint32_t status = 0;
  char text[kMaxTextBytes];
  _LinkStructType record;
  ASSERT_TRUE(reader.Number(status) && reader.Text(text) && reader.Record(record));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(std::string(text), "Downloading a, 1 of 2 bytes");
  EXPECT_EQ(RecordText(record.szHref), "http://h/a");
  EXPECT_EQ(record.dwFileSize, 4095u);
  ASSERT_EQ(wire::DecodeFrame(std::span(stream).subspan(first), header), DecodeResult::Valid);
}

TEST(WireCodec, FramesThatCanNeverBeValidAreInvalidAtOnce) {
  auto decode = [](std::vector<std::uint32_t> words) {
    wire::FrameHeader header;
    std::vector<std::uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return wire::DecodeFrame(bytes, header);
  };
  EXPECT_EQ(decode({8}), DecodeResult::Invalid);                      // shorter than a header
  EXPECT_EQ(decode({wire::kMaxFrameBytes}), DecodeResult::Invalid);   // longer than any frame
  EXPECT_EQ(decode({16, 9}), DecodeResult::Invalid);                  // no such kind
  EXPECT_EQ(decode({20, 3, 0, 5, 0, 0}), DecodeResult::Invalid);      // a release with a payload
  EXPECT_EQ(decode({16, 3, 0, 5, 0}), DecodeResult::Valid);
  EXPECT_EQ(decode({wire::kMaxFrameBytes - 4, 2}), DecodeResult::NeedMore);
}

TEST(WireCodec, TextsAndCountsAreCheckedBeforeAnyoneReadsThem) {
  const auto& download = *wire::FindIncomingMethod(wire::Side::Server,
                                                   static_cast<std::uint32_t>(wire::Method::DownloadFile));
  auto payloadOf = [](std::uint32_t length, std::string bytes, std::string second = "x") {
    std::vector<std::uint8_t> payload(4);
    std::memcpy(payload.data(), &length, 4);
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    const std::uint32_t secondLength = static_cast<std::uint32_t>(second.size());
    payload.insert(payload.end(), reinterpret_cast<const std::uint8_t*>(&secondLength),
                   reinterpret_cast<const std::uint8_t*>(&secondLength) + 4);
    payload.insert(payload.end(), second.begin(), second.end());
    return payload;
  };
  EXPECT_TRUE(wire::CheckCallPayload(download, payloadOf(259, std::string(259, 'a'))));
  EXPECT_FALSE(wire::CheckCallPayload(download, payloadOf(260, std::string(260, 'a'))));
  EXPECT_FALSE(wire::CheckCallPayload(download, payloadOf(3, std::string("a\0b", 3))));
  EXPECT_FALSE(wire::CheckCallPayload(download, payloadOf(5, "abc")));  // shorter than announced
  auto trailing = payloadOf(1, "a");
  trailing.push_back(0);
  EXPECT_FALSE(wire::CheckCallPayload(download, trailing));
  EXPECT_TRUE(wire::CheckCallPayload(download, payloadOf(wire::kNullText, "")));

  const Field records[] = {Field::Records};
  std::vector<std::uint8_t> many(4);
  const std::uint32_t count = wire::kMaxNextCount + 1;
  std::memcpy(many.data(), &count, 4);
  many.resize(4 + count * sizeof(_LinkStructType));
  EXPECT_FALSE(wire::CheckFields(records, many));

  // The builder refuses what the checker would refuse.
  std::vector<std::uint8_t> frame;
  wire::FrameBuilder builder(frame);
  builder.Begin(wire::FrameKind::Call, 1, 1, 0);
  EXPECT_FALSE(builder.Text(std::string(260, 'a').c_str()));
  EXPECT_FALSE(builder.Text(std::string_view("a\0b", 3)));
  EXPECT_EQ(frame.size(), wire::kHeaderBytes);
}

TEST(WireCodec, AReceivedRecordsTextsEndWithinTheirFields) {
  _LinkStructType sent;
  std::memset(&sent, 'z', sizeof sent);
  std::vector<std::uint8_t> bytes(sizeof sent);
  std::memcpy(bytes.data(), &sent, sizeof sent);
  wire::PayloadReader reader(bytes);
  _LinkStructType received;
  ASSERT_TRUE(reader.Record(received));
  EXPECT_EQ(std::strlen(received.szHref), kMaxTextBytes - 1);
  EXPECT_EQ(std::strlen(received.szFileName), kMaxTextBytes - 1);
}

TEST(WireCodec, EveryMethodHasItsOwnNumberAndAnObjectThatAnswersIt) {
  std::set<std::uint32_t> numbers;
  auto check = [&](const auto& table, std::initializer_list<wire::ObjectKind> kinds) {
    for (const wire::MethodForm& form : table) {
      const auto number = static_cast<std::uint32_t>(form.method);
      EXPECT_TRUE(numbers.insert(number).second) << form.name;
      bool answered = false;
      for (wire::ObjectKind kind : kinds) answered |= wire::Answers(kind, wire::TagOf(number));
      EXPECT_TRUE(answered) << form.name;
    }
  };
  using K = wire::ObjectKind;
  check(wire::kClientToServer, {K::ClassFactory, K::Engine, K::Enumerator, K::ConnectionPoint});
  check(wire::kServerToClient, {K::Sink});
}

}  // namespace
