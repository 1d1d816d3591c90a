#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "manager/core/download_history.h"
#include "manager/core/record_hand_over.h"

namespace gui {
class CommandSet;
class DesktopLauncher;
}  // namespace gui

namespace queuebay {

class CHistoryView;
class HistoryListModel;

// The history pane under the queue: a heading and the list of what ended,
// with its commands. Every finished, failed, stopped and canceled download
// the window sees lands here and stays across runs; a file put back to be
// tried again is no ending yet.
class HistoryPanel final : public QWidget {
 public:
  static constexpr char kDamaged[] =
      "The download history could not be read. It was set aside as %1, and a new history begins.";

  // `downloadAgain` adds an address the way Add URL does.
  HistoryPanel(const gui::CommandSet& commands, gui::DesktopLauncher& launcher,
               std::function<void(const std::string& url)> downloadAgain, QWidget* parent = nullptr);

  // Reads the stored history; a damaged file is set aside and a box says so.
  void Load();
  // The endings of one batch, newest last; gives the entries added.
  std::vector<HistoryEntry> Record(const std::vector<PendingRecord>& endings);
  // Writes what is not written yet (the window closes).
  void SaveNow();

  CHistoryView* View() const { return m_view; }
  HistoryListModel& Model() const { return *m_model; }
  const DownloadHistory& History() const { return m_history; }

 private:
  void OnOpen();
  void OnOpenFolder();
  void OnDownloadAgain();
  void OnRemove();
  void OnClear();
  void Refuse(const QString& text);

  DownloadHistory m_history;
  HistoryListModel* m_model;
  CHistoryView* m_view;
  gui::DesktopLauncher& m_launcher;
  const std::function<void(const std::string&)> m_downloadAgain;
};

}  // namespace queuebay
