#pragma once

#include <optional>
#include <string>
#include <string_view>

// The pieces of an absolute address that a request needs.
struct UrlParts {
  std::string scheme;  // lower case: "http", "https", ...
  std::string host;    // without port
  std::string port;    // only when the address names one, else empty
  std::string path;    // object path with its query, dot segments removed, "/" at least
};

// Splits an absolute address with libcurl's URL parser. The fragment is
// dropped. Fails on what the parser cannot read (no scheme, bad host, ...).
std::optional<UrlParts> SplitUrl(std::string_view url);

// The origin of a split address: scheme "://" host, and ":" port when named.
std::string UrlOrigin(const UrlParts& parts);
