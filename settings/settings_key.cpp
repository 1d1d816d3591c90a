#include "settings/settings_key.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <charconv>

#include "contract/link_record.h"
#include "contract/stores.h"

namespace {

const char* StoreFileName(SettingsStore store) {
  switch (store) {
    case SettingsStore::Fetchwick:
      return kSettingsStoreFile;
    case SettingsStore::Classes:
      return kClassesStoreFile;
  }
  return kSettingsStoreFile;
}

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool IsValidUtf8(std::string_view text) {
  const QString decoded = ToQString(text);
  const QByteArray back = decoded.toUtf8();
  return std::string_view(back.constData(), static_cast<std::size_t>(back.size())) == text;
}

QString GroupPath(std::string_view subkey) { return ToQString(StoreGroupPath(subkey)); }
QString ValueKey(std::string_view name) { return ToQString(StoreValueKey(name)); }

}  // namespace

std::string SettingsKey::StorePath(SettingsStore store) { return StoreFilePath(StoreFileName(store)); }

SettingsKey::SettingsKey(std::unique_ptr<QSettings> settings, Access access)
    : m_settings(std::move(settings)), m_access(access) {}

SettingsKey::~SettingsKey() { Close(); }

std::unique_ptr<SettingsKey> SettingsKey::Open(SettingsStore store, std::string_view subkey, Access access,
                                               bool createStore) {
  const QString path = QString::fromStdString(StorePath(store));
  if (!QFileInfo::exists(path)) {
    if (!createStore) return nullptr;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return nullptr;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return nullptr;
  }
  auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
  if (settings->status() != QSettings::NoError) return nullptr;
  const QString group = GroupPath(subkey);
  if (!group.isEmpty()) settings->beginGroup(group);
  return std::unique_ptr<SettingsKey>(new SettingsKey(std::move(settings), access));
}

std::unique_ptr<SettingsKey> SettingsKey::OpenForReading(SettingsStore store, std::string_view subkey) {
  return Open(store, subkey, Access::Read, false);
}

std::unique_ptr<SettingsKey> SettingsKey::OpenOrCreateForWriting(SettingsStore store, std::string_view subkey) {
  return Open(store, subkey, Access::Write, true);
}

std::unique_ptr<SettingsKey> SettingsKey::OpenExistingForWriting(SettingsStore store, std::string_view subkey) {
  return Open(store, subkey, Access::Write, false);
}

std::optional<std::string> SettingsKey::ReadString(std::string_view name) const {
  const QVariant value = m_settings->value(ValueKey(name));
  if (!value.isValid()) return std::nullopt;
  // Text that is not valid UTF-8 is stored as bytes so that it survives.
  const QByteArray bytes =
      value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
  if (static_cast<std::size_t>(bytes.size()) >= kMaxTextBytes) return std::nullopt;
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool SettingsKey::WriteString(std::string_view name, std::string_view value) {
  if (m_access != Access::Write) return false;
  if (IsValidUtf8(value))
    m_settings->setValue(ValueKey(name), ToQString(value));
  else
    m_settings->setValue(ValueKey(name), QByteArray(value.data(), static_cast<qsizetype>(value.size())));
  return true;
}

bool SettingsKey::ReadDword(std::string_view name, std::uint32_t& value) const {
  const QVariant stored = m_settings->value(ValueKey(name));
  if (!stored.isValid()) return false;
  const std::string text = stored.toString().toStdString();
  std::uint32_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  value = parsed;
  return true;
}

bool SettingsKey::WriteDword(std::string_view name, std::uint32_t value) {
  if (m_access != Access::Write) return false;
  m_settings->setValue(ValueKey(name), QVariant::fromValue<quint32>(value));
  return true;
}

bool SettingsKey::DeleteValue(std::string_view name) {
  if (m_access != Access::Write) return false;
  m_settings->remove(ValueKey(name));
  return true;
}

bool SettingsKey::DeleteSubkey(std::string_view subkey) {
  if (m_access != Access::Write) return false;
  const QString group = GroupPath(subkey);
  if (group.isEmpty()) return false;
  m_settings->remove(group);
  return true;
}

bool SettingsKey::SubkeyExists(std::string_view subkey) const {
  const QString group = GroupPath(subkey);
  if (group.isEmpty()) return false;
  m_settings->beginGroup(group);
  const bool any = !m_settings->allKeys().isEmpty();
  m_settings->endGroup();
  return any;
}

std::vector<std::string> SettingsKey::ValueNames() const {
  std::vector<std::string> names;
  for (const QString& key : m_settings->childKeys())
    if (key != QLatin1String(kDefaultValueKey)) names.push_back(UnescapeSettingsName(key.toStdString()));
  return names;
}

std::optional<std::string> SettingsKey::EnumValueName(std::uint32_t index) const {
  std::vector<std::string> names = ValueNames();
  if (index >= names.size()) return std::nullopt;
  return std::move(names[index]);
}

bool SettingsKey::Close() {
  if (m_access != Access::Write) return true;
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}
