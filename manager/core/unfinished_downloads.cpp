#include "manager/core/unfinished_downloads.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <optional>

#include <unistd.h>

#include "manager/core/data_folder.h"
#include "manager/core/download_format.h"
#include "manager/core/json_fields.h"

namespace {

// The name is not checked beyond its size: the engine makes every name
// safe before it writes a file.
bool Acceptable(const UnfinishedDownload& download) {
  return IsDownloadableUrl(download.url) && download.url.size() < kUnfinishedTextLimit &&
         download.fileName.size() < kUnfinishedTextLimit;
}

std::optional<UnfinishedDownload> FromJson(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const auto url = TextField(object, QLatin1StringView("url"), kUnfinishedTextLimit - 1, true);
  const auto fileName = TextField(object, QLatin1StringView("fileName"), kUnfinishedTextLimit - 1, false);
  if (!url || !fileName) return std::nullopt;
  UnfinishedDownload download{*url, *fileName};
  if (!Acceptable(download)) return std::nullopt;
  return download;
}

}  // namespace

std::string UnfinishedPath() { return DataFolder() + "/unfinished.json"; }

bool WriteUnfinished(const std::vector<UnfinishedDownload>& downloads, std::string* error, const std::string& path) {
  if (downloads.empty()) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    if (error) *error = "Cannot remove " + path + ": " + std::strerror(errno);
    return false;
  }
  if (ParentFolder(path) == DataFolder() && !PrepareDataFolder(error)) return false;
  // Entries are encoded one by one, so that the file never passes the
  // limits the reading side holds it to.
  const QByteArray head = R"({"version":1,"downloads":[)";
  const QByteArray tail = "]}\n";
  std::string bytes(head.constData(), static_cast<std::size_t>(head.size()));
  std::size_t kept = 0;
  for (const UnfinishedDownload& download : downloads) {
    if (kept == kMaxUnfinished) break;
    if (!Acceptable(download)) continue;
    const QJsonObject object{{"url", ToQString(download.url)}, {"fileName", ToQString(download.fileName)}};
    const QByteArray one = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const std::size_t size = static_cast<std::size_t>(one.size()) + (kept ? 1 : 0);
    if (bytes.size() + size + static_cast<std::size_t>(tail.size()) > kMaxUnfinishedFileBytes) break;
    if (kept) bytes += ',';
    bytes.append(one.constData(), static_cast<std::size_t>(one.size()));
    ++kept;
  }
  bytes.append(tail.constData(), static_cast<std::size_t>(tail.size()));
  if (!WriteDataFile(path, bytes, error)) return false;
  if (kept == downloads.size()) return true;
  if (error)
    *error = "Only " + std::to_string(kept) + " of " + std::to_string(downloads.size()) +
             " unfinished downloads could be kept.";
  return false;
}

std::vector<UnfinishedDownload> ReadUnfinished(const std::string& path) {
  std::string bytes;
  const DataRead read = ReadDataFile(path, kMaxUnfinishedFileBytes, bytes);
  if (read == DataRead::Missing) return {};
  const std::optional<QJsonArray> list =
      read == DataRead::Ok ? VersionedList(bytes, QLatin1StringView("downloads")) : std::nullopt;
  if (!list) {
    SetAside(path);
    return {};
  }
  std::vector<UnfinishedDownload> downloads;
  for (qsizetype i = 0; i < list->size() && downloads.size() < kMaxUnfinished; ++i)
    if (auto download = FromJson(list->at(i))) downloads.push_back(std::move(*download));
  return downloads;
}

std::vector<UnfinishedDownload> TakeUnfinished(const std::string& path) {
  std::vector<UnfinishedDownload> downloads = ReadUnfinished(path);
  ::unlink(path.c_str());
  return downloads;
}
