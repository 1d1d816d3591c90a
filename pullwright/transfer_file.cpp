#include "pullwright/transfer_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string>

#include "contract/status.h"
#include "http/errors.h"
#include "pullwright/engine_core.h"
#include "pullwright/worker_slot.h"
#include "pullwright/file_helpers.h"
#include "pullwright/transfer_attempt.h"

namespace {

constexpr std::uint32_t kRequestFlags = http::kFlagReload | http::kFlagNoCacheWrite | http::kFlagNoCookies;
// Writes to a file that lost its name succeed; every this many reads (and
// at the end) the attempt looks whether it still has one.
constexpr std::uint64_t kNameCheckEvery = 256;

std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> ParseField(const http::Result<std::string>& field) {
  return field ? ParseSize(*field) : std::nullopt;
}

// "bytes N-M/T" gives N.
std::optional<std::uint64_t> ContentRangeStart(const http::Result<std::string>& field) {
  if (!field) return std::nullopt;
  std::string_view text = *field;
  if (text.substr(0, 6) != "bytes ") return std::nullopt;
  text.remove_prefix(6);
  return ParseSize(text.substr(0, text.find('-')));
}

// What identifies this version of the file for If-Range: a strong ETag, or
// else the Last-Modified date. A weak ETag may not be used there.
std::string ValidatorOf(const http::Request& answer) {
  if (const auto etag = answer.QueryHeader("ETag"); etag && !etag->empty() && !etag->starts_with("W/")) return *etag;
  return answer.QueryHeader("Last-Modified").value_or("");
}

long long Signed(std::uint64_t value) { return static_cast<long long>(std::min<std::uint64_t>(value, INT64_MAX)); }

}  // namespace

AttemptOutcome TransferFile(WorkerSlot& slot, QueuedRecord& working) { return TransferAttempt(slot, working).Run(); }

TransferAttempt::TransferAttempt(WorkerSlot& slot, QueuedRecord& working)
    : m_slot(slot), m_engine(*slot.pEngine), m_record(working), m_href(RecordText(m_record.ls.szHref)) {}

AttemptOutcome TransferAttempt::Run() {
  ++m_engine.m_nActive;
  Attempt();
  Conclude();
  const DownloadEnding ending = HowItEnded();
  --m_engine.m_nActive;
  Report(STATUS_DONE,
         EndingText(ending, m_record.ls.szFileName, m_record.currentSize, m_record.fileSize, m_failureReason));
  return m_outcome;
}

// Finished only when the body came to its clean end and holds every byte
// announced; otherwise what stopped it.
DownloadEnding TransferAttempt::HowItEnded() const {
  if (m_complete && !m_failed && !m_broken && !m_record.EndedShort()) return DownloadEnding::Finished;
  const DownloadQueue::Cause cause = m_engine.m_queue.CancelCause(m_slot.nIndex);
  if (cause == DownloadQueue::Cause::Canceled) return DownloadEnding::Canceled;
  if (cause == DownloadQueue::Cause::Stopped) return DownloadEnding::Stopped;
  if (m_outcome == AttemptOutcome::PutBack || m_requeued) return DownloadEnding::Interrupted;
  return DownloadEnding::Failed;
}

void TransferAttempt::Report(std::uint32_t code, const std::string& text) {
  if (code == STATUS_ERROR) m_failureReason = text;
  m_engine.FireDownloadStatus(code, text.c_str(), m_record.ls);
}

template <class Change>
void TransferAttempt::Update(Change change) {
  m_engine.m_queue.Update(change);
}

// Whether the record goes back to the queue. Every way back is bounded: an
// attempt that ends short without the file getting further than it ever
// got counts against the retry limit, and past it the record ends with
// the error that cut it short.
void TransferAttempt::Conclude() {
  if (m_failed || (!m_broken && !m_record.EndedShort())) return;
  if (m_engine.m_queue.CancelCause(m_slot.nIndex) != DownloadQueue::Cause::None) return;
  if (m_wrote && m_record.currentSize > m_record.furthestSize) {
    m_record.furthestSize = m_record.currentSize;
    m_record.fruitlessAttempts = 0;
  } else if (++m_record.fruitlessAttempts > m_engine.m_dwMaxRetries.load()) {
    // A body that ended short without a failed read was cut all the same.
    const auto code = m_lastError != 0 ? m_lastError : http::ERROR_INTERNET_CONNECTION_ABORTED;
    Report(STATUS_ERROR,
           FormatText(status_text::kErrorOpeningUrl, static_cast<int>(code), http::ErrorMeaning(code).c_str()));
    return;
  }
  m_outcome = AttemptOutcome::PutBack;
}

