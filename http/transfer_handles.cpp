#include "http/transfer_handles.h"

#include "http/curl_global.h"
#include "http/session.h"

namespace http {

namespace {
constexpr long kMostRedirects = 20;
}

TransferHandles::TransferHandles(const SessionOptions& options) : overflow(kOverflowCapacity) {
  EnsureCurlGlobalInit();
  multi = curl_multi_init();
  easy = curl_easy_init();
  if (!valid()) return;

  // Settings that stay for the pair's life; each request sets its address,
  // method, headers and callback data on top of them.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMostRedirects);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // The answer to a proxy's CONNECT is not the server's answer.
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (options.proxy == ProxyMode::Direct) curl_easy_setopt(easy, CURLOPT_PROXY, "");
}

TransferHandles::~TransferHandles() {
  if (easy) curl_easy_cleanup(easy);
  if (multi) curl_multi_cleanup(multi);
}

}  // namespace http
