#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SettingsKey;

// A stored 32-bit value with its default and its upper bound. What is read is
// clamped to the bound, so a damaged store cannot ask for billions of threads
// or a crawl that never ends.
struct DwordSetting {
  const char* name;
  std::uint32_t defaultValue;
  std::uint32_t maximum;
};

namespace setting {
inline constexpr DwordSetting kThreadCount{"ThreadCount", 5, 50};
inline constexpr DwordSetting kMaxRetries{"MaxRetries", 5, UINT32_MAX};
inline constexpr DwordSetting kCrawlDepth{"Crawl Depth", 5, 20};
inline constexpr DwordSetting kExcludeForeign{"Exclude Foreign", 1, 1};
inline constexpr char kDownloadDirectory[] = "Download Directory";
inline constexpr char kFileFilter[] = "File Filter";
inline constexpr char kHistory[] = "History";
inline constexpr char kCrawlerWindow[] = "Crawler Window";
inline constexpr char kCrawlerColumnWidths[] = "Crawler Column Widths";
inline constexpr char kCrawlerColumnOrder[] = "Crawler Column Order";
inline constexpr char kManagerWindow[] = "Manager Window";
inline constexpr char kManagerColumnWidths[] = "Manager Column Widths";
inline constexpr char kManagerColumnOrder[] = "Manager Column Order";
inline constexpr char kManagerHistoryColumnWidths[] = "Manager History Column Widths";
inline constexpr char kManagerPanes[] = "Manager Panes";  // the queue's and the history's heights
inline constexpr DwordSetting kManagerNotices{"Manager Notices", 1, 1};
}  // namespace setting

// The value stored under `key`, or the default when the key is null (the
// store could not be opened) or the value cannot be read; clamped to bounds.
std::uint32_t ReadSetting(const SettingsKey* key, const DwordSetting& setting);
bool WriteSetting(SettingsKey& key, const DwordSetting& setting, std::uint32_t value);

// The download folder always ends with "/". A missing or empty value, or one
// with no room left for the "/" within 259 characters, gives the user's
// download folder.
std::string ReadDownloadDirectory(const SettingsKey* key);
std::string DefaultDownloadDirectory();
// Stored exactly as given.
bool WriteDownloadDirectory(SettingsKey& key, std::string_view directory);

std::optional<std::string> ReadFileFilter(const SettingsKey* key);
bool WriteFileFilter(SettingsKey& key, std::string_view filter);

// A window's place and size as the user left it, and whether it was
// maximised, under the value `name`. Stored as "x,y,width,height,maximised";
// a damaged or implausible value reads as none.
struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
};
std::optional<WindowPlacement> ReadWindowPlacement(const SettingsKey* key, const char* name);
bool WriteWindowPlacement(SettingsKey& key, const char* name, const WindowPlacement& placement);

// A list's column widths (or a window's pane sizes), each within 8 to
// 10,000 pixels; and the columns in the order shown, a permutation of 0 to
// count - 1. Stored as numbers separated by commas; a value that is not
// `count` such numbers reads as none (empty).
std::vector<int> ReadSizes(const SettingsKey* key, const char* name, std::size_t count);
std::vector<int> ReadColumnOrder(const SettingsKey* key, const char* name, std::size_t count);
bool WriteNumberList(SettingsKey& key, const char* name, const std::vector<int>& numbers);

// The address history: the names of the values under the "History" subkey.
std::vector<std::string> ReadHistory();
// Deletes the subkey, creates it again and writes one empty value per address.
bool ReplaceHistory(const std::vector<std::string>& addresses);
bool ClearHistory();
