#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The JSON files of the data folder, read as input from a stranger: every
// field is checked for its type and its size before use.

QString ToQString(const std::string& text);

// Numbers are stored as JSON numbers, so only whole ones that a double
// holds exactly are taken.
inline constexpr std::int64_t kMaxJsonWhole = std::int64_t{1} << 53;

// A text field: none when it is not a string, when its UTF-8 form is longer
// than `limit` bytes, or when it is absent and `required`. Absent and not
// required gives "".
std::optional<std::string> TextField(const QJsonObject& object, QLatin1StringView key, std::size_t limit,
                                     bool required);

// A whole-number field; absent gives 0.
std::optional<std::int64_t> WholeField(const QJsonObject& object, QLatin1StringView key);

// The list of a file shaped {"version":N,"KEY":[...]}, N a whole number of
// at least 1 (a later version's file is read as far as it is understood).
// None when the bytes are not such a file.
std::optional<QJsonArray> VersionedList(const std::string& bytes, QLatin1StringView key);
