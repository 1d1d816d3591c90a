#include "manager/app/progress_delegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

#include "manager/app/download_list_model.h"

namespace queuebay {

namespace {

// Room between the bar and the cell's edges (and its grid line), in logical pixels.
constexpr qreal kInset = 2;

QPalette::ColorGroup GroupOf(const QStyleOptionViewItem& option) {
  if (!(option.state & QStyle::State_Enabled)) return QPalette::Disabled;
  return option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
}

}  // namespace

ProgressDelegate::ProgressDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QVariant progress = index.data(DownloadListModel::kProgressRole);
  if (!progress.isValid()) {
    m_cell.paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  // The cell's background (selection included) first, then the bar over it.
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

  const QPalette::ColorGroup group = GroupOf(option);
  const QColor highlight = option.palette.color(group, QPalette::Highlight);
  const bool selected = option.state & QStyle::State_Selected;
  QColor fill;
  QColor frame;
  if (selected) {
    // Over the selection the bar moves away from the selected text's colour,
    // so the text keeps its contrast.
    const QColor text = option.palette.color(group, QPalette::HighlightedText);
    fill = text.lightness() > highlight.lightness() ? highlight.darker(135) : highlight.lighter(135);
    frame = text;
    frame.setAlpha(110);
  } else {
    // A light tint of the highlight over Base or AlternateBase: the text
    // stays readable on it.
    fill = highlight;
    fill.setAlpha(90);
    frame = highlight;
    frame.setAlpha(160);
  }
  const QRectF bar = QRectF(option.rect).adjusted(kInset, kInset, -kInset - 1, -kInset - 1);
  const qreal fraction = std::clamp(progress.toDouble(), 0.0, 1.0);
  painter->save();
  painter->fillRect(QRectF(bar.topLeft(), QSizeF(bar.width() * fraction, bar.height())), fill);
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setPen(QPen(frame, 1));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(bar.adjusted(0.5, 0.5, -0.5, -0.5));
  painter->restore();

  // Text and grid as in any cell; the selection is already painted, so the
  // text is drawn without painting it again over the bar.
  QStyleOptionViewItem over = option;
  for (const QPalette::ColorGroup each : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    over.palette.setBrush(each, QPalette::Highlight, Qt::transparent);
  m_cell.paint(painter, over, index);
}

}  // namespace queuebay
