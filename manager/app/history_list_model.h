#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <vector>

#include "gui/file_type_icons.h"
#include "manager/core/download_history.h"

namespace queuebay {

// The history list: every ending the window saw, newest on top, over the
// stored history. Changes are written back a moment later in one go, so
// that a burst of endings costs one write; and at once by SaveNow.
class HistoryListModel final : public QAbstractTableModel {
 public:
  enum Column { kFileName, kOutcome, kSize, kFolder, kWhen, kColumnCount };
  static constexpr int kColumnWidths[kColumnCount] = {160, 240, 80, 220, 130};
  static constexpr int kSaveDelayMs = 1000;

  HistoryListModel(DownloadHistory& history, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Shows what the history holds now (after it was loaded).
  void Reset();
  void Add(HistoryEntry entry);
  // Rows as shown; each goes from the history.
  void Remove(std::vector<int> rows);
  void Clear();
  const HistoryEntry* EntryAt(int row) const;
  // Writes a pending change now (the window closes).
  void SaveNow();

 private:
  std::size_t IndexOf(int row) const;  // row (newest first) to the history's index
  void ScheduleSave();

  DownloadHistory& m_history;
  QTimer m_save;
  mutable gui::FileTypeIcons m_icons;  // looked up as rows are shown
};

}  // namespace queuebay
