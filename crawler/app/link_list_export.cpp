#include "crawler/app/link_list_export.h"

#include <QSaveFile>

namespace {

constexpr const char* kHeadings[] = {"File Name", "Extension", "Complete URL", "File Size"};

}  // namespace

std::string CsvField(std::string_view text) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

std::string LinkListFileText(const std::vector<const LinkEntry*>& rows, LinkListFormat format) {
  std::string text;
  if (format == LinkListFormat::Text) {
    for (const LinkEntry* entry : rows) text.append(entry->url.view()) += '\n';
    return text;
  }
  const auto line = [&](std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (std::string_view field : fields) {
      if (!first) text += ',';
      text += CsvField(field);
      first = false;
    }
    text += "\r\n";
  };
  line({kHeadings[0], kHeadings[1], kHeadings[2], kHeadings[3]});
  for (const LinkEntry* entry : rows) {
    // As the list shows it: no size while it is unknown.
    const std::int32_t size = entry->size.load();
    line({entry->name, entry->extension, entry->url, size == 0 ? std::string() : std::to_string(size)});
  }
  return text;
}

LinkListFormat LinkListFormatFor(const QString& path) {
  return path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive) ? LinkListFormat::Text : LinkListFormat::Csv;
}

bool SaveLinkListFile(const QString& path, const std::vector<const LinkEntry*>& rows, LinkListFormat format,
                      QString& error) {
  QSaveFile file(path);
  const std::string text = LinkListFileText(rows, format);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
      !file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}
