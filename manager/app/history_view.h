#pragma once

#include <QTreeView>
#include <memory>
#include <vector>

class QMenu;
namespace gui {
class CommandSet;
}

namespace queuebay {

class HistoryListModel;

// The history list under the queue: what ended, how, and where it went.
// Its commands (Open, Open Containing Folder, Download Again, Remove, Clear
// History) act on its selection; the program carries them out.
class CHistoryView final : public QTreeView {
 public:
  CHistoryView(HistoryListModel* model, const gui::CommandSet& commands, QWidget* parent = nullptr);

  HistoryListModel& Model() const { return *m_model; }
  // Selected rows, top to bottom.
  std::vector<int> SelectedRows() const;
  std::unique_ptr<QMenu> CreateContextMenu();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  HistoryListModel* m_model;
  const gui::CommandSet& m_commands;
};

}  // namespace queuebay
