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

// The crawler window's place and size as the user left it, and whether it
// was maximised. Stored as "x,y,width,height,maximised"; a damaged or
// implausible value reads as none.
struct WindowPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
};
std::optional<WindowPlacement> ReadCrawlerWindow(const SettingsKey* key);
bool WriteCrawlerWindow(SettingsKey& key, const WindowPlacement& placement);

// The crawler list's column widths, by column, each within 8 to 10,000
// pixels; and the columns in the order shown, a permutation of 0 to
// count - 1. Stored as numbers separated by commas; a value that is not
// `count` such numbers reads as none (empty).
std::vector<int> ReadCrawlerColumnWidths(const SettingsKey* key, std::size_t count);
bool WriteCrawlerColumnWidths(SettingsKey& key, const std::vector<int>& widths);
std::vector<int> ReadCrawlerColumnOrder(const SettingsKey* key, std::size_t count);
bool WriteCrawlerColumnOrder(SettingsKey& key, const std::vector<int>& order);

// The address history: the names of the values under the "History" subkey.
std::vector<std::string> ReadHistory();
// Deletes the subkey, creates it again and writes one empty value per address.
bool ReplaceHistory(const std::vector<std::string>& addresses);
bool ClearHistory();