std::shared_ptr<http::Session> TransferAttempt::Session() {
  return m_engine.m_queue.SessionFor(m_slot.nIndex, [&] {
    http::SessionOptions options;
    options.connectTimeout = m_engine.m_options.connectTimeout;
    options.receiveTimeout = m_engine.m_options.dataTimeout;
    options.proxy = m_engine.m_options.proxy;
    return http::Session::Open(options);
  });
}

std::shared_ptr<http::Request> TransferAttempt::Fetch(http::Session& session, std::optional<std::uint64_t> rangeFrom,
                                                      const std::string& ifRange) {
  auto request = session.OpenRequest(m_href, http::Method::Get, kRequestFlags);
  if (!request) {
    OpenFailed(request.error());
    return nullptr;
  }
  if (rangeFrom) (*request)->AddHeader("Range: bytes=" + std::to_string(*rangeFrom) + "-");
  // The part only if the file is still the one the partial file came from;
  // otherwise the server sends the whole new file.
  if (rangeFrom && !ifRange.empty()) (*request)->AddHeader("If-Range: " + ifRange);
  if (auto sent = (*request)->Send(); !sent) {
    OpenFailed(sent.error());
    return nullptr;
  }
  if (!AnswerFits(**request, rangeFrom)) return nullptr;
  return *request;
}

// Only an answer that is the file, or the part of it that was asked for,
// is written: an error status, a part nobody asked for or that starts
// elsewhere, or a whole answer to a range request that is not the size
// first announced (a page about the range, say) ends the attempt.
bool TransferAttempt::AnswerFits(http::Request& request, std::optional<std::uint64_t> rangeFrom) {
  const int status = request.StatusCode().value_or(0);
  // A server that is busy or asks to slow down gets the file asked again
  // later, after the wait it names (up to a minute) or a growing one.
  if ((status == 503 || status == 429) &&
      RetryLater(http::RetryAfterDelay(request.QueryHeader("Retry-After").value_or(""))))
    return false;
  // Redirects are followed; one still standing at the end had no usable
  // Location, and its body is a note about the move, not the file.
  bool fits = status < 300;
  if (status == 206) {
    fits = rangeFrom && ContentRangeStart(request.QueryHeader("Content-Range")) == rangeFrom;
  } else if (fits && rangeFrom && m_record.fileSize != 0) {
    const auto length = ParseField(request.QueryHeader("Content-Length"));
    fits = !length || *length == m_record.fileSize;
  }
  if (fits) return true;
  Report(STATUS_ERROR, FormatText(status_text::kDownloadError, status, http::StatusReason(status).c_str(),
                                  m_record.ls.szFileName));
  m_failed = true;
  return false;
}

// A request that cannot be opened or sent: timeouts go back to the queue up
// to the retry limit at once; a server that refused or reset the connection
// (one restarting, say) is asked again after a growing wait within the same
// limit; a connection the server broke is a cut like any other; a stop or
// cancel of ours is silent; anything else is reported with the address.
void TransferAttempt::OpenFailed(http::ErrorCode code) {
  if (code == http::ERROR_INTERNET_TIMEOUT && m_record.ls.dwTimeouts <= m_engine.m_dwMaxRetries.load()) {
    m_failed = true;
    Update([&] {
      if (m_record.ls.dwTimeouts < UINT32_MAX) ++m_record.ls.dwTimeouts;
    });
    m_requeued = m_engine.PutBack(m_slot.nIndex, m_record, false);
    return;
  }
  if ((code == http::ERROR_INTERNET_CANNOT_CONNECT || code == http::ERROR_INTERNET_CONNECTION_RESET) &&
      RetryLater(std::nullopt))
    return;
  if (code == http::ERROR_INTERNET_OPERATION_CANCELLED || code == http::ERROR_INTERNET_CONNECTION_ABORTED) {
    Broken(code);
    return;
  }
  m_failed = true;
  Report(STATUS_ERROR, FormatText(status_text::kErrorOpeningUrlWithHref, static_cast<int>(code),
                                  http::ErrorMeaning(code).c_str(), m_href.c_str()));
}

// Puts the record back to be tried again after `asked` (capped at a
// minute) or, without it, after 1, 2, 4 ... seconds, counting the retry in
// dwTimeouts (the Retries column). False once the retry limit is spent.
bool TransferAttempt::RetryLater(std::optional<std::chrono::seconds> asked) {
  const std::uint32_t retries = m_record.ls.dwTimeouts;
  if (retries > m_engine.m_dwMaxRetries.load()) return false;
  const auto growing = m_engine.m_options.firstRetryWait * (1u << std::min<std::uint32_t>(retries, 6));
  const auto wait = std::min<std::chrono::milliseconds>(asked ? *asked : growing, std::chrono::minutes(1));
  m_failed = true;
  Update([&] {
    ++m_record.ls.dwTimeouts;
    m_record.notBefore = std::chrono::steady_clock::now() + wait;
  });
  m_requeued = m_engine.PutBack(m_slot.nIndex, m_record, true);
  return true;
}

