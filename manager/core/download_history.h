#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every ending of a download the manager saw, kept across runs in the
// user's data folder.

enum class HistoryOutcome { Finished, Failed, Stopped, Canceled };

struct HistoryEntry {
  std::string name;         // the file name as shown
  std::string url;
  HistoryOutcome outcome = HistoryOutcome::Finished;
  std::string detail;       // the engine's ending text, or the error; free text
  std::uint64_t size = 0;   // bytes of the file when it ended
  std::string folder;       // the download folder, ending with "/"
  std::int64_t when = 0;    // seconds since the epoch

  bool operator==(const HistoryEntry&) const = default;
};

// "Finished", "Failed", "Stopped", "Canceled": shown in the list and
// stored in the file.
const char* OutcomeWord(HistoryOutcome outcome);
std::optional<HistoryOutcome> OutcomeFromWord(std::string_view word);

class DownloadHistory {
 public:
  static constexpr std::size_t kMaxEntries = 1000;
  // Longer texts are cut when added and refused when read.
  static constexpr std::size_t kMaxTextBytes = 4096;
  static constexpr std::size_t kMaxFileBytes = 8u << 20;

  explicit DownloadHistory(std::string path = DefaultPath());
  // DataFolder() + "/history.json"
  static std::string DefaultPath();

  struct LoadResult {
    bool damaged = false;
    std::string setAsidePath;  // "" when a damaged file could not be moved
  };
  // Reads the file, replacing what is held. A missing file is an empty
  // history. A damaged one (unreadable, too large, not the expected JSON)
  // is set aside and the history starts empty. Single entries with bad
  // fields are skipped. Keeps the newest kMaxEntries.
  LoadResult Load();

  // Oldest first.
  const std::vector<HistoryEntry>& Entries() const { return m_entries; }
  // Texts longer than kMaxTextBytes are cut (at a character boundary), so
  // that what is saved can always be read back; the oldest entry beyond
  // kMaxEntries goes.
  void Add(HistoryEntry entry);
  // An index into Entries(); out of range does nothing.
  void RemoveAt(std::size_t index);
  void Clear();

  // Writes the whole history atomically, creating the data folder when the
  // file lives there. Should the entries not fit into kMaxFileBytes, only
  // the newest that fit are written. False with the reason in `error`.
  bool Save(std::string* error = nullptr) const;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::vector<HistoryEntry> m_entries;
};

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t limit);
