#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "crawler/app/row_sequence.h"
#include "crawler/core/doc_host.h"
#include "gui/file_type_icons.h"

// The rows of the link list: one per shown LinkEntry, all of one crawl's
// list, which the model holds so that its entries stay valid. New rows take
// their place by "File Name"; a column click sorts them all with the
// column's comparison, ascending and descending by turns.
class LinkListModel final : public QAbstractTableModel {
 public:
  enum Column { kName, kExtension, kUrl, kSize, kColumnCount };
  static constexpr int kColumnWidths[kColumnCount] = {120, 100, 300, 120};

  explicit LinkListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Every row anew: the entries of `list`, in list order, that `shown`
  // passes, each placed by its name.
  void Rebuild(std::shared_ptr<const LinkList> list, const std::function<bool(const LinkEntry&)>& shown);
  void Clear();

  // A deep crawl's links, each one row placed by its name whatever a filter
  // says. Links of another list than `current` are dropped, and so are
  // entries that already have a row or that the last rebuild looked at.
  // Returns how many rows were added.
  std::size_t AddFound(const std::vector<LinkFoundMessage>& messages, const LinkList* current);

  // Narrows the rows shown to those whose name or address holds `text`,
  // letter case aside, on top of whatever filter chose the rows; empty
  // shows them all again. Nothing is fetched or rebuilt for it.
  void SetQuickFilter(const QString& text);
  const std::string& QuickFilter() const { return m_quick; }

  // A column click: the direction turns, then every row is sorted.
  void SortByColumn(int column);
  bool SortAscending() const { return m_bSortAscending; }

  // The size query stored new sizes in these entries: one pass over the
  // rows, one announcement per run of changed rows.
  void SizesChanged(const std::unordered_set<const LinkEntry*>& entries);

  const LinkEntry* Entry(int row) const;
  const std::shared_ptr<const LinkList>& List() const { return m_list; }
  const gui::FileTypeIcons& Icons() const { return m_icons; }

 private:
  struct Row {
    const LinkEntry* entry;
    int image;
  };
  Row MakeRow(const LinkEntry* entry);
  int IconIndexFor(const std::string& url);
  bool PassesQuick(const LinkEntry& entry) const;
  // Puts the rows that came under the quick filter into m_all.
  void PlacePending();
  // Puts the rows in place: all of them, and those the quick filter passes.
  void AssignRows(std::vector<Row> rows);

  std::shared_ptr<const LinkList> m_list;
  RowSequence<Row> m_rows;  // the rows shown
  // Every row, shown or not, while a quick filter narrows them; empty otherwise.
  RowSequence<Row> m_all;
  // Rows a deep crawl added while the quick filter was on, in the order
  // they came, not yet placed in m_all: placing each at once would double
  // the cost of a row while links pour in. They are placed when m_all is
  // next needed, with the same result.
  std::vector<Row> m_pending;
  // Whether all the rows are in name order, as a rebuild leaves them and
  // new rows keep them; a column sort ends it.
  bool m_byName = true;
  std::string m_quick;  // lower case
  // Entries that have had their chance of a row since the last rebuild.
  std::unordered_set<const LinkEntry*> m_handled;
  gui::FileTypeIcons m_icons;
  // One direction for every column, for the whole run: the first click sorts ascending.
  bool m_bSortAscending = false;
};
