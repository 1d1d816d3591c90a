#pragma once

#include <string_view>

// Comparisons of protocol words, switches and schemes, in which the case of
// ASCII letters does not count. Only ASCII letters are folded, whatever the
// locale, so every byte above 0x7F compares as it is.
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool StartsWithAnyCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

inline bool EqualsAnyCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithAnyCase(a, b);
}

// Whether `address` is one for the web: it begins with "http://" or
// "https://", in any letter case.
inline bool IsWebAddress(std::string_view address) {
  return StartsWithAnyCase(address, "http://") || StartsWithAnyCase(address, "https://");
}
