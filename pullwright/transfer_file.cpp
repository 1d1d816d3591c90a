#include "pullwright/transfer_file.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "contract/status.h"
#include "contract/unique_path.h"
#include "http/errors.h"
#include "http/request.h"
#include "http/session.h"
#include "pullwright/download_engine.h"
#include "pullwright/file_helpers.h"
#include "pullwright/target_file.h"

namespace {

// Data moves in reads of at most this many bytes, each written at once and
// each followed by a progress report.
constexpr std::size_t kChunk = 4095;
constexpr std::uint32_t kRequestFlags = http::kFlagReload | http::kFlagNoCacheWrite | http::kFlagNoCookies;

// What a stop or a cancel produces: passed over without an error report.
bool IsSilent(http::ErrorCode code) {
  return code == http::ERROR_INTERNET_OPERATION_CANCELLED || code == http::ERROR_INTERNET_CONNECTION_ABORTED;
}

std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "bytes N-M/T" gives N.
std::optional<std::uint64_t> ContentRangeStart(const http::Result<std::string>& field) {
  if (!field) return std::nullopt;
  std::string_view text = *field;
  if (text.substr(0, 6) != "bytes ") return std::nullopt;
  text.remove_prefix(6);
  return ParseSize(text.substr(0, text.find('-')));
}

long long Signed(std::uint64_t value) { return static_cast<long long>(std::min<std::uint64_t>(value, INT64_MAX)); }

}  // namespace

// One attempt, step by step. Only this worker writes its working copy of the
// record; it does so under m_csQueue because enumerators copy it meanwhile.
class TransferAttempt {
 public:
  explicit TransferAttempt(WorkerSlot& slot)
      : m_slot(slot), m_engine(*slot.pEngine), m_record(*slot.pCurrent),
        m_href(RecordText(m_record.ls.szHref)) {}

  AttemptResult Run() {
    ++m_engine.m_nActive;
    Attempt();
    --m_engine.m_nActive;
    Report(STATUS_DONE, FormatText(status_text::kFinished, m_record.ls.szFileName));
    return m_result;
  }

 private:
  void Attempt();
  std::shared_ptr<http::Session> Session();
  std::shared_ptr<http::Request> OpenAndSend(http::Session& session, const std::string& header);
  void OpenFailed(http::ErrorCode code);
  bool RefuseErrorStatus(const http::Request& request);
  bool ReadFailed(http::ErrorCode code);
  void UseFileName(const std::string& directory, const std::string& path);
  void ReceiveBody(http::Request& request, TargetFile& target, const std::string& path, std::uint64_t sizeBefore);

  void Report(std::uint32_t code, const std::string& text) {
    m_engine.FireDownloadStatus(code, text.c_str(), m_record.ls);
  }
  template <class Change>
  void Update(Change change) {
    std::lock_guard lock(m_engine.m_csQueue);
    change();
  }

  WorkerSlot& m_slot;
  CDownloadEngine& m_engine;
  QueuedRecord& m_record;
  const std::string m_href;
  AttemptResult m_result;
};

AttemptResult TransferFile(WorkerSlot& slot) { return TransferAttempt(slot).Run(); }

std::shared_ptr<http::Session> TransferAttempt::Session() {
  std::shared_ptr<http::Session> session;
  {
    std::lock_guard lock(m_engine.m_csQueue);
    session = m_slot.hInternet;
  }
  if (!session) {
    http::SessionOptions options;
    options.connectTimeout = m_engine.m_options.connectTimeout;
    options.receiveTimeout = m_engine.m_options.dataTimeout;
    session = http::Session::Open(options);
  }
  std::lock_guard lock(m_engine.m_csQueue);
  // A cancel that came before the session was stored found nothing to close;
  // its mark stops the transfer here instead.
  if (m_slot.bCancelled) return nullptr;
  if (!m_slot.hInternet) m_slot.hInternet = session;
  return m_slot.hInternet;
}

