#include "crawler/core/link_scanner.h"

#include <algorithm>
#include <array>

#include "contract/ascii_text.h"
#include "crawler/core/char_references.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Space, tab, line feed, vertical tab, form feed, carriage return. Bytes of
// 0x80 and above are never whitespace, whatever the locale says.
bool IsWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What may stand right before a keyword that carries a value: the white
// space that separates attributes in a tag (space, tab, line feed, form
// feed, carriage return). Pages break long tags across lines, so a keyword
// at the start of a line is as much an attribute as one after a space;
// anything else ("xhref", "data-href") is part of another name.
constexpr std::array<bool, 256> kSeparatesAttributes = [] {
  std::array<bool, 256> separates{};
  for (unsigned char c : {' ', '\t', '\n', '\f', '\r'}) separates[c] = true;
  return separates;
}();

bool SeparatesAttributes(char c) { return kSeparatesAttributes[static_cast<unsigned char>(c)]; }

// The bytes that stop the walk through a value: those that end it, and "&",
// which may begin a character reference. The NUL byte ends a value because
// a value read out of a NUL-terminated page text always ended there.
constexpr std::array<bool, 256> kStopsValueWalk = [] {
  std::array<bool, 256> stops{};
  for (unsigned char c : {'"', '\'', ' ', '\t', '\r', '\n', '>', '#', '\0', '&'}) stops[c] = true;
  return stops;
}();

bool StopsValueWalk(char c) { return kStopsValueWalk[static_cast<unsigned char>(c)]; }

// The first position from `p` on that stops the walk, or the end. A loop
// of its own: folded into the caller's, it compiles to twice the work per byte.
std::ptrdiff_t WalkValue(std::string_view text, std::ptrdiff_t p) {
  return std::find_if(text.begin() + p, text.end(), StopsValueWalk) - text.begin();
}

// Whether an occurrence of `keyword` can hide one that carries a value: a
// second occurrence starting inside the first, right after white space that
// is part of the first ("A A" in "xA A A"). Only a keyword holding white
// space can do that; "HREF" and "SRC" cannot.
bool CanHideAnother(std::string_view keyword) {
  for (std::size_t shift = 1; shift < keyword.size(); ++shift)
    if (SeparatesAttributes(keyword[shift - 1]) && keyword.substr(shift) == keyword.substr(0, keyword.size() - shift))
      return true;
  return false;
}

}  // namespace

KeywordSearch::KeywordSearch(std::string_view keyword) : m_keyword(keyword), m_lower(keyword) {
  for (char& c : m_keyword) c = UpperAscii(c);
  for (char& c : m_lower) c = LowerAscii(c);
  m_canHide = CanHideAnother(m_keyword);
}

bool KeywordSearch::MatchesAt(std::string_view text, std::size_t at) const {
  for (std::size_t i = 0; i < m_keyword.size(); ++i) {
    const char c = text[at + i];
    if (c != m_keyword[i] && c != m_lower[i]) return false;
  }
  return true;
}

std::ptrdiff_t KeywordSearch::Next(std::string_view text, std::ptrdiff_t from) const {
  if (m_keyword.empty()) return -1;
  if (from < 0) from = 0;
  if (static_cast<std::size_t>(from) >= text.size()) return -1;
  return m_canHide ? NextAny(text, from) : NextAfterSeparator(text, from);
}

std::ptrdiff_t KeywordSearch::NextAny(std::string_view text, std::ptrdiff_t from) const {
  if (text.size() < m_keyword.size()) return -1;
  const std::size_t last = text.size() - m_keyword.size();
  for (std::size_t at = static_cast<std::size_t>(from); at <= last; ++at)
    if (MatchesAt(text, at)) return static_cast<std::ptrdiff_t>(at);
  return -1;
}

// Looks for white space followed by the keyword, the only form that carries
// a value. `at` below is the position of the white space; the keyword
// follows at at + 1, which must not lie before `from`.
std::ptrdiff_t KeywordSearch::NextAfterSeparator(std::string_view text, std::ptrdiff_t from) const {
  const std::size_t patternSize = m_keyword.size() + 1;
  if (text.size() < patternSize) return -1;
  const std::size_t last = text.size() - patternSize;  // last position the white space may have
  std::size_t at = from > 0 ? static_cast<std::size_t>(from) - 1 : 0;
  auto matchesAt = [&](std::size_t candidate) {
    return SeparatesAttributes(text[candidate]) && MatchesAt(text, candidate + 1);
  };

#if defined(__SSE2__)
  // Sixteen positions at a time, filtered on the first and the last letter
  // of the keyword (a letter compared with its 0x20 bit set, so both cases
  // match and nothing else does). The few positions that pass are checked in
  // full, the byte before the keyword first.
  auto fold = [](char c) { return _mm_set1_epi8(IsAsciiLetter(c) ? 0x20 : 0); };
  auto want = [](char c) { return _mm_set1_epi8(IsAsciiLetter(c) ? LowerAscii(c) : c); };
  const char first = m_keyword.front();
  const char final = m_keyword.back();
  const __m128i firstFold = fold(first), firstWant = want(first);
  const __m128i finalFold = fold(final), finalWant = want(final);
  const char* data = text.data();
  // Every load below ends at or before the last byte of the text.
  for (; at + 16 <= last + 1; at += 16) {
    const __m128i firsts = _mm_cmpeq_epi8(
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1)), firstFold), firstWant);
    const __m128i finals = _mm_cmpeq_epi8(
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + patternSize - 1)), finalFold),
        finalWant);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(firsts, finals)));
    while (mask != 0) {
      const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (matchesAt(candidate)) return static_cast<std::ptrdiff_t>(candidate + 1);
      mask &= mask - 1;
    }
  }
