#include "manager/core/download_history.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <utility>

#include "manager/core/data_folder.h"
#include "manager/core/json_fields.h"

namespace {

constexpr std::array<std::pair<HistoryOutcome, const char*>, 4> kOutcomeWords{{
    {HistoryOutcome::Finished, "Finished"},
    {HistoryOutcome::Failed, "Failed"},
    {HistoryOutcome::Stopped, "Stopped"},
    {HistoryOutcome::Canceled, "Canceled"},
}};

QJsonObject ToJson(const HistoryEntry& entry) {
  return QJsonObject{
      {"name", ToQString(entry.name)},
      {"url", ToQString(entry.url)},
      {"outcome", OutcomeWord(entry.outcome)},
      {"detail", ToQString(entry.detail)},
      {"size", static_cast<qint64>(std::min<std::uint64_t>(entry.size, kMaxJsonWhole))},
      {"folder", ToQString(entry.folder)},
      {"when", static_cast<qint64>(std::clamp(entry.when, -kMaxJsonWhole, kMaxJsonWhole))},
  };
}

// None when the entry is to be skipped.
std::optional<HistoryEntry> FromJson(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  constexpr std::size_t limit = DownloadHistory::kMaxTextBytes;
  const auto url = TextField(object, QLatin1StringView("url"), limit, true);
  const auto outcomeWord = TextField(object, QLatin1StringView("outcome"), limit, true);
  const auto outcome = outcomeWord ? OutcomeFromWord(*outcomeWord) : std::nullopt;
  const auto name = TextField(object, QLatin1StringView("name"), limit, false);
  const auto detail = TextField(object, QLatin1StringView("detail"), limit, false);
  const auto folder = TextField(object, QLatin1StringView("folder"), limit, false);
  const auto size = WholeField(object, QLatin1StringView("size"));
  const auto when = WholeField(object, QLatin1StringView("when"));
  if (!url || url->empty() || !outcome || !name || !detail || !folder || !size || *size < 0 || !when)
    return std::nullopt;
  return HistoryEntry{*name, *url, *outcome, *detail, static_cast<std::uint64_t>(*size), *folder, *when};
}

}  // namespace

const char* OutcomeWord(HistoryOutcome outcome) {
  for (const auto& [value, word] : kOutcomeWords)
    if (value == outcome) return word;
  return "Finished";
}

std::optional<HistoryOutcome> OutcomeFromWord(std::string_view word) {
  for (const auto& [value, known] : kOutcomeWords)
    if (word == known) return value;
  return std::nullopt;
}

std::string CutUtf8(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  // Back off over continuation bytes to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

DownloadHistory::DownloadHistory(std::string path) : m_path(std::move(path)) {}

std::string DownloadHistory::DefaultPath() { return DataFolder() + "/history.json"; }

DownloadHistory::LoadResult DownloadHistory::Load() {
  m_entries.clear();
  std::string bytes;
  const DataRead read = ReadDataFile(m_path, kMaxFileBytes, bytes);
  if (read == DataRead::Missing) return {};
  const std::optional<QJsonArray> list =
      read == DataRead::Ok ? VersionedList(bytes, QLatin1StringView("entries")) : std::nullopt;
  if (!list) return {true, SetAside(m_path)};
  // Only the newest are kept, so the list is read from its end.
  for (qsizetype i = list->size(); i-- > 0 && m_entries.size() < kMaxEntries;)
    if (auto entry = FromJson(list->at(i))) m_entries.push_back(std::move(*entry));
  std::reverse(m_entries.begin(), m_entries.end());
  return {};
}

void DownloadHistory::Add(HistoryEntry entry) {
  for (std::string* text : {&entry.name, &entry.url, &entry.detail, &entry.folder})
    *text = CutUtf8(std::move(*text), kMaxTextBytes);
  m_entries.push_back(std::move(entry));
  if (m_entries.size() > kMaxEntries) m_entries.erase(m_entries.begin());
}

void DownloadHistory::RemoveAt(std::size_t index) {
  if (index < m_entries.size()) m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

void DownloadHistory::Clear() { m_entries.clear(); }

bool DownloadHistory::Save(std::string* error) const {
  if (ParentFolder(m_path) == DataFolder() && !PrepareDataFolder(error)) return false;
  // Each entry is encoded on its own, newest first, so that a history too
  // large for the reading limit loses its oldest entries rather than all.
  const QByteArray head = R"({"version":1,"entries":[)";
  const QByteArray tail = "]}\n";
  std::vector<QByteArray> encoded;
  std::size_t total = static_cast<std::size_t>(head.size() + tail.size());
  for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
    QByteArray one = QJsonDocument(ToJson(*entry)).toJson(QJsonDocument::Compact);
    if (total + static_cast<std::size_t>(one.size()) + 1 > kMaxFileBytes) break;
    total += static_cast<std::size_t>(one.size()) + 1;
    encoded.push_back(std::move(one));
  }
  std::string bytes;
  bytes.reserve(total);
  bytes.append(head.constData(), static_cast<std::size_t>(head.size()));
  for (auto one = encoded.rbegin(); one != encoded.rend(); ++one) {
    if (one != encoded.rbegin()) bytes += ',';
    bytes.append(one->constData(), static_cast<std::size_t>(one->size()));
  }
  bytes.append(tail.constData(), static_cast<std::size_t>(tail.size()));
  return WriteDataFile(m_path, bytes, error);
}
