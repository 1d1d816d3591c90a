#include "manager/app/history_list_model.h"

#include <QDateTime>
#include <algorithm>

#include "contract/file_path.h"
#include "contract/status.h"
#include "manager/core/progress_text.h"

namespace queuebay {

namespace {

// What a failure's ending says after the file's progress: its reason.
QString OutcomeText(const HistoryEntry& entry) {
  QString text = QString::fromLatin1(OutcomeWord(entry.outcome));
  const std::string_view reason = EndingReason(entry.detail);
  if (entry.outcome == HistoryOutcome::Failed && !reason.empty())
    text += QStringLiteral(": ") + QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()));
  return text;
}

}  // namespace

HistoryListModel::HistoryListModel(DownloadHistory& history, QObject* parent)
    : QAbstractTableModel(parent), m_history(history) {
  m_save.setSingleShot(true);
  m_save.setInterval(kSaveDelayMs);
  connect(&m_save, &QTimer::timeout, this, [this] { m_history.Save(); });
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_history.Entries().size());
}

int HistoryListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

std::size_t HistoryListModel::IndexOf(int row) const { return m_history.Entries().size() - 1 - static_cast<std::size_t>(row); }

const HistoryEntry* HistoryListModel::EntryAt(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return &m_history.Entries()[IndexOf(row)];
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
  const HistoryEntry* entry = index.isValid() ? EntryAt(index.row()) : nullptr;
  if (!entry) return {};
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case kFileName:
        return QString::fromStdString(entry->name);
      case kOutcome:
        return OutcomeText(*entry);
      case kSize:
        return QString::fromStdString(FormatBytes(entry->size));
      case kFolder:
        return QString::fromStdString(entry->folder);
      case kWhen:
        return QDateTime::fromSecsSinceEpoch(entry->when).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
      default:
        return {};
    }
  }
  if (role == Qt::ToolTipRole)
    return QString::fromStdString(entry->detail + "\n" + entry->url);
  if (role == Qt::DecorationRole && index.column() == kFileName)
    return m_icons.Image(m_icons.IconIndexFor(std::string(SplitFilePath(entry->name).extension)));
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((index.column() == kSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

QVariant HistoryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kHeadings[kColumnCount] = {"File Name", "Outcome", "Size", "Folder", "When"};
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kHeadings[section]);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((section == kSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

void HistoryListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void HistoryListModel::Add(HistoryEntry entry) {
  // The oldest goes from the bottom when the history is full.
  if (m_history.Entries().size() >= DownloadHistory::kMaxEntries) {
    const int last = rowCount() - 1;
    beginRemoveRows({}, last, last);
    m_history.RemoveAt(0);
    endRemoveRows();
  }
  beginInsertRows({}, 0, 0);
  m_history.Add(std::move(entry));
  endInsertRows();
  ScheduleSave();
}

void HistoryListModel::Remove(std::vector<int> rows) {
  // From the bottom up, so the rows above keep their places.
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    beginRemoveRows({}, row, row);
    m_history.RemoveAt(IndexOf(row));
    endRemoveRows();
  }
  ScheduleSave();
}

void HistoryListModel::Clear() {
  beginResetModel();
  m_history.Clear();
  endResetModel();
  ScheduleSave();
}

void HistoryListModel::ScheduleSave() {
  if (!m_save.isActive()) m_save.start();
}

void HistoryListModel::SaveNow() {
  if (!m_save.isActive()) return;
  m_save.stop();
  m_history.Save();
}

}  // namespace queuebay
