#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "http/result.h"

namespace http {

// The error numbers of the system's network calls. They keep the values and
// names they have always had, because the programs show them to the user
// ("Error Opening URL: 12029") and decide by them: 12017 and 12030 are what a
// stop or a cancel produces and are passed over in silence.
inline constexpr ErrorCode ERROR_INVALID_PARAMETER = 87;
inline constexpr ErrorCode ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr ErrorCode ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr ErrorCode ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr ErrorCode ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr ErrorCode ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr ErrorCode ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr ErrorCode ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr ErrorCode ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr ErrorCode ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr ErrorCode ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr ErrorCode ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr ErrorCode ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr ErrorCode ERROR_HTTP_REDIRECT_FAILED = 12156;
// Every failure to set up or keep a TLS connection (handshake, certificate,
// protocol) is shown under this one number.
inline constexpr ErrorCode ERROR_INTERNET_SECURE_FAILURE = 12175;

// The one English sentence shown for an error number, as a standard error
// message box shows it. Numbers outside the table get a generic sentence
// that still names the number.
std::string ErrorMessage(ErrorCode code);

// The same meaning as a clause to follow a number in a status text: "the
// server name or address could not be resolved" (no capital, no full stop).
std::string ErrorMeaning(ErrorCode code);

// The standard reason phrase of an HTTP status ("Not Found" for 404), or a
// phrase naming its class ("Client Error") for a status without one. A
// status of 0 is an answer whose status could not be read.
std::string StatusReason(int status);

// How long a Retry-After field asks to wait: delay-seconds ("120") or an
// HTTP date, counted from now. Nothing for a field that is neither.
std::optional<std::chrono::seconds> RetryAfterDelay(std::string_view field);

// The error number a libcurl result (a CURLcode) is shown as.
ErrorCode ErrorFromCurl(int curlCode);

}  // namespace http
