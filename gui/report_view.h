#pragma once

#include <QPoint>
#include <QString>
#include <span>

class QContextMenuEvent;
class QTreeView;

namespace gui {

// Makes a tree view a report list: flat rows of uniform height, whole rows
// selected (several at once), a grid, headings that can be dragged into
// another order, and the columns' widths in pixels.
void SetUpReportView(QTreeView* view, const QString& accessibleName, std::span<const int> widths);

// Where a report list's context menu opens: at the mouse, or, asked for
// from the keyboard, under the current row (the list's corner without one).
QPoint ContextMenuPoint(QTreeView* view, const QContextMenuEvent* event);

// Shift+F10 and the Menu key open the list's context menu, as asked for
// from the keyboard, while the list has the focus.
void AddContextMenuKeys(QTreeView* view);

}  // namespace gui
