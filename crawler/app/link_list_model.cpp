#include "crawler/app/link_list_model.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include "contract/file_name.h"

namespace {

// Whether `text` holds `lower` (lower case), ASCII letters compared
// without case; other bytes as they are.
bool HoldsFolded(std::string_view text, std::string_view lower) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::search(text.begin(), text.end(), lower.begin(), lower.end(),
                     [&](char a, char b) { return fold(a) == b; }) != text.end();
}

// Rows are placed and sorted by texts compared byte for byte.
bool NameBefore(const LinkEntry* a, const LinkEntry* b) { return a->name < b->name; }

// The comparison of a column, -1, 0 or 1 as a sorts before, with or after b;
// sizes compare as unsigned 32-bit numbers, so -1 counts as the largest.
int CompareBy(int column, const LinkEntry& a, const LinkEntry& b) {
  const auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (column) {
    case LinkListModel::kName:
      return sign(a.name, b.name);
    case LinkListModel::kExtension:
      return sign(a.extension, b.extension);
    case LinkListModel::kUrl:
      return sign(a.url, b.url);
    case LinkListModel::kSize:
      return sign(static_cast<std::uint32_t>(a.size.load()), static_cast<std::uint32_t>(b.size.load()));
    default:
      return 0;
  }
}

}  // namespace

LinkListModel::LinkListModel(QObject* parent) : QAbstractTableModel(parent) {}

int LinkListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int LinkListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant LinkListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_rows.size()) return {};
  const Row& row = m_rows[static_cast<std::size_t>(index.row())];
  const LinkEntry& entry = *row.entry;
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
      case kName:
        return QString::fromStdString(entry.name);
      case kExtension:
        return QString::fromStdString(entry.extension);
      case kUrl:
        return QString::fromStdString(entry.url);
      case kSize: {
        const std::int32_t size = entry.size.load();
        // Empty while the size is unknown.
        return size == 0 ? QString() : QString::number(size);
      }
      default:
        return {};
    }
  }
  if (role == Qt::DecorationRole && index.column() == kName) return m_icons.Image(row.image);
  return {};
}

QVariant LinkListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kHeadings[kColumnCount] = {"File Name", "Extension", "Complete URL", "File Size"};
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kHeadings[section]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

int LinkListModel::IconIndexFor(const std::string& url) {
  // The extension of the file the address names, letter case as written:
  // never one that a query or a host name seems to have.
  std::string extension(SplitAddressFileName(url).extension());
  if (extension.empty()) extension = ".html";  // an address without one is a page
  return m_icons.IconIndexFor(extension);
}

LinkListModel::Row LinkListModel::MakeRow(const LinkEntry* entry) { return Row{entry, IconIndexFor(entry->url)}; }

void LinkListModel::Rebuild(std::shared_ptr<const LinkList> list,
                            const std::function<bool(const LinkEntry&)>& shown) {
  beginResetModel();
  m_list = std::move(list);
  m_handled.clear();
  std::vector<Row> rows;
  if (m_list) {
    const std::vector<const LinkEntry*> entries = m_list->Entries();
    m_handled.reserve(entries.size());
    for (const LinkEntry* entry : entries) {
      m_handled.insert(entry);
      if (!shown || shown(*entry)) rows.push_back(MakeRow(entry));
    }
  }
  // Each row takes its place by name after the rows of the same name
  // listed before it.
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return NameBefore(a.entry, b.entry); });
  m_byName = true;
  AssignRows(std::move(rows));
  endResetModel();
}

bool LinkListModel::PassesQuick(const LinkEntry& entry) const {
  return m_quick.empty() || HoldsFolded(entry.name, m_quick) || HoldsFolded(entry.url, m_quick);
}

void LinkListModel::PlacePending() {
  if (m_pending.empty()) return;
  const auto byName = [](const Row& a, const Row& b) { return NameBefore(a.entry, b.entry); };
  if (m_byName) {
    // One merge instead of a search per row: a row goes after the rows of
    // its name already there, and rows of one name keep the order they came in.
    std::stable_sort(m_pending.begin(), m_pending.end(), byName);
    const std::vector<Row> all = m_all.flatten();
    std::vector<Row> merged;
    merged.reserve(all.size() + m_pending.size());
    std::merge(all.begin(), all.end(), m_pending.begin(), m_pending.end(), std::back_inserter(merged), byName);
    m_all.assign(std::move(merged));
  } else {
    for (const Row& row : m_pending) m_all.insert(m_all.upper_bound(row, byName), row);
  }
  m_pending.clear();
}