std::shared_ptr<http::Request> TransferAttempt::OpenAndSend(http::Session& session, const std::string& header) {
  auto request = session.OpenRequest(m_href, http::Method::Get, kRequestFlags);
  if (!request) {
    OpenFailed(request.error());
    return nullptr;
  }
  if (!header.empty()) (*request)->AddHeader(header);
  if (auto sent = (*request)->Send(); !sent) {
    OpenFailed(sent.error());
    return nullptr;
  }
  return *request;
}

// A request that cannot be opened or sent: timeouts go back to the queue up
// to the retry limit; a stop or cancel is silent; anything else is reported
// with the address. The record never comes back through the worker then.
void TransferAttempt::OpenFailed(http::ErrorCode code) {
  m_result = {};
  if (code == http::ERROR_INTERNET_TIMEOUT && m_record.ls.dwTimeouts <= m_engine.m_dwMaxRetries.load()) {
    Update([&] {
      if (m_record.ls.dwTimeouts < UINT32_MAX) ++m_record.ls.dwTimeouts;
    });
    m_engine.PutBack(m_slot, m_record, false);
    return;
  }
  if (IsSilent(code)) return;
  Report(STATUS_ERROR, FormatText(status_text::kErrorOpeningUrlWithHref, static_cast<int>(code), m_href.c_str()));
}

bool TransferAttempt::RefuseErrorStatus(const http::Request& request) {
  const int status = request.StatusCode().value_or(0);
  if (status < 400) return false;
  Report(STATUS_ERROR, FormatText(status_text::kDownloadError, status, m_record.ls.szFileName));
  return true;
}

// A failed read ends the attempt short; the worker puts the record back.
bool TransferAttempt::ReadFailed(http::ErrorCode code) {
  if (!IsSilent(code)) Report(STATUS_ERROR, FormatText(status_text::kErrorOpeningUrl, static_cast<int>(code)));
  m_result.lastError = static_cast<std::int32_t>(code);
  return true;
}

// The record names the file actually written, so that reports say where the
// data went and a later attempt resumes that file.
void TransferAttempt::UseFileName(const std::string& directory, const std::string& path) {
  const std::string_view name = std::string_view(path).substr(directory.size());
  if (name == RecordText(m_record.ls.szFileName)) return;
  Update([&] { CopyRecordText(m_record.ls.szFileName, name); });
}

