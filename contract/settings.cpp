#include "contract/settings.h"

#include <QStandardPaths>
#include <algorithm>

#include "contract/link_record.h"
#include "contract/settings_key.h"

namespace {

std::string WithTrailingSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
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
