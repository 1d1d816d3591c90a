#pragma once

#include <QStyledItemDelegate>

#include "gui/grid_delegate.h"

namespace queuebay {

// The Downloaded cell: a progress bar behind the cell's own text while the
// file's size is known (DownloadListModel::kProgressRole). The bar is drawn
// in palette colours, so light and dark themes both read well, and in
// logical coordinates, so it scales with the screen. Text, alignment and
// the grid stay as every other cell draws them.
class ProgressDelegate final : public QStyledItemDelegate {
 public:
  explicit ProgressDelegate(QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  gui::GridDelegate m_cell;  // text and grid, drawn over the bar
};

}  // namespace queuebay
