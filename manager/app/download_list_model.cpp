#include "manager/app/download_list_model.h"

#include <algorithm>

#include "contract/file_path.h"
#include "contract/status.h"
#include "manager/core/download_format.h"
#include "manager/core/progress_text.h"

namespace queuebay {

DownloadListModel::DownloadListModel(QObject* parent) : QAbstractTableModel(parent) {}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DownloadListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_rows.size()) return {};
  const Row& row = m_rows[static_cast<std::size_t>(index.row())];
  const _LinkStructType& record = *row.record;
  if (role == Qt::ToolTipRole) return QString::fromStdString(RowTooltip(record));
  if (role == kProgressRole) {
    if (index.column() != kDownloaded || record.dwFileSize == 0) return {};
    return std::min(1.0, static_cast<double>(record.dwCurrentSize) / record.dwFileSize);
  }
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case kFileName:
        return QString::fromUtf8(RecordText(record.szFileName));
      case kUrl:
        return QString::fromUtf8(RecordText(record.szHref));
      case kFileSize:
        return QString::fromStdString(CellNumber(record.dwFileSize));
      case kDownloaded:
        return QString::fromStdString(CellNumber(record.dwCurrentSize));
      case kRate:
        return QString::fromStdString(FormatRate(record.dwBytesPerSecond));
      case kRetries:
        return QString::fromStdString(CellNumber(record.dwTimeouts));
      default:
        return {};
    }
  }
  if (role == Qt::DecorationRole && index.column() == kFileName) return m_icons.Image(row.image);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((index.column() <= kUrl ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
  return {};
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kHeadings[kColumnCount] = {"File Name",  "Complete URL", "File Size",
                                                      "Downloaded", "Rate",         "Retries"};
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kHeadings[section]);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((section <= kUrl ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
  return {};
}

void DownloadListModel::Count(const Row& row, int sign) {
  if (row.removed) return;
  if (!row.downloading) {
    m_totals.queued += sign;
    return;
  }
  m_totals.downloading += sign;
  // Unsigned wrap-around cancels out: what is taken is what was added.
  m_totals.bytesPerSecond += static_cast<std::uint64_t>(sign) * row.record->dwBytesPerSecond;
}

void DownloadListModel::AddRow(const _LinkStructType& record, bool downloading) {
  // The icon goes by the file name's own extension; none is looked up as such.
  const int image = m_icons.IconIndexFor(std::string(SplitFilePath(RecordText(record.szFileName)).extension));
  const std::uint64_t id = m_nextId++;
  m_rows.push_back(Row{id, image, std::make_unique<_LinkStructType>(record), false, downloading});
  Count(m_rows.back(), +1);
  m_rowsOf[std::string(RecordText(record.szHref))].push_back(id);
}

void DownloadListModel::Reload(const std::vector<_LinkStructType>& records) {
  beginResetModel();
  m_rows.clear();
  m_rowsOf.clear();
  m_changed.clear();
  m_anyRemoved = false;
  m_totals = {};
  m_rows.reserve(records.size());
  // No event tells whether a listed file has started: bytes or a rate do.
  for (const _LinkStructType& record : records)
    AddRow(record, record.dwBytesPerSecond > 0 || record.dwCurrentSize > 0);
  endResetModel();
}

int DownloadListModel::RowOfId(std::uint64_t id) const {
  const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), id,
                                   [](const Row& row, std::uint64_t wanted) { return row.id < wanted; });
  return at != m_rows.end() && at->id == id ? static_cast<int>(at - m_rows.begin()) : -1;
}

int DownloadListModel::FirstRowOf(std::string_view url) const {
  const auto found = m_rowsOf.find(std::string(url));
  if (found == m_rowsOf.end() || found->second.empty()) return -1;
  return RowOfId(found->second.front());
}

void DownloadListModel::Apply(std::uint32_t code, const _LinkStructType& record) {
  if (code == STATUS_QUEUED) {
    // A new row at the end, even when the address has one already.
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at);
    AddRow(record, /*downloading=*/false);
    endInsertRows();
    return;
  }
  const std::string url(RecordText(record.szHref));
  const auto found = m_rowsOf.find(url);
  if (found == m_rowsOf.end() || found->second.empty()) return;
  const std::uint64_t id = found->second.front();
  const int row = RowOfId(id);
  if (code == STATUS_DONE) {
    // Out of the index at once, so later events of the batch find the next
    // row of the address; off the list at the flush.
    Count(m_rows[static_cast<std::size_t>(row)], -1);
    m_rows[static_cast<std::size_t>(row)].removed = true;
    m_anyRemoved = true;
    found->second.pop_front();
    if (found->second.empty()) m_rowsOf.erase(found);
    return;
  }
  // Only the texts change: the row keeps the icon it was given.
  Row& changed = m_rows[static_cast<std::size_t>(row)];
  Count(changed, -1);
  *changed.record = record;
  if (code == STATUS_STARTING || code == STATUS_PROGRESS || code == STATUS_TRYING) changed.downloading = true;
  Count(changed, +1);
  if (m_changed.empty() || m_changed.back() != id) m_changed.push_back(id);
}

void DownloadListModel::FlushChanges() {
  std::vector<int> rows;
  rows.reserve(m_changed.size());
  for (std::uint64_t id : m_changed)
    if (const int row = RowOfId(id); row >= 0 && !m_rows[static_cast<std::size_t>(row)].removed) rows.push_back(row);
  m_changed.clear();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (std::size_t first = 0; first < rows.size();) {
    std::size_t last = first;
    while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) ++last;
    emit dataChanged(index(rows[first], 0), index(rows[last], kColumnCount - 1),
                     {Qt::DisplayRole, Qt::ToolTipRole, kProgressRole});
    first = last + 1;
  }
  if (!m_anyRemoved) return;
  m_anyRemoved = false;
  // From the bottom up, so the runs above keep their places.
  for (int last = static_cast<int>(m_rows.size()) - 1; last >= 0;) {
    if (!m_rows[static_cast<std::size_t>(last)].removed) {
      --last;
      continue;
    }
    int first = last;
    while (first > 0 && m_rows[static_cast<std::size_t>(first - 1)].removed) --first;
    beginRemoveRows({}, first, last);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
    endRemoveRows();
    last = first - 1;
  }
}

std::string DownloadListModel::UrlAt(int row) const {
  const _LinkStructType* record = RecordAt(row);
  return record ? std::string(RecordText(record->szHref)) : std::string();
}

const _LinkStructType* DownloadListModel::RecordAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return nullptr;
  return m_rows[static_cast<std::size_t>(row)].record.get();
}

std::vector<std::string> DownloadListModel::Urls() const {
  std::vector<std::string> urls;
  urls.reserve(m_rows.size());
  for (const Row& row : m_rows)
    if (!row.removed) urls.emplace_back(RecordText(row.record->szHref));
  return urls;
}

}  // namespace queuebay
