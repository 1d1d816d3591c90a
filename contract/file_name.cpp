#include "contract/file_name.h"

#include <algorithm>
#include <optional>

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsSchemeCharacter(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Where the first byte that is `a` or `b` stands, from `from` on; the size
// when none is. Written out: find_first_of calls memchr once per byte.
std::size_t FindEither(std::string_view text, char a, char b, std::size_t from = 0) {
  for (std::size_t at = from; at < text.size(); ++at)
    if (text[at] == a || text[at] == b) return at;
  return text.size();
}

// Where the segment after the last "/" or "\\" begins.
std::size_t LastSegmentStart(std::string_view path) {
  for (std::size_t at = path.size(); at > 0; --at)
    if (path[at - 1] == '/' || path[at - 1] == '\\') return at;
  return 0;
}

enum class Escapes { Decoded, Kept };

// One byte of a name as written: a raw byte, or a "%XX" escape when
// escapes are decoded.
struct Unit {
  unsigned char byte;
  std::size_t size;
};

Unit UnitAt(std::string_view text, std::size_t at, Escapes escapes) {
  if (escapes == Escapes::Decoded && text[at] == '%' && at + 2 < text.size() &&
      HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0)
    return {static_cast<unsigned char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2])), 3};
  return {static_cast<unsigned char>(text[at]), 1};
}

// A character as written: its code point, and the bytes of text (escapes
// included) it takes.
struct Character {
  char32_t codePoint;
  std::size_t written;
};

// The character that starts at `at`, if the units there are valid UTF-8:
// shortest form, no surrogates, at most U+10FFFF.
std::optional<Character> DecodeCharacter(std::string_view text, std::size_t at, Escapes escapes) {
  const Unit lead = UnitAt(text, at, escapes);
  if (lead.byte < 0x80) return Character{lead.byte, lead.size};
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead.byte >= 0xC2 && lead.byte <= 0xDF) {
    length = 2;
  } else if (lead.byte >= 0xE0 && lead.byte <= 0xEF) {
    length = 3;
    if (lead.byte == 0xE0) low = 0xA0;
    if (lead.byte == 0xED) high = 0x9F;
  } else if (lead.byte >= 0xF0 && lead.byte <= 0xF4) {
    length = 4;
    if (lead.byte == 0xF0) low = 0x90;
    if (lead.byte == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }
  char32_t codePoint = lead.byte & (0x7F >> length);
  std::size_t next = at + lead.size;
  for (std::size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    if (next >= text.size()) return std::nullopt;
    const Unit unit = UnitAt(text, next, escapes);
    if (unit.byte < low || unit.byte > high) return std::nullopt;
    codePoint = (codePoint << 6) | (unit.byte & 0x3F);
    next += unit.size;
  }
  return Character{codePoint, next - at};
}

// Characters no name may show. Control characters would reach terminals
// and file managers as they are (escape sequences, line breaks); "/" and
// "\\" would make a name a path; the bidirectional controls reorder what is
// shown, so that the end of a name can pass for its extension.
bool IsReplaced(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == '/' || c == '\\' || c == 0x061C || c == 0x200E ||
         c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A byte that continues a UTF-8 character rather than starting one.
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The longest prefix of `text` of at most `limit` bytes that ends on a
// character boundary. Bytes of no valid character count one by one, so at
// most three are stepped back over.
std::size_t CharacterBoundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  for (int step = 0; step < 3 && cut > 0 && IsContinuation(text[cut]); ++step) --cut;
  return IsContinuation(text[cut]) ? limit : cut;
}

// Where the extension of a name begins (its last "."), or npos.
std::size_t ExtensionStart(std::string_view name) { return name.rfind('.'); }

// Cuts a name to kMaxFileName bytes. The extension is kept when the part
// before it keeps one character at least; otherwise the name is cut as a
// whole.
void CutToLimit(std::string& name) {
  if (name.size() <= kMaxFileName) return;
  const std::size_t dot = ExtensionStart(name);
  if (dot != std::string::npos && dot > 0) {
    const std::size_t extension = name.size() - dot;
    if (extension < kMaxFileName) {
      const std::size_t stem = CharacterBoundary(std::string_view(name).substr(0, dot), kMaxFileName - extension);
      if (stem > 0) {
        name.erase(stem, dot - stem);
        return;
      }
    }
  }
  name.resize(CharacterBoundary(name, kMaxFileName));
}