// Only a stop or cancel of our own ends an attempt in silence; any other
// break ends it short, to be tried again or reported when it cannot go on.
void TransferAttempt::Broken(http::ErrorCode code) {
  if (code == http::ERROR_INTERNET_OPERATION_CANCELLED) {
    m_failed = true;
    return;
  }
  m_broken = true;
  m_lastError = code;
}

// The partial file stays as it is for the next try.
void TransferAttempt::KeepPartial(std::uint64_t existingSize, http::ErrorCode code) {
  Update([&] { m_record.SetCurrentSize(existingSize); });
  Broken(code);
}

void TransferAttempt::FileError(const std::string& path, int error) {
  Report(STATUS_ERROR, FormatText(status_text::kFileError, path.c_str(), std::strerror(error)));
  m_failed = true;
}

// The record names the file actually written, so that reports say where the
// data went and a later attempt resumes that file.
void TransferAttempt::UseFileName(const std::string& directory, const std::string& path) {
  const std::string_view name = std::string_view(path).substr(directory.size());
  if (name == RecordText(m_record.ls.szFileName)) return;
  Update([&] { CopyRecordText(m_record.ls.szFileName, name); });
}

void TransferAttempt::Attempt() {
  m_started = std::chrono::steady_clock::now();
  const auto session = Session();
  Report(STATUS_TRYING, FormatText(status_text::kTrying, m_record.ls.szFileName));
  if (!session) {
    m_failed = true;
    return;
  }
  Plan plan;
  plan.request = Fetch(*session, std::nullopt);
  if (!plan.request) return;

  const auto length = plan.request->QueryHeader("Content-Length");
  const auto size = ParseField(length);
  if (size) {
    Update([&] { m_record.SetFileSize(*size); });
    Report(STATUS_STARTING, FormatText(status_text::kStartingSized, m_record.ls.szFileName, Signed(*size)));
  } else {
    const int code = static_cast<int>(length ? http::ERROR_HTTP_HEADER_NOT_FOUND : length.error());
    Report(STATUS_STARTING, FormatText(status_text::kStartingUnknownSize, m_record.ls.szFileName, code));
  }

  const std::string directory = m_engine.m_queue.Directory();
  plan.path = ComposeTargetPath(directory, RecordText(m_record.ls.szFileName));
  if (FileSizeIfExists(plan.path) != 0 && !Resume(*session, plan)) return;

  if (!plan.target.valid()) {
    plan.target = TargetFile::CreateExclusive(plan.path);
    if (!plan.target.valid()) {
      FileError(plan.path, plan.target.error());
      return;
    }
    UseFileName(directory, plan.path);
  }
  m_record.ownPath = plan.path;
  if (plan.writeFrom == 0 ? !plan.target.Truncate() : !plan.target.SeekTo(plan.writeFrom)) {
    FileError(plan.path, errno);
    return;
  }
  Update([&] {
    m_record.SetCurrentSize(plan.writeFrom);
    m_record.ls.dwBytesPerSecond = 0;
  });
  plan.target.SetValidator(ValidatorOf(*plan.request));
  ReceiveBody(plan);
  // A whole file needs no validator any more.
  if (m_complete && !m_record.EndedShort()) plan.target.ClearValidator();
}

void TransferAttempt::ReceiveBody(Plan& plan) {
  // The attempt's time runs from its first request: bytes that came in
  // with the answer's head, or while a resume compared its seam, are
  // already waiting, and timing only the reads would count them as if
  // they took no time at all.
  const auto start = m_started;
  char buffer[kChunk];
  for (std::uint64_t reads = 1;; ++reads) {
    std::size_t count = 0;
    const auto read = plan.request->Read(buffer, kChunk);
    if (read)
      count = *read;
    else
      Broken(read.error());
    const auto elapsed = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if (count > 0) {
      if (const int error = plan.target.Append(buffer, count)) {
        FileError(plan.path, error);
        return;
      }
      m_wrote = true;
    }
    // The rate of this attempt alone: a resumed part arrived earlier.
    Update([&] {
      m_record.SetCurrentSize(m_record.currentSize + count);
      if (elapsed != 0)
        m_record.ls.dwBytesPerSecond = QueuedRecord::Saturated((m_record.currentSize - plan.writeFrom) * 1000 / elapsed);
    });
    Report(STATUS_PROGRESS, FormatText(status_text::kProgress, m_record.ls.szFileName, Signed(m_record.currentSize),
                                       Signed(m_record.fileSize)));
    if ((count == 0 || reads % kNameCheckEvery == 0) && plan.target.Unlinked()) {
      FileError(plan.path, ENOENT);
      return;
    }
    if (count == 0) {
      m_complete = read.ok();
      return;
    }
  }
}