#endif

  for (; at <= last; ++at)
    if (matchesAt(at)) return static_cast<std::ptrdiff_t>(at + 1);
  return -1;
}

std::string ReadAttributeValue(std::string_view keyword, std::ptrdiff_t& position, std::string_view text) {
  std::string value;
  ReadAttributeValue(keyword, position, text, value);
  return value;
}

void ReadAttributeValue(std::string_view keyword, std::ptrdiff_t& position, std::string_view text,
                        std::string& value) {
  value.clear();
  const auto size = static_cast<std::ptrdiff_t>(text.size());
  std::ptrdiff_t p = position;
  if (p < 0 || p > size) return;
  const bool afterSeparator = p > 0 && SeparatesAttributes(text[p - 1]);
  p += static_cast<std::ptrdiff_t>(keyword.size());
  auto skipWhitespace = [&] {
    while (p < size && IsWhitespace(text[p])) ++p;
  };

  if (afterSeparator) {
    skipWhitespace();
    if (p < size && text[p] == '=') {
      ++p;
      skipWhitespace();
      // One opening quote of either kind is stepped over; which one it was
      // does not matter, any quote ends the value.
      if (p < size && (text[p] == '"' || text[p] == '\'')) ++p;
      skipWhitespace();
      const std::ptrdiff_t start = p;
      bool references = false;
      for (;;) {
        p = WalkValue(text, p);
        if (p == size) break;
        if (text[p] == '&') {
          references = true;
        } else {
          // "&#64;" spells a character: its "#" is no fragment.
          const bool numericReference = text[p] == '#' && p > start && text[p - 1] == '&' &&
                                        ContinuesNumericReference(text.substr(p + 1));
          if (!numericReference) break;
        }
        ++p;
      }
      value.assign(text.substr(start, p - start));
      if (references) {
        DecodeCharacterReferences(value);
        // A "#" written as a reference ("&#35;") still begins a fragment.
        value.resize(std::min(value.find('#'), value.size()));
      }
    }
  }
  position = p;
}

std::optional<std::size_t> ReferenceList::Read(std::string_view keyword, std::string_view text, std::size_t room) {
  m_bytes.clear();
  m_next = 0;
  // A large page gets room for the most its values can take, so the store
  // is never copied while it fills; a large part left over is given back
  // below. Small pages are not worth the two allocations.
  constexpr std::size_t kLarge = std::size_t{1} << 20;
  if (text.size() >= kLarge) m_bytes.reserve(std::min(text.size(), room));
  const KeywordSearch search(keyword);
  std::string value;
  std::optional<std::size_t> stopped;
  std::ptrdiff_t position = search.Next(text, 0);
  while (position >= 0) {
    const std::ptrdiff_t occurrence = position;
    ReadAttributeValue(search.keyword(), position, text, value);
    if (!value.empty()) {
      char length[10];
      std::size_t lengthBytes = 0;
      for (std::size_t rest = value.size(); lengthBytes == 0 || rest > 0; rest >>= 7)
        length[lengthBytes++] = static_cast<char>((rest & 0x7F) | (rest >= 0x80 ? 0x80 : 0));
      if (m_bytes.size() + lengthBytes + value.size() > room) {
        stopped = static_cast<std::size_t>(occurrence);
        break;
      }
      m_bytes.append(length, lengthBytes);
      m_bytes.append(value);
    }
    position = search.Next(text, position);
  }
  if (m_bytes.capacity() - m_bytes.size() >= kLarge) m_bytes.shrink_to_fit();
  return stopped;
}

bool ReferenceList::Next(std::string& value) {
  if (m_next >= m_bytes.size()) return false;
  std::size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(m_bytes[m_next++]);
    length |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  value.assign(m_bytes, m_next, length);
  m_next += length;
  return true;
}
