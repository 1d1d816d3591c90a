#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The addresses still queued or downloading when Queuebay closed, written
// down so that the next start can offer them again (they resume from their
// partial files).

struct UnfinishedDownload {
  std::string url;
  std::string fileName;

  bool operator==(const UnfinishedDownload&) const = default;
};

inline constexpr std::size_t kMaxUnfinishedFileBytes = 4u << 20;
inline constexpr std::size_t kMaxUnfinished = 100000;
// Each text is shorter than this, as the engine takes it.
inline constexpr std::size_t kUnfinishedTextLimit = 260;

// DataFolder() + "/unfinished.json"
std::string UnfinishedPath();

// Writes the list atomically (creating the data folder when the file lives
// there); an empty list removes the file. Entries that could not be read
// back (an address that is not http: or https:, a text of 260 bytes or
// more) are left out, and so is whatever passes the file's limits. False
// with the reason in `error` when the file could not be written, or when
// it was written without some of the entries (it then says how many).
bool WriteUnfinished(const std::vector<UnfinishedDownload>& downloads, std::string* error = nullptr,
                     const std::string& path = UnfinishedPath());

// Reads the file without removing it. A damaged file is set aside and reads
// as none; entries with bad fields are skipped.
std::vector<UnfinishedDownload> ReadUnfinished(const std::string& path = UnfinishedPath());
// Reads and removes the file, so that it is offered only once.
std::vector<UnfinishedDownload> TakeUnfinished(const std::string& path = UnfinishedPath());
