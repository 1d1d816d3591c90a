#include "gui/grid_delegate.h"

#include <QPainter>

namespace gui {

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  painter->save();
  QColor line = option.palette.color(QPalette::Mid);
  line.setAlpha(110);
  painter->setPen(line);
  const QRect cell = option.rect;
  painter->drawLine(cell.bottomLeft(), cell.bottomRight());
  painter->drawLine(cell.topRight(), cell.bottomRight());
  painter->restore();
}

}  // namespace gui
