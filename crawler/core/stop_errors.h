#pragma once

#include "http/errors.h"

// What a stop or a cancel produces (the session closed under a call, the
// connection cut): the user asked for it, so it is never worth a box.
inline bool IsStopError(http::ErrorCode code) {
  return code == http::ERROR_INTERNET_CONNECTION_ABORTED || code == http::ERROR_INTERNET_OPERATION_CANCELLED;
}
