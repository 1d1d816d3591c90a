#pragma once

#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "manager/app/download_list_model.h"
#include "manager/core/record_hand_over.h"

class CQueuebayDoc;
class QMenu;
class QMimeData;
namespace gui {
class CommandSet;
class PacedCall;
class IdleUpdater;
}  // namespace gui

namespace queuebay {

class CMainFrame;

// The addresses a paste or a drop brings, one per line: its text, or, when
// it has none, its URLs.
std::string AddressText(const QMimeData* data);

// The download list: every record the engine knows, kept current from the
// engine's events, which the view takes from the document in batches.
class CQueuebayView final : public QTreeView {
 public:
  // Batches of records reach the list at most this often: ten times a
  // second reads as live, and every repaint of the changing texts costs
  // the processor the engine needs for its transfers.
  static constexpr int kFlushIntervalMs = 100;

  CQueuebayView(CQueuebayDoc& doc, CMainFrame& frame, const gui::CommandSet& commands, QWidget* parent = nullptr);

  // The whole list anew from the engine (start, Refresh, F5).
  void Reload();
  DownloadListModel& Model() const { return *m_model; }
  // Addresses of the selected rows, top to bottom.
  std::vector<std::string> SelectedUrls() const;
  std::unique_ptr<QMenu> CreateContextMenu();
  void OnCancelDownloads();

  // The endings (code 5, with their texts) of each batch, once it is
  // applied; and the addresses dropped on the list, one per line.
  std::function<void(const std::vector<PendingRecord>& endings)> onEndings;
  std::function<void(const std::string& text)> onDropped;

 protected:
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void TakeRecords();
  // Applies events in order; errors open their boxes. Code-8 events of a
  // record that `listed` holds (counted per address) are not added again.
  void Apply(const std::vector<PendingRecord>& batch, std::unordered_map<std::string, int>* listed = nullptr);

  CQueuebayDoc& m_doc;
  CMainFrame& m_frame;
  const gui::CommandSet& m_commands;
  DownloadListModel* m_model;
  gui::PacedCall* m_take;
};

}  // namespace queuebay
