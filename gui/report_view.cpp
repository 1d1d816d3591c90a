#include "gui/report_view.h"

#include <QHeaderView>
#include <QTreeView>

#include "gui/grid_delegate.h"

namespace gui {

void SetUpReportView(QTreeView* view, const QString& accessibleName, std::span<const int> widths) {
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setItemDelegate(new GridDelegate(view));
  view->setIconSize(QSize(16, 16));
  view->setAccessibleName(accessibleName);
  view->header()->setSectionsMovable(true);
  view->header()->setStretchLastSection(false);
  for (std::size_t column = 0; column < widths.size(); ++column)
    view->header()->resizeSection(static_cast<int>(column), widths[column]);
}

}  // namespace gui
