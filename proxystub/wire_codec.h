#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "contract/hresult.h"
#include "contract/identities.h"
#include "contract/link_record.h"
#include "proxystub/wire_protocol.h"

namespace wire {

struct FrameHeader {
  std::uint32_t length = 0;  // bytes after the length field
  FrameKind kind = FrameKind::Call;
  std::uint32_t callId = 0;
  std::uint32_t objectId = 0;
  std::uint32_t method = 0;
};

// Builds one frame in one buffer, so that it goes out with one write. The
// buffer is the caller's and keeps its capacity between frames.
class FrameBuilder {
 public:
  explicit FrameBuilder(std::vector<std::uint8_t>& buffer) : m_buffer(buffer) {}

  void Begin(FrameKind kind, std::uint32_t callId, std::uint32_t objectId, std::uint32_t method);
  void Number(std::uint32_t value);
  // False (and nothing written) for a text longer than kMaxTextLength or
  // holding a NUL byte; a null pointer is written as the null text.
  bool Text(const char* text);
  bool Text(std::string_view text);
  void Record(const _LinkStructType& record);
  void Records(const _LinkStructType* records, std::uint32_t count);
  void GuidField(const Guid& guid);
  void Object(std::uint32_t id) { Number(id); }
  // Patches the length; the frame is the whole buffer.
  std::span<const std::uint8_t> Finish();

 private:
  void Append(const void* bytes, std::size_t size);
  std::vector<std::uint8_t>& m_buffer;
};

// Reads the fields of a payload that was checked against its form, and
// still never reads past its end: every read reports failure instead.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> payload) : m_data(payload) {}

  bool Number(std::uint32_t& value);
  // Copies a text into a 260-byte buffer with its terminator; `isNull` tells
  // a null text from an empty one.
  bool Text(char (&buffer)[kMaxTextBytes], bool* isNull = nullptr);
  // A received record's texts are forced to end within their 260 bytes.
  bool Record(_LinkStructType& record);
  // Reads at most `capacity` records; the count read is in `count`.
  bool Records(_LinkStructType* records, std::uint32_t capacity, std::uint32_t& count);
  bool GuidField(Guid& guid);
  bool Object(std::uint32_t& id) { return Number(id); }
  bool AtEnd() const { return m_offset == m_data.size(); }

 private:
  bool Take(void* out, std::size_t size);
  std::span<const std::uint8_t> m_data;
  std::size_t m_offset = 0;
};

enum class DecodeResult { NeedMore, Valid, Invalid };

// Looks at the start of `bytes` for one frame. Valid: `header` is filled
// and the frame is the first kHeaderBytes-4+header.length+4 bytes. Invalid:
// the stream can never become a valid frame (bad length or kind), and the
// connection must be closed.
DecodeResult DecodeFrame(std::span<const std::uint8_t> bytes, FrameHeader& header);

// Total bytes of a frame with this header.
inline std::size_t FrameSize(const FrameHeader& header) { return header.length + 4; }

// Checks that `payload` holds exactly the fields of `fields` (None ends the
// list), within every limit of the wire. A Reply payload is checked with a
// leading HRESULT; see CheckReplyPayload.
bool CheckFields(std::span<const Field> fields, std::span<const std::uint8_t> payload);
bool CheckCallPayload(const MethodForm& form, std::span<const std::uint8_t> payload);
bool CheckReplyPayload(const MethodForm& form, std::span<const std::uint8_t> payload);

}  // namespace wire
