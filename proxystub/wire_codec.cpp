#include "proxystub/wire_codec.h"

#include <cstring>

namespace wire {

namespace {

std::uint32_t LoadU32(const std::uint8_t* bytes) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

constexpr std::size_t kGuidBytes = 16;

}  // namespace

const MethodForm* FindIncomingMethod(Side receiver, std::uint32_t method) {
  auto find = [method](const auto& table) -> const MethodForm* {
    for (const MethodForm& form : table)
      if (static_cast<std::uint32_t>(form.method) == method) return &form;
    return nullptr;
  };
  return receiver == Side::Server ? find(kClientToServer) : find(kServerToClient);
}

const MethodForm* FindOutgoingMethod(Side caller, std::uint32_t method) {
  return FindIncomingMethod(caller == Side::Server ? Side::Client : Side::Server, method);
}

void FrameBuilder::Append(const void* bytes, std::size_t size) {
  const auto* begin = static_cast<const std::uint8_t*>(bytes);
  m_buffer.insert(m_buffer.end(), begin, begin + size);
}

void FrameBuilder::Begin(FrameKind kind, std::uint32_t callId, std::uint32_t objectId, std::uint32_t method) {
  m_buffer.clear();
  const std::uint32_t header[5] = {0, static_cast<std::uint32_t>(kind), callId, objectId, method};
  Append(header, sizeof header);
}

void FrameBuilder::Number(std::uint32_t value) { Append(&value, sizeof value); }

bool FrameBuilder::Text(const char* text) {
  if (!text) {
    Number(kNullText);
    return true;
  }
  const std::size_t length = ::strnlen(text, kMaxTextLength + 1);
  if (length > kMaxTextLength) return false;
  return Text(std::string_view(text, length));
}

bool FrameBuilder::Text(std::string_view text) {
  if (text.size() > kMaxTextLength || text.find('\0') != std::string_view::npos) return false;
  Number(static_cast<std::uint32_t>(text.size()));
  Append(text.data(), text.size());
  return true;
}

void FrameBuilder::Record(const _LinkStructType& record) { Append(&record, sizeof record); }

void FrameBuilder::Records(const _LinkStructType* records, std::uint32_t count) {
  Number(count);
  if (count) Append(records, sizeof(_LinkStructType) * count);
}

void FrameBuilder::GuidField(const Guid& guid) {
  Append(&guid.data1, 4);
  Append(&guid.data2, 2);
  Append(&guid.data3, 2);
  Append(guid.data4.data(), 8);
}

std::span<const std::uint8_t> FrameBuilder::Finish() {
  const std::uint32_t length = static_cast<std::uint32_t>(m_buffer.size() - 4);
  std::memcpy(m_buffer.data(), &length, sizeof length);
  return {m_buffer.data(), m_buffer.size()};
}

bool PayloadReader::Take(void* out, std::size_t size) {
  if (m_data.size() - m_offset < size) return false;
  std::memcpy(out, m_data.data() + m_offset, size);
  m_offset += size;
  return true;
}

bool PayloadReader::Number(std::uint32_t& value) { return Take(&value, sizeof value); }

bool PayloadReader::Text(char (&buffer)[kMaxTextBytes], bool* isNull) {
  std::uint32_t length = 0;
  if (!Number(length)) return false;
  if (isNull) *isNull = length == kNullText;
  if (length == kNullText) {
    buffer[0] = '\0';
    return true;
  }
  if (length > kMaxTextLength || !Take(buffer, length)) return false;
  buffer[length] = '\0';
  return std::memchr(buffer, 0, length) == nullptr;
}

bool PayloadReader::Record(_LinkStructType& record) {
  if (!Take(&record, sizeof record)) return false;
  TerminateRecordTexts(record);
  return true;
}

bool PayloadReader::Records(_LinkStructType* records, std::uint32_t capacity, std::uint32_t& count) {
  if (!Number(count) || count > capacity || count > kMaxNextCount) return false;
  for (std::uint32_t index = 0; index < count; ++index)
    if (!Record(records[index])) return false;
  return true;
}

bool PayloadReader::GuidField(Guid& guid) {
  return Take(&guid.data1, 4) && Take(&guid.data2, 2) && Take(&guid.data3, 2) && Take(guid.data4.data(), 8);
}

DecodeResult DecodeFrame(std::span<const std::uint8_t> bytes, FrameHeader& header) {
  if (bytes.size() < 4) return DecodeResult::NeedMore;
  const std::uint32_t length = LoadU32(bytes.data());
  // Checked before anything waits for (or allocates) the announced bytes.
  if (length < kHeaderBytes - 4 || length > kMaxFrameBytes - 4) return DecodeResult::Invalid;
  if (bytes.size() >= 8) {
    const std::uint32_t kind = LoadU32(bytes.data() + 4);
    if (kind < 1 || kind > 3) return DecodeResult::Invalid;
  }
  if (bytes.size() < std::size_t{length} + 4) return DecodeResult::NeedMore;
  header.length = length;
  header.kind = static_cast<FrameKind>(LoadU32(bytes.data() + 4));
  header.callId = LoadU32(bytes.data() + 8);
  header.objectId = LoadU32(bytes.data() + 12);
  header.method = LoadU32(bytes.data() + 16);
  // A release carries nothing but the object it drops.
  if (header.kind == FrameKind::Release && length != kHeaderBytes - 4) return DecodeResult::Invalid;
  return DecodeResult::Valid;
}

bool CheckFields(std::span<const Field> fields, std::span<const std::uint8_t> payload) {
  std::size_t offset = 0;
  auto need = [&](std::size_t size) {
    if (payload.size() - offset < size) return false;
    offset += size;
    return true;
  };
  for (Field field : fields) {
    switch (field) {
      case Field::None:
        return offset == payload.size();
      case Field::Number:
      case Field::Object:
        if (!need(4)) return false;
        break;
      case Field::Guid:
        if (!need(kGuidBytes)) return false;
        break;
      case Field::Record:
        if (!need(sizeof(_LinkStructType))) return false;
        break;
      case Field::Text: {
        if (!need(4)) return false;
        const std::uint32_t length = LoadU32(payload.data() + offset - 4);
        if (length == kNullText) break;
        if (length > kMaxTextLength || !need(length)) return false;
        if (std::memchr(payload.data() + offset - length, 0, length)) return false;
        break;
      }
      case Field::Records: {
        if (!need(4)) return false;
        const std::uint32_t count = LoadU32(payload.data() + offset - 4);
        if (count > kMaxNextCount || !need(std::size_t{count} * sizeof(_LinkStructType))) return false;
        break;
      }
    }
  }
  return offset == payload.size();
}

bool CheckCallPayload(const MethodForm& form, std::span<const std::uint8_t> payload) {
  return CheckFields(form.in, payload);
}

bool CheckReplyPayload(const MethodForm& form, std::span<const std::uint8_t> payload) {
  if (payload.size() < 4) return false;
  return CheckFields(form.out, payload.subspan(4));
}

}  // namespace wire
