#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "contract/status.h"
#include "http/request.h"
#include "http/session.h"
#include "pullwright/queued_record.h"
#include "pullwright/target_file.h"
#include "pullwright/transfer_file.h"

struct EngineCore;
struct WorkerSlot;

// One attempt, step by step. Only this worker writes its working copy of the
// record; it does so under m_csQueue because enumerators copy it meanwhile.
class TransferAttempt {
 public:
  // Data moves in reads of at most this many bytes, each written at once
  // and each followed by a progress report; resume checks compare as many.
  static constexpr std::size_t kChunk = 4095;

  TransferAttempt(WorkerSlot& slot, QueuedRecord& working);
  AttemptOutcome Run();

 private:
  // Where the body goes: the file, the answer that carries it and the offset
  // its first byte belongs at.
  struct Plan {
    std::string path;
    TargetFile target;
    std::shared_ptr<http::Request> request;
    std::uint64_t writeFrom = 0;
  };

  void Attempt();
  void Conclude();
  DownloadEnding HowItEnded() const;
  std::shared_ptr<http::Session> Session();
  // Opens, sends and checks one request; null when the attempt ends here.
  // With `rangeFrom` it asks for the file from that offset on.
  std::shared_ptr<http::Request> Fetch(http::Session& session, std::optional<std::uint64_t> rangeFrom,
                                       const std::string& ifRange = {});
  bool AnswerFits(http::Request& request, std::optional<std::uint64_t> rangeFrom);
  void OpenFailed(http::ErrorCode code);
  bool RetryLater(std::optional<std::chrono::seconds> asked);
  // The connection broke (or a read failed): the attempt ends short.
  void Broken(http::ErrorCode code);
  void KeepPartial(std::uint64_t existingSize, http::ErrorCode code);
  // A non-empty file already has the target's name: resume it, start it
  // over, or take a new name. False when the attempt ended meanwhile.
  bool Resume(http::Session& session, Plan& plan);
  enum class Seam { Matches, Differs, Broken };
  Seam CheckSeam(Plan& plan, std::uint64_t existingSize, std::uint64_t seam);
  void UseFileName(const std::string& directory, const std::string& path);
  void ReceiveBody(Plan& plan);
  void FileError(const std::string& path, int error);

  void Report(std::uint32_t code, const std::string& text);
  template <class Change>
  void Update(Change change);

  WorkerSlot& m_slot;
  EngineCore& m_engine;
  QueuedRecord& m_record;
  const std::string m_href;

  // How the attempt went: an error was reported (so it ends for good), the
  // connection broke (with the error), body bytes were written.
  bool m_failed = false;
  bool m_broken = false;
  http::ErrorCode m_lastError = 0;
  std::string m_failureReason;  // the last error reported, for the ending's text
  bool m_wrote = false;
  // The body reached its clean end; the record went back to the queue
  // after a timeout.
  bool m_complete = false;
  bool m_requeued = false;
  std::chrono::steady_clock::time_point m_started;
  AttemptOutcome m_outcome = AttemptOutcome::Ended;
};
