#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "contract/link_record.h"
#include "gui/file_type_icons.h"

namespace queuebay {

// The rows of the download list: one record of the engine each, in the
// order they came. A record finds its row by its address, byte for byte,
// the first (uppermost) row of that address when there are several; an
// index from address to rows answers that without a scan.
class DownloadListModel final : public QAbstractTableModel {
 public:
  enum Column { kFileName, kUrl, kFileSize, kDownloaded, kRate, kRetries, kColumnCount };
  static constexpr int kColumnWidths[kColumnCount] = {120, 300, 60, 80, 60, 50};
  // The Downloaded cell's share of the file, 0 to 1, as a double; invalid
  // while the size is unknown.
  static constexpr int kProgressRole = Qt::UserRole + 1;

  // What the list holds now. A row is downloading once the engine has
  // reported it started, progressing or trying (or, read whole, once it
  // shows bytes or a rate); queued before that. Ended rows count nothing.
  struct Totals {
    int downloading = 0;
    int queued = 0;
    std::uint64_t bytesPerSecond = 0;  // the downloading rows' rates together
    bool operator==(const Totals&) const = default;
  };

  explicit DownloadListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Every row anew, in the records' order.
  void Reload(const std::vector<_LinkStructType>& records);
  // One engine event: code 8 adds a row at the end; 5 removes the first
  // row of the record's address; 4, 6 and 7 refill its texts (never its
  // icon); an address without a row changes nothing. Refilled texts and
  // removed rows are announced by FlushChanges, once per batch.
  void Apply(std::uint32_t code, const _LinkStructType& record);
  // One announcement per run of changed rows; then the rows removed since
  // go, one run at a time, so a batch of ends moves the rows below once.
  void FlushChanges();

  // The first row showing `url`; -1 when none does.
  int FirstRowOf(std::string_view url) const;
  std::string UrlAt(int row) const;
  const _LinkStructType* RecordAt(int row) const;
  std::vector<std::string> Urls() const;
  // Kept up to date by every event, so asking costs nothing.
  Totals CurrentTotals() const { return m_totals; }

 private:
  struct Row {
    std::uint64_t id;  // grows with every row added, so rows stay in id order
    int image;
    std::unique_ptr<_LinkStructType> record;
    bool removed = false;      // ended; it goes at the next flush
    bool downloading = false;  // counted as downloading, not queued
  };
  // A row's share of the totals, taken out before it changes and put back after.
  void Count(const Row& row, int sign);
  int RowOfId(std::uint64_t id) const;
  void AddRow(const _LinkStructType& record, bool downloading);

  std::vector<Row> m_rows;
  std::unordered_map<std::string, std::deque<std::uint64_t>> m_rowsOf;  // address to its rows' ids, in row order
  std::uint64_t m_nextId = 0;
  std::vector<std::uint64_t> m_changed;
  bool m_anyRemoved = false;
  Totals m_totals;
  gui::FileTypeIcons m_icons;
};

}  // namespace queuebay
