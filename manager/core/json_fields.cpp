#include "manager/core/json_fields.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

QString ToQString(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::optional<std::string> TextField(const QJsonObject& object, QLatin1StringView key, std::size_t limit,
                                     bool required) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined()) return required ? std::nullopt : std::optional<std::string>("");
  if (!value.isString()) return std::nullopt;
  const QByteArray utf8 = value.toString().toUtf8();
  if (static_cast<std::size_t>(utf8.size()) > limit) return std::nullopt;
  return utf8.toStdString();
}

std::optional<std::int64_t> WholeField(const QJsonObject& object, QLatin1StringView key) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined()) return 0;
  if (!value.isDouble()) return std::nullopt;
  // toInteger gives the default for a fraction or a number out of range.
  const std::int64_t whole = value.toInteger(kMaxJsonWhole + 1);
  if (whole > kMaxJsonWhole || whole < -kMaxJsonWhole) return std::nullopt;
  return whole;
}

std::optional<QJsonArray> VersionedList(const std::string& bytes, QLatin1StringView key) {
  QJsonParseError parse{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), &parse);
  if (parse.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonObject top = document.object();
  const auto version = top.contains(QLatin1StringView("version")) ? WholeField(top, QLatin1StringView("version"))
                                                                   : std::nullopt;
  const QJsonValue list = top.value(key);
  if (!version || *version < 1 || !list.isArray()) return std::nullopt;
  return list.toArray();
}
