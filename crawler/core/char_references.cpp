#include "crawler/core/char_references.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct NamedReference {
  std::string_view name;  // after "&", with the ";"
  char character;
};
constexpr std::array<NamedReference, 5> kNamed = {{
    {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''},
}};

constexpr char32_t kReplacement = 0xFFFD;
// Any number above the last code point is as bad as the next one; counting
// stops there, so a long run of digits cannot overflow.
constexpr char32_t kBeyond = 0x110000;

std::size_t WriteUtf8(char32_t code, char* out) {
  if (code == 0 || code >= kBeyond || (code >= 0xD800 && code <= 0xDFFF)) code = kReplacement;
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

// The reference at the start of `text` (just after its "&"): how many bytes
// of `text` it takes, 0 when it is none, with its UTF-8 bytes in `out`.
std::size_t DecodeOne(std::string_view text, char* out, std::size_t& outLength) {
  if (text.empty()) return 0;
  if (text[0] != '#') {
    for (const NamedReference& named : kNamed) {
      if (text.starts_with(named.name)) {
        out[0] = named.character;
        outLength = 1;
        return named.name.size();
      }
    }
    return 0;
  }
  if (!ContinuesNumericReference(text.substr(1))) return 0;
  const bool hex = text[1] == 'x' || text[1] == 'X';
  std::size_t at = hex ? 2 : 1;
  char32_t code = 0;
  for (; at < text.size(); ++at) {
    const int digit = hex ? HexDigit(text[at]) : (IsDigit(text[at]) ? text[at] - '0' : -1);
    if (digit < 0) break;
    code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    if (code > kBeyond) code = kBeyond;
  }
  if (at < text.size() && text[at] == ';') ++at;
  outLength = WriteUtf8(code, out);
  return at;
}

}  // namespace

bool ContinuesNumericReference(std::string_view afterHash) {
  if (afterHash.empty()) return false;
  if (IsDigit(afterHash[0])) return true;
  return (afterHash[0] == 'x' || afterHash[0] == 'X') && afterHash.size() > 1 && HexDigit(afterHash[1]) >= 0;
}

void DecodeCharacterReferences(std::string& value) {
  std::size_t in = value.find('&');
  if (in == std::string::npos) return;
  // Every reference is at least as long as what it decodes to, so the
  // decoded text is written over the encoded one without overtaking it.
  std::size_t out = in;
  while (in < value.size()) {
    if (value[in] == '&') {
      char decoded[4];
      std::size_t decodedLength = 0;
      if (const std::size_t used = DecodeOne(std::string_view(value).substr(in + 1), decoded, decodedLength)) {
        std::memcpy(value.data() + out, decoded, decodedLength);
        out += decodedLength;
        in += 1 + used;
        continue;
      }
    }
    value[out++] = value[in++];
  }
  value.resize(out);
}