void LinkListModel::AssignRows(std::vector<Row> rows) {
  m_pending.clear();
  if (m_quick.empty()) {
    m_all.clear();
    m_rows.assign(std::move(rows));
    return;
  }
  std::vector<Row> shown;
  for (const Row& row : rows)
    if (PassesQuick(*row.entry)) shown.push_back(row);
  m_all.assign(std::move(rows));
  m_rows.assign(std::move(shown));
}

void LinkListModel::SetQuickFilter(const QString& text) {
  std::string lower = text.toLower().toStdString();
  if (lower == m_quick) return;
  beginResetModel();
  PlacePending();
  std::vector<Row> rows = m_quick.empty() ? m_rows.flatten() : m_all.flatten();
  m_quick = std::move(lower);
  AssignRows(std::move(rows));
  endResetModel();
}

void LinkListModel::Clear() {
  beginResetModel();
  m_list.reset();
  m_handled.clear();
  m_rows.clear();
  m_all.clear();
  m_pending.clear();
  m_byName = true;
  endResetModel();
}

std::size_t LinkListModel::AddFound(const std::vector<LinkFoundMessage>& messages, const LinkList* current) {
  std::size_t added = 0;
  for (const LinkFoundMessage& message : messages) {
    if (!message.entry || message.list.get() != current) continue;  // an older crawl's
    if (m_list != message.list) {
      // The first link of a crawl whose list the rows do not show yet.
      if (!m_rows.empty() || !m_all.empty() || !m_pending.empty()) Clear();
      m_list = message.list;
      m_handled.clear();
    }
    if (!m_handled.insert(message.entry).second) continue;
    const Row row = MakeRow(message.entry);
    const auto byName = [](const Row& a, const Row& b) { return NameBefore(a.entry, b.entry); };
    if (!m_quick.empty()) {
      m_pending.push_back(row);
      if (!PassesQuick(*row.entry)) continue;
    }
    const std::size_t at = m_rows.upper_bound(row, byName);
    beginInsertRows({}, static_cast<int>(at), static_cast<int>(at));
    m_rows.insert(at, row);
    endInsertRows();
    ++added;
  }
  return added;
}

void LinkListModel::SortByColumn(int column) {
  m_bSortAscending = !m_bSortAscending;
  if (column < 0 || column >= kColumnCount) return;
  PlacePending();
  m_byName = false;
  const bool ascending = m_bSortAscending;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<const LinkEntry*> held;
  held.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& index : before) held.push_back(Entry(index.row()));

  const auto sortsBefore = [&](const Row& a, const Row& b) {
    const int order = CompareBy(column, *a.entry, *b.entry);
    return ascending ? order < 0 : order > 0;
  };
  std::vector<Row> rows = m_rows.flatten();
  std::stable_sort(rows.begin(), rows.end(), sortsBefore);
  m_rows.assign(rows);
  if (!m_quick.empty()) {
    // The rows hidden now take their sorted places too, for when they show again.
    std::vector<Row> all = m_all.flatten();
    std::stable_sort(all.begin(), all.end(), sortsBefore);
    m_all.assign(std::move(all));
  }

  // Selection and current row follow their entries.
  if (!before.isEmpty()) {
    std::unordered_map<const LinkEntry*, int> rowOf;
    rowOf.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rowOf.emplace(rows[i].entry, static_cast<int>(i));
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
      const auto found = held[static_cast<std::size_t>(i)] ? rowOf.find(held[static_cast<std::size_t>(i)]) : rowOf.end();
      after.push_back(found == rowOf.end() ? QModelIndex() : index(found->second, before[i].column()));
    }
    changePersistentIndexList(before, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void LinkListModel::SizesChanged(const std::unordered_set<const LinkEntry*>& entries) {
  if (entries.empty()) return;
  int runStart = -1;
  const auto endRun = [&](int end) {
    if (runStart >= 0) emit dataChanged(index(runStart, kSize), index(end - 1, kSize), {Qt::DisplayRole});
    runStart = -1;
  };
  m_rows.for_each([&](std::size_t row, const Row& shown) {
    const bool changed = entries.count(shown.entry) > 0;
    if (changed && runStart < 0) runStart = static_cast<int>(row);
    if (!changed) endRun(static_cast<int>(row));
  });
  endRun(static_cast<int>(m_rows.size()));
}

const LinkEntry* LinkListModel::Entry(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return nullptr;
  return m_rows[static_cast<std::size_t>(row)].entry;
}