void TransferAttempt::Attempt() {
  const auto session = Session();
  Report(STATUS_TRYING, FormatText(status_text::kTrying, m_record.ls.szFileName));
  if (!session) return;

  auto request = OpenAndSend(*session, {});
  if (!request || RefuseErrorStatus(*request)) return;

  const auto length = request->QueryHeader("Content-Length");
  const auto size = length ? ParseSize(*length) : std::nullopt;
  if (size) {
    Update([&] { m_record.SetFileSize(*size); });
    Report(STATUS_STARTING, FormatText(status_text::kStartingSized, m_record.ls.szFileName, Signed(*size)));
  } else {
    const int code = static_cast<int>(length ? http::ERROR_HTTP_HEADER_NOT_FOUND : length.error());
    Report(STATUS_STARTING, FormatText(status_text::kStartingUnknownSize, m_record.ls.szFileName, code));
  }

  const std::string directory = m_engine.DownloadDirectory();
  std::string path = ComposeTargetPath(directory, RecordText(m_record.ls.szFileName));
  const std::uint64_t existingSize = FileSizeIfExists(path);
  TargetFile target;
  std::uint64_t writeFrom = 0;

  if (existingSize != 0) {
    // Resume only a file whose first bytes are what the server sends now.
    TargetFile existing = TargetFile::OpenExisting(path);
    bool same = false;
    bool http11 = true;
    if (existing.valid()) {
      char filePrefix[kChunk];
      char answerPrefix[kChunk];
      const std::size_t wanted = existing.ReadPrefix(filePrefix, std::min<std::uint64_t>(kChunk, existingSize));
      http11 = request->VersionText().value_or("") == "HTTP/1.1";
      std::size_t got = 0;
      bool ended = false;
      while (got < wanted && !ended) {
        const auto read = request->Read(answerPrefix + got, wanted - got);
        if (!read) {
          // Not a mismatch: the partial file stays as it is for the next try.
          Update([&] { m_record.SetCurrentSize(existingSize); });
          m_result = {true, false, 0};
          ReadFailed(read.error());
          return;
        }
        ended = *read == 0;
        got += *read;
      }
      same = got == wanted && std::memcmp(filePrefix, answerPrefix, wanted) == 0;
    }
    const bool resume = same && m_record.fileSize > existingSize;
    if (resume) {
      target = std::move(existing);
    } else {
      existing = TargetFile();
      path = MakeUniquePath(path, NonEmptyFileExists);
    }
    request.reset();
    std::string range;
    if (http11) range = "Range: bytes=" + std::to_string(resume ? existingSize : 0) + "-";
    request = OpenAndSend(*session, range);
    if (!request || RefuseErrorStatus(*request)) return;

    const auto start = request->StatusCode().value_or(0) == 206
                           ? ContentRangeStart(request->QueryHeader("Content-Range"))
                           : std::optional<std::uint64_t>(0);
    if (resume && http11 && start == existingSize) {
      writeFrom = existingSize;
    } else if (start != 0u) {
      // A part that starts elsewhere cannot be placed in the file.
      Report(STATUS_ERROR, FormatText(status_text::kDownloadError, 206, m_record.ls.szFileName));
      return;
    }
  }

  if (!target.valid()) {
    target = TargetFile::CreateExclusive(path);
    if (!target.valid()) {
      Report(STATUS_ERROR, FormatText(status_text::kFileError, path.c_str(), std::strerror(target.error())));
      return;
    }
    UseFileName(directory, path);
  }
  // Growth is judged against what the file held before this attempt, so a
  // server that breaks off at the same point every time is noticed.
  const std::uint64_t sizeBefore = target.Size();
  if (writeFrom == 0 && !target.Truncate()) {
    Report(STATUS_ERROR, FormatText(status_text::kFileError, path.c_str(), std::strerror(errno)));
    return;
  }
  if (writeFrom != 0 && !target.SeekTo(writeFrom)) {
    Report(STATUS_ERROR, FormatText(status_text::kFileError, path.c_str(), std::strerror(errno)));
    return;
  }
  Update([&] { m_record.SetCurrentSize(writeFrom); });
  ReceiveBody(*request, target, path, sizeBefore);
}

void TransferAttempt::ReceiveBody(http::Request& request, TargetFile& target, const std::string& path,
                                  std::uint64_t sizeBefore) {
  const auto start = std::chrono::steady_clock::now();
  char buffer[kChunk];
  m_result = {true, false, 0};
  for (;;) {
    std::size_t count = 0;
    if (const auto read = request.Read(buffer, kChunk)) {
      count = *read;
    } else {
      ReadFailed(read.error());
    }
    const auto elapsed = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if (count > 0) {
      if (const int error = target.Append(buffer, count)) {
        Report(STATUS_ERROR, FormatText(status_text::kFileError, path.c_str(), std::strerror(error)));
        m_result = {};
        return;
      }
    }
    Update([&] {
      m_record.SetCurrentSize(m_record.currentSize + count);
      if (elapsed != 0) m_record.ls.dwBytesPerSecond = QueuedRecord::Saturated(m_record.currentSize * 1000 / elapsed);
    });
    Report(STATUS_PROGRESS, FormatText(status_text::kProgress, m_record.ls.szFileName, Signed(m_record.currentSize),
                                       Signed(m_record.fileSize)));
    if (count == 0) break;
  }
  m_result.fileGrew = m_record.currentSize > sizeBefore;
}
