#pragma once

#include <QString>
#include <span>

class QTreeView;

namespace gui {

// Makes a tree view a report list: flat rows of uniform height, whole rows
// selected (several at once), a grid, headings that can be dragged into
// another order, and the columns' widths in pixels.
void SetUpReportView(QTreeView* view, const QString& accessibleName, std::span<const int> widths);

}  // namespace gui
