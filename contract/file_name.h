#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one rule by which every program names a file: the link list shows
// the name, the clients hand it to the engine, the engine writes it. A name
// it gives is never empty, "." or "..", holds no "/", "\\", control
// character or bidirectional control (which would let "invoice<RLO>fdp.exe"
// pass for a PDF), never begins with "-" (an option to every shell tool),
// and is at most kMaxFileName bytes.

// The longest name the usual file systems take, in bytes.
inline constexpr std::size_t kMaxFileName = 255;

// The length of the scheme an address begins with ("mailto" in
// "mailto:x"): a letter, then letters, digits, "+", "-" or ".", then ":".
// 0 when it begins with none, so "page.html?t=12:30" and "/a:b" have none.
std::size_t SchemeLength(std::string_view address);

// What an address names. `name` is the last segment of its path ("/" and
// "\\" both separate) with its percent-escapes decoded as UTF-8; escapes
// that decode to no valid UTF-8 stay as written. The query and the fragment
// take no part. A path with no last segment ("http://h/dir/", "http://h",
// one ending in "." or "..") names its host instead; an address with
// neither is named "index.html". The extension is that of the path's last
// segment only, from its last ".", letter case as written; there is none
// for a host, and none that holds a byte no extension may hold ("?*:<>|").
struct AddressFileName {
  std::string name;
  // Bytes at the end of `name` that are its extension, dot included.
  std::size_t extensionSize = 0;

  std::string_view extension() const { return std::string_view(name).substr(name.size() - extensionSize); }
  // Puts the extension in lower case (A to Z), as the name is stored.
  void LowerExtension();
};
AddressFileName SplitAddressFileName(std::string_view address);

// The name a file fetched from `address` gets everywhere:
// SplitAddressFileName's, with its extension in lower case (A to Z), so
// "Report.PDF" is stored and listed as "Report.pdf".
std::string FileNameFromAddress(std::string_view address);

// Makes a name given as it stands (not an address: nothing is decoded) safe
// to write: "/", "\\", control characters and bidirectional controls become
// "_", a leading "-" becomes "_", and a name longer than kMaxFileName bytes
// is cut on a character boundary, its extension kept when it fits. An
// empty, "." or ".." name stays so: the caller decides what to use then.
std::string CleanFileName(std::string_view name);
