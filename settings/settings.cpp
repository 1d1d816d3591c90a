#include "settings/settings.h"

#include <QStandardPaths>
#include <algorithm>
#include <charconv>

#include "contract/link_record.h"
#include "settings/settings_key.h"

namespace {

std::string WithTrailingSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

// Numbers separated by commas; none unless there are exactly `count`,
// each within [low, high].
std::vector<int> ReadNumbers(const SettingsKey* key, const char* name, std::size_t count, int low, int high) {
  const std::optional<std::string> text = key ? key->ReadString(name) : std::nullopt;
  if (!text) return {};
  std::vector<int> numbers;
  const char* at = text->data();
  const char* end = at + text->size();
  while (at < end) {
    int number = 0;
    const auto [next, error] = std::from_chars(at, end, number);
    if (error != std::errc() || number < low || number > high) return {};
    numbers.push_back(number);
    at = next;
    if (at < end && *at++ != ',') return {};
  }
  if (numbers.size() != count) return {};
  return numbers;
}

bool WriteNumbers(SettingsKey& key, const char* name, const std::vector<int>& numbers) {
  std::string text;
  for (int number : numbers) {
    if (!text.empty()) text += ',';
    text += std::to_string(number);
  }
  return key.WriteString(name, text) && key.Close();
}

}  // namespace

std::uint32_t ReadSetting(const SettingsKey* key, const DwordSetting& setting) {
  std::uint32_t value = setting.defaultValue;
  if (key) key->ReadDword(setting.name, value);
  return std::min(value, setting.maximum);
}

bool WriteSetting(SettingsKey& key, const DwordSetting& setting, std::uint32_t value) {
  return key.WriteDword(setting.name, value) && key.Close();
}

std::string DefaultDownloadDirectory() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
  return WithTrailingSlash(folder.toStdString());
}

std::string ReadDownloadDirectory(const SettingsKey* key) {
  std::optional<std::string> stored = key ? key->ReadString(setting::kDownloadDirectory) : std::nullopt;
  if (!stored || stored->empty()) return DefaultDownloadDirectory();
  std::string directory = WithTrailingSlash(std::move(*stored));
  if (directory.size() >= kMaxTextBytes) return DefaultDownloadDirectory();
  return directory;
}

bool WriteDownloadDirectory(SettingsKey& key, std::string_view directory) {
  return key.WriteString(setting::kDownloadDirectory, directory) && key.Close();
}

std::optional<std::string> ReadFileFilter(const SettingsKey* key) {
  return key ? key->ReadString(setting::kFileFilter) : std::nullopt;
}

bool WriteFileFilter(SettingsKey& key, std::string_view filter) {
  return key.WriteString(setting::kFileFilter, filter) && key.Close();
}

std::vector<std::string> ReadHistory() {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick, setting::kHistory);
  if (!key) return {};
  // Names are whole, however long: an address is never cut to a buffer.
  return key->ValueNames();
}

bool ClearHistory() {
  const auto key = SettingsKey::OpenExistingForWriting(SettingsStore::Fetchwick);
  if (!key) return true;  // no store, so no history either
  return key->DeleteSubkey(setting::kHistory) && key->Close();
}

bool ReplaceHistory(const std::vector<std::string>& addresses) {
  const auto root = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
  if (!root || !root->DeleteSubkey(setting::kHistory) || !root->Close()) return false;
  const auto history = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick, setting::kHistory);
  if (!history) return false;
  for (const std::string& address : addresses)
    if (!address.empty() && !history->WriteString(address, "")) return false;
  return history->Close();
}

std::optional<WindowPlacement> ReadWindowPlacement(const SettingsKey* key, const char* name) {
  const std::vector<int> n = ReadNumbers(key, name, 5, -100000, 100000);
  if (n.empty() || n[2] < 100 || n[3] < 100 || n[4] < 0 || n[4] > 1) return std::nullopt;
  return WindowPlacement{n[0], n[1], n[2], n[3], n[4] == 1};
}

bool WriteWindowPlacement(SettingsKey& key, const char* name, const WindowPlacement& placement) {
  return WriteNumbers(key, name,
                      {placement.x, placement.y, placement.width, placement.height, placement.maximized ? 1 : 0});
}

std::vector<int> ReadSizes(const SettingsKey* key, const char* name, std::size_t count) {
  return ReadNumbers(key, name, count, 8, 10000);
}

bool WriteNumberList(SettingsKey& key, const char* name, const std::vector<int>& numbers) {
  return WriteNumbers(key, name, numbers);
}

std::vector<int> ReadColumnOrder(const SettingsKey* key, const char* name, std::size_t count) {
  std::vector<int> order = ReadNumbers(key, name, count, 0, static_cast<int>(count) - 1);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < sorted.size(); ++i)
    if (sorted[i] != static_cast<int>(i)) return {};  // not each column once
  return order;
}
