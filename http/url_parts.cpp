#include "http/url_parts.h"

#include <curl/curl.h>

#include <memory>

#include "http/curl_global.h"

namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> Part(CURLU* url, CURLUPart part) {
  char* raw = nullptr;
  if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || !raw) return std::nullopt;
  std::unique_ptr<char, CurlTextDeleter> text(raw);
  return std::string(text.get());
}

}  // namespace

std::optional<UrlParts> SplitUrl(std::string_view url) {
  EnsureCurlGlobalInit();
  // curl_url_set reads a zero-terminated text: an address holding a NUL byte
  // would be read short, so it is refused.
  if (url.find('\0') != std::string_view::npos) return std::nullopt;
  std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle) return std::nullopt;
  const std::string text(url);
  if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE) !=
      CURLUE_OK)
    return std::nullopt;

  UrlParts parts;
  auto scheme = Part(handle.get(), CURLUPART_SCHEME);
  auto host = Part(handle.get(), CURLUPART_HOST);
  auto path = Part(handle.get(), CURLUPART_PATH);
  if (!scheme || !host || host->empty()) return std::nullopt;
  parts.scheme = std::move(*scheme);
  parts.host = std::move(*host);
  parts.port = Part(handle.get(), CURLUPART_PORT).value_or("");
  parts.path = path && !path->empty() ? std::move(*path) : "/";
  if (auto query = Part(handle.get(), CURLUPART_QUERY)) parts.path += "?" + *query;
  return parts;
}

std::string UrlOrigin(const UrlParts& parts) {
  std::string origin = parts.scheme + "://" + parts.host;
  if (!parts.port.empty()) origin += ":" + parts.port;
  return origin;
}
