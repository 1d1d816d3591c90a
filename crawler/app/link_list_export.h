#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "crawler/core/link_entry.h"

// Saving the rows of the link list for other programs: as CSV (a heading
// line, then one line per row with the four columns, quoted where a field
// needs it, lines ended by CR LF), or as plain text, one address a line,
// which download tools take as an input list.
enum class LinkListFormat { Csv, Text };

// One CSV field: as it is, or in double quotes with each quote doubled when
// it holds a comma, a quote, a line break or spaces at either end.
std::string CsvField(std::string_view text);

// The whole file for `rows`, in their order.
std::string LinkListFileText(const std::vector<const LinkEntry*>& rows, LinkListFormat format);

// The format a file name asks for: ".txt" is text, anything else CSV.
LinkListFormat LinkListFormatFor(const QString& path);

// Writes the file whole or not at all (it replaces an older one only once
// written); false with the reason in `error`.
bool SaveLinkListFile(const QString& path, const std::vector<const LinkEntry*>& rows, LinkListFormat format,
                      QString& error);
