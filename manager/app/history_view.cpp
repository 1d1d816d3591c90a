#include "manager/app/history_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>

#include "gui/command_set.h"
#include "gui/report_view.h"
#include "manager/app/history_list_model.h"
#include "manager/app/manager_commands.h"

namespace queuebay {

CHistoryView::CHistoryView(HistoryListModel* model, const gui::CommandSet& commands, QWidget* parent)
    : QTreeView(parent), m_model(model), m_commands(commands) {
  setModel(model);
  gui::SetUpReportView(this, QStringLiteral("History"), HistoryListModel::kColumnWidths);
  header()->setSectionsClickable(false);
  header()->setStretchLastSection(true);
  // Its keys (Delete removes) apply while the history has the focus; the
  // queue's Delete cancels.
  for (int id : {cmd::ID_HISTORY_OPEN, cmd::ID_HISTORY_REMOVE}) {
    commands[id]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(commands[id]);
  }
  connect(this, &QAbstractItemView::activated, commands[cmd::ID_HISTORY_OPEN], &QAction::trigger);
}

std::vector<int> CHistoryView::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::unique_ptr<QMenu> CHistoryView::CreateContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  if (selectionModel()->hasSelection()) {
    m_commands.Fill(menu.get(), {cmd::ID_HISTORY_OPEN, cmd::ID_HISTORY_OPEN_FOLDER, cmd::ID_HISTORY_DOWNLOAD_AGAIN, 0,
                                 cmd::ID_HISTORY_REMOVE});
  }
  menu->addAction(m_commands[cmd::ID_HISTORY_CLEAR]);
  return menu;
}

void CHistoryView::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu = CreateContextMenu();
  menu->exec(gui::ContextMenuPoint(this, event));
}

}  // namespace queuebay
