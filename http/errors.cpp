#include "http/errors.h"

#include <curl/curl.h>

#include <ctime>

namespace http {

namespace {

struct ErrorEntry {
  ErrorCode code;
  const char* message;
};

constexpr ErrorEntry kMessages[] = {
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_INTERNET_TIMEOUT, "The operation timed out."},
    {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred in the network layer."},
    {ERROR_INTERNET_INVALID_URL, "The URL is invalid."},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The URL does not use a recognized protocol."},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved."},
    {ERROR_INTERNET_OPERATION_CANCELLED, "The operation was canceled."},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The operation cannot be carried out in the request's current state."},
    {ERROR_INTERNET_CANNOT_CONNECT, "A connection with the server could not be established."},
    {ERROR_INTERNET_CONNECTION_ABORTED, "The connection with the server was terminated abnormally."},
    {ERROR_INTERNET_CONNECTION_RESET, "The connection with the server was reset."},
    {ERROR_HTTP_HEADER_NOT_FOUND, "The requested header could not be located."},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server returned an invalid or unrecognized response."},
    {ERROR_HTTP_REDIRECT_FAILED, "The redirection could not be followed."},
    {ERROR_INTERNET_SECURE_FAILURE, "A secure connection with the server could not be established."},
};

struct StatusEntry {
  int status;
  const char* reason;
};

// The reason phrases of the statuses a download can end on.
constexpr StatusEntry kReasons[] = {
    {200, "OK"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Content"},
    {425, "Too Early"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {507, "Insufficient Storage"},
    {511, "Network Authentication Required"},
};

struct CurlEntry {
  CURLcode curl;
  ErrorCode code;
};

// Every libcurl result a transfer can end with, and the number the user
// sees for it. Anything not listed is an internal error.
constexpr CurlEntry kFromCurl[] = {
    {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT},
    {CURLE_URL_MALFORMAT, ERROR_INTERNET_INVALID_URL},
    // Schemes are checked when a request is opened, so during a transfer
    // this means an answer without a status line (HTTP/0.9, or no HTTP).
    // Request::Send tells a redirect to another scheme apart.
    {CURLE_UNSUPPORTED_PROTOCOL, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_COULDNT_RESOLVE_HOST, ERROR_INTERNET_NAME_NOT_RESOLVED},
    {CURLE_COULDNT_RESOLVE_PROXY, ERROR_INTERNET_NAME_NOT_RESOLVED},
    {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT},
    {CURLE_ABORTED_BY_CALLBACK, ERROR_INTERNET_OPERATION_CANCELLED},
    // A body that ends before its announced length (or before the last
    // chunk) must never look like a finished one.
    {CURLE_PARTIAL_FILE, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_RECV_ERROR, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_SEND_ERROR, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_WEIRD_SERVER_REPLY, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_BAD_CONTENT_ENCODING, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_HTTP2, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_HTTP2_STREAM, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_TOO_MANY_REDIRECTS, ERROR_HTTP_REDIRECT_FAILED},
    {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_PEER_FAILED_VERIFICATION, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_CERTPROBLEM, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_CIPHER, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_CACERT_BADFILE, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_ENGINE_NOTFOUND, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_ENGINE_SETFAILED, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_ENGINE_INITFAILED, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_SHUTDOWN_FAILED, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_CRL_BADFILE, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_ISSUER_ERROR, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_INVALIDCERTSTATUS, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_SSL_CLIENTCERT, ERROR_INTERNET_SECURE_FAILURE},
    {CURLE_USE_SSL_FAILED, ERROR_INTERNET_SECURE_FAILURE},
};

}  // namespace

std::string ErrorMessage(ErrorCode code) {
  for (const ErrorEntry& entry : kMessages)
    if (entry.code == code) return entry.message;
  return "A network error occurred (error " + std::to_string(code) + ").";
}

std::string ErrorMeaning(ErrorCode code) {
  std::string meaning = ErrorMessage(code);
  if (meaning.ends_with('.')) meaning.pop_back();
  if (!meaning.empty() && meaning[0] >= 'A' && meaning[0] <= 'Z') meaning[0] = static_cast<char>(meaning[0] - 'A' + 'a');
  return meaning;
}

std::string StatusReason(int status) {
  for (const StatusEntry& entry : kReasons)
    if (entry.status == status) return entry.reason;
  if (status == 0) return "No readable status";
  if (status >= 500 && status < 600) return "Server Error";
  if (status >= 400 && status < 500) return "Client Error";
  return "Unexpected Status";
}

std::optional<std::chrono::seconds> RetryAfterDelay(std::string_view field) {
  while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  if (field.empty()) return std::nullopt;
  if (field.find_first_not_of("0123456789") == std::string_view::npos) {
    if (field.size() > 9) return std::chrono::seconds(999999999);
    return std::chrono::seconds(std::stol(std::string(field)));
  }
  const std::string text(field);
  const time_t when = curl_getdate(text.c_str(), nullptr);
  if (when == -1) return std::nullopt;
  const time_t now = std::time(nullptr);
  return std::chrono::seconds(when > now ? when - now : 0);
}

ErrorCode ErrorFromCurl(int curlCode) {
  for (const CurlEntry& entry : kFromCurl)
    if (entry.curl == curlCode) return entry.code;
  return ERROR_INTERNET_INTERNAL_ERROR;
}

}  // namespace http
