#include "gui/report_view.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QShortcut>
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

void AddContextMenuKeys(QTreeView* view) {
  for (const QKeySequence& key : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
    auto* shortcut = new QShortcut(key, view, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, view, [view] {
      const QRect row = view->visualRect(view->currentIndex());
      const QPoint at = row.isValid() ? row.bottomLeft() : QPoint(0, 0);
      QContextMenuEvent event(QContextMenuEvent::Keyboard, at, view->viewport()->mapToGlobal(at));
      QCoreApplication::sendEvent(view, &event);
    });
  }
}

QPoint ContextMenuPoint(QTreeView* view, const QContextMenuEvent* event) {
  if (event->reason() != QContextMenuEvent::Keyboard) return event->globalPos();
  const QRect row = view->visualRect(view->currentIndex());
  return view->viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint(0, 0));
}

}  // namespace gui
