#pragma once

#include <QStyledItemDelegate>

namespace gui {

// Draws the cell grid of a report list: a thin line under and to the right
// of every cell, in the palette's colour for such lines.
class GridDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace gui