// A byte that stands for itself in a name.
bool IsPlain(char c, Escapes escapes) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x7F && c != '/' && c != '\\' && (c != '%' || escapes == Escapes::Kept);
}

// The clean-up every name gets; `escapes` says whether "%XX" is decoded
// first.
std::string Clean(std::string_view text, Escapes escapes) {
  std::string name;
  name.reserve(text.size());
  // The plain run up to the first byte that needs a look is taken whole;
  // most names are nothing else.
  std::size_t at = 0;
  while (at < text.size() && IsPlain(text[at], escapes)) ++at;
  name.append(text.substr(0, at));
  while (at < text.size()) {
    const std::optional<Character> c = DecodeCharacter(text, at, escapes);
    if (!c) {
      // No valid UTF-8 here: the first byte stays as written, escape and all.
      const std::size_t written = UnitAt(text, at, escapes).size;
      name.append(text.substr(at, written));
      at += written;
      continue;
    }
    if (IsReplaced(c->codePoint))
      name += '_';
    else
      AppendUtf8(name, c->codePoint);
    at += c->written;
  }
  if (name.starts_with('-')) name[0] = '_';
  CutToLimit(name);
  return name;
}

bool IsUsableName(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

// The host of an authority ("user@host:port"), without user and port.
std::string_view HostOf(std::string_view authority) {
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (authority.starts_with('[')) return authority.substr(0, authority.find(']') + 1);  // "[::1]:80"
  return authority.substr(0, authority.find(':'));
}

bool IsUsableExtension(std::string_view extension) {
  if (extension.size() < 2) return false;
  for (const char c : extension)
    if (c == '?' || c == '*' || c == ':' || c == '<' || c == '>' || c == '|') return false;
  return true;
}

}  // namespace

std::size_t SchemeLength(std::string_view address) {
  if (address.empty() || !IsAsciiLetter(address[0])) return 0;
  std::size_t at = 1;
  while (at < address.size() && IsSchemeCharacter(address[at])) ++at;
  return at < address.size() && address[at] == ':' ? at : 0;
}

AddressFileName SplitAddressFileName(std::string_view address) {
  // Two memchr scans beat one loop that tests every byte twice.
  address = address.substr(0, std::min(address.find('?'), address.find('#')));
  std::string_view host;
  std::size_t pathStart = 0;
  if (const std::size_t scheme = SchemeLength(address); scheme > 0) {
    pathStart = scheme + 1;
    if (address.substr(pathStart, 2) == "//") {
      const std::size_t authorityEnd = FindEither(address, '/', '\\', pathStart + 2);
      host = HostOf(address.substr(pathStart + 2, authorityEnd - pathStart - 2));
      pathStart = authorityEnd;
    }
  }
  const std::string_view path = address.substr(pathStart);
  const std::string_view segment = path.substr(LastSegmentStart(path));

  AddressFileName file;
  file.name = Clean(segment, Escapes::Decoded);
  if (IsUsableName(file.name)) {
    const std::size_t dot = ExtensionStart(file.name);
    if (dot != std::string::npos && IsUsableExtension(std::string_view(file.name).substr(dot)))
      file.extensionSize = file.name.size() - dot;
    return file;
  }
  // "", "." and ".." name a folder, not a file: its host names it, as the
  // link list always showed such an address.
  file.name = Clean(host, Escapes::Decoded);
  if (!IsUsableName(file.name)) file.name = "index.html";
  return file;
}

void AddressFileName::LowerExtension() {
  for (std::size_t at = name.size() - extensionSize; at < name.size(); ++at)
    if (name[at] >= 'A' && name[at] <= 'Z') name[at] = static_cast<char>(name[at] - 'A' + 'a');
}

std::string FileNameFromAddress(std::string_view address) {
  AddressFileName file = SplitAddressFileName(address);
  file.LowerExtension();
  return std::move(file.name);
}

std::string CleanFileName(std::string_view name) { return Clean(name, Escapes::Kept); }
