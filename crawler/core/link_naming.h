#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/file_path.h"

// Completing the references found on a page into addresses, and naming them
// for the link list. These rules read nothing but their arguments. Paths are
// split with SplitFilePath.

// The length of the scheme a reference begins with ("mailto" in
// "mailto:x"): a letter, then letters, digits, "+", "-" or ".", then ":".
// 0 when it begins with none, so "page.html?t=12:30" and "/a:b" have none.
std::size_t SchemeLength(std::string_view reference);

// Completes a reference of the page in place. One that begins with a scheme
// ("http:", "HTTP:", "mailto:", "ftp:", "a+b.c-d:") stays as it is, however
// long its scheme. Anything else is relative: one beginning with "/" gets
// `origin` in front, any other gets `origin` and `base`. `origin` is the
// page's own scheme, host and port as UrlOrigin gives them
// ("https://h:8443"), so the reference points at the server that served the
// page. Then the "." and ".." segments of the path of any address with an
// authority ("scheme://host/...") are removed, so that one file has one
// address however the pages spell their way to it (`origin` and `base` must
// hold none themselves, as those of a split address never do). Nothing else is
// normalised: queries, escapes and letter case stay as written.
void CompleteURL(std::string& url, std::string_view origin, std::string_view base);

// The directory that relative references of a page resolve against, from the
// page's object path. The query is not part of it: a query never names a
// directory, whatever slashes or dots it holds. A last component with an
// extension is a document and is dropped; otherwise the whole path is the
// directory and gets a trailing "/" when it lacks one.
void BaseDirectory(std::string_view path, std::string& base);

// Names a complete address for the list and tells a file from a page: returns
// 1 for a file, 0 otherwise. `name` (file name with the extension in lower
// case) and `extension` (lower case, no dot) are left empty when the address
// has no usable extension: none at all, or one holding a character that no
// file name may hold ("?" of a query among them). Addresses ending in one of
// the page extensions (".html", ".htm", ".com", ".org", ".net", ".asp",
// ".cgi", ".pl", ".shtml") are pages; a bare host name is split like a file
// name, so "http://example.com" is a page named "example.com".
std::int32_t ClassifyLink(std::string_view url, std::string& name, std::string& extension);
