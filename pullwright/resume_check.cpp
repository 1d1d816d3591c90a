// Deciding what an attempt does with a file that already has its name:
// resume it where it ends, start it over, or leave it and take a new name.
#include <algorithm>
#include <cstring>

#include "contract/unique_path.h"
#include "pullwright/file_helpers.h"
#include "pullwright/transfer_attempt.h"

namespace {

// Reads until `length` bytes are in or the body ends.
http::Result<std::size_t> ReadFully(http::Request& request, char* out, std::size_t length) {
  std::size_t got = 0;
  while (got < length) {
    const auto read = request.Read(out + got, length - got);
    if (!read) return http::Error{read.error()};
    if (*read == 0) break;
    got += *read;
  }
  return got;
}

}  // namespace

bool TransferAttempt::Resume(http::Session& session, Plan& plan) {
  const std::uint64_t existingSize = FileSizeIfExists(plan.path);
  TargetFile existing = TargetFile::OpenExisting(plan.path);
  bool same = false;
  bool http11 = true;
  const std::string validator = existing.valid() ? existing.Validator() : std::string();
  if (existing.valid()) {
    // Resume only a file whose first bytes are what the server sends now.
    char filePrefix[kChunk];
    char answerPrefix[kChunk];
    const std::size_t wanted = existing.ReadAt(filePrefix, std::min<std::uint64_t>(kChunk, existingSize), 0);
    http11 = plan.request->VersionText().value_or("") == "HTTP/1.1";
    const auto got = ReadFully(*plan.request, answerPrefix, wanted);
    if (!got) {
      KeepPartial(existingSize, got.error());
      return false;
    }
    same = *got == wanted && std::memcmp(filePrefix, answerPrefix, wanted) == 0;
  }
  // A file this record wrote earlier is started over in place when it
  // cannot be resumed; anything else that differs is kept, and the download
  // takes a new name.
  const bool own = existing.valid() && plan.path == m_record.ownPath;
  const bool resume = same && (m_record.fileSize > existingSize || (m_record.fileSize == 0 && own));
  if (!resume && !own) {
    existing = TargetFile();
    plan.path = MakeUniquePath(plan.path, NonEmptyFileExists);
  }
  plan.target = std::move(existing);
  plan.request.reset();

  // A server that did not answer HTTP/1.1 gets no range: the file comes
  // whole and is written from its start.
  if (!http11) return (plan.request = Fetch(session, std::nullopt)) != nullptr;
  if (!resume) return (plan.request = Fetch(session, 0)) != nullptr;

  // The range starts a little before the file's end, so that the bytes on
  // both sides of the seam can be compared.
  const std::uint64_t seam = std::min<std::uint64_t>(kChunk, existingSize);
  if (!(plan.request = Fetch(session, existingSize - seam, validator))) return false;
  // A server that ignores ranges sends the whole file again, from its start.
  // Asked with If-Range, a whole answer says the file changed since the
  // partial one was written: it starts over, as for a prefix that differs.
  if (plan.request->StatusCode().value_or(0) != 206) {
    if (!validator.empty() && !own) {
      plan.target = TargetFile();
      plan.path = MakeUniquePath(plan.path, NonEmptyFileExists);
    }
    return true;
  }
  switch (CheckSeam(plan, existingSize, seam)) {
    case Seam::Matches:
      plan.writeFrom = existingSize;
      return true;
    case Seam::Broken:
      return false;
    case Seam::Differs:
      break;
  }
  // The file changed on the server behind its first bytes: appending would
  // mix two files. It starts over, as for a prefix that differs.
  if (!own) {
    plan.target = TargetFile();
    plan.path = MakeUniquePath(plan.path, NonEmptyFileExists);
  }
  plan.request.reset();
  return (plan.request = Fetch(session, 0)) != nullptr;
}

TransferAttempt::Seam TransferAttempt::CheckSeam(Plan& plan, std::uint64_t existingSize, std::uint64_t seam) {
  char fileTail[kChunk];
  char answerStart[kChunk];
  const std::size_t have = plan.target.ReadAt(fileTail, seam, existingSize - seam);
  const auto got = ReadFully(*plan.request, answerStart, seam);
  if (!got) {
    KeepPartial(existingSize, got.error());
    return Seam::Broken;
  }
  return have == seam && *got == seam && std::memcmp(fileTail, answerStart, seam) == 0 ? Seam::Matches
                                                                                       : Seam::Differs;
}
