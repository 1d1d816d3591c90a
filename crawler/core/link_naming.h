#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/file_name.h"
#include "contract/file_path.h"

// Completing the references found on a page into addresses, and naming them
// for the link list. These rules read nothing but their arguments. Paths are
// split with SplitFilePath; a reference's scheme is told by SchemeLength.

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
// 1 for a file, 0 otherwise. `name` is the name the file gets
// (FileNameFromAddress: the path's last segment decoded and made safe, its
// extension in lower case, or the host when the path has no last segment);
// `extension` is that name's extension without its dot, empty when it has
// none. The query and the fragment give neither.
//
// Whether it is a file is decided apart from the name, on the whole address
// split as a file path, query included: a file when that last component has
// an extension holding none of the characters no file name may hold ("?" of
// a query among them) and not one of the page extensions (".html", ".htm",
// ".com", ".org", ".net", ".asp", ".cgi", ".pl", ".shtml"). So a link with a
// query is a page unless the query's own tail looks like an extension
// ("summary?doi=10.1.3910" is a file without one), and a bare host name is
// split like a file name: "http://example.com" is a page, "http://example.de"
// a file, both named by their host and without an extension.
std::int32_t ClassifyLink(std::string_view url, std::string& name, std::string& extension);
