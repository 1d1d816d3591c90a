#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The link scanner is a keyword scan, not an HTML parser: it finds an
// attribute name ("HREF", "SRC") anywhere in the page text, in any letter
// case, and reads the value written after the "=" that follows it. Tags,
// comments, scripts and entities mean nothing to it.
//
// Positions are byte offsets into the page text; -1 means that no further
// occurrence exists. The text is counted and may hold NUL bytes: a NUL byte
// ends a value (no address holds one) but not the scan.

// Finds the occurrences of one keyword, without regard to the letter case of
// ASCII letters (bytes of 0x80 and above match only themselves, so a UTF-8
// sequence never matches a keyword letter), exactly as a search in an
// upper-cased copy of the text would, but without making the copy.
//
// Next() may pass over an occurrence that is not preceded by white space:
// such an occurrence yields an empty value and moves the position only past
// itself, and unless the keyword holds white space, no occurrence that is
// preceded by some can start inside it, so the values of a scan are the
// same. For a keyword where that can happen ("A A") every occurrence is
// reported.
class KeywordSearch {
 public:
  explicit KeywordSearch(std::string_view keyword);

  // The keyword upper-cased, as ReadAttributeValue wants it.
  const std::string& keyword() const { return m_keyword; }

  // The first occurrence at or after `from`, or -1. A `from` beyond the end
  // of the text finds nothing; an empty keyword never occurs.
  std::ptrdiff_t Next(std::string_view text, std::ptrdiff_t from) const;

 private:
  std::ptrdiff_t NextAfterSeparator(std::string_view text, std::ptrdiff_t from) const;
  std::ptrdiff_t NextAny(std::string_view text, std::ptrdiff_t from) const;
  bool MatchesAt(std::string_view text, std::size_t at) const;

  std::string m_keyword;  // upper case
  std::string m_lower;    // the same in lower case, for the case-blind compare
  bool m_canHide = false;  // see CanHideAnother()
};

// The value written after the occurrence of `keyword` at `position` in
// `text`, possibly empty; `position` is left where reading stopped, which may
// lie past the end of the text. Only an occurrence preceded by white space
// (space, tab, line feed, form feed, carriage return) carries a value. After
// it come optional whitespace, "=", optional whitespace, at most one opening
// quote of either kind, optional whitespace, and then the value, which runs
// up to the first of: double or single quote, space, tab, carriage return,
// line feed, ">", "#" (so a fragment is never part of a link) or a NUL byte,
// or the end of the text. A "#" right after an "&" that begins a numeric
// reference ("&#64;") does not end the value. The value's character
// references are decoded (see DecodeCharacterReferences), and a "#" that one
// of them gives ends it like a written one. A position outside the text
// reads nothing and is left as it is.
std::string ReadAttributeValue(std::string_view keyword, std::ptrdiff_t& position, std::string_view text);
// The same into `value`, replacing what it held: a scan reuses one buffer.
void ReadAttributeValue(std::string_view keyword, std::ptrdiff_t& position, std::string_view text,
                        std::string& value);

// The values of one keyword in a page, read out ahead so that the page text
// can go: a deep crawl keeps what a page has left to list while it crawls
// the pages that page links to, and the values take a fraction of the text
// (hardly ever more than the text itself: each stood there after its
// keyword and "="). Only non-empty values are kept, in text order, each as
// its length in bytes of seven bits and its bytes.
class ReferenceList {
 public:
  // Reads every value of `keyword` in `text` while the kept bytes stay
  // within `room`. Gives the position of the first occurrence whose value
  // did not fit, and nothing when all did.
  std::optional<std::size_t> Read(std::string_view keyword, std::string_view text, std::size_t room);

  // The next value into `value`; false after the last one.
  bool Next(std::string& value);
  // The bytes kept.
  std::size_t size() const { return m_bytes.size(); }

 private:
  std::string m_bytes;
  std::size_t m_next = 0;
};
