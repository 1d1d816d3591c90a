#pragma once

#include <QTreeView>
#include <memory>
#include <vector>

#include "crawler/app/link_list_export.h"
#include "crawler/app/link_list_model.h"

class CFetchwickDoc;
class FetchwickHost;
class QMenu;
namespace gui {
class CommandSet;
class PacedCall;
class DesktopLauncher;
class IdleUpdater;
}  // namespace gui

// The link list: one row per found link, in four columns, with the commands
// that act on the selected rows. It answers the crawl-done, link-found,
// size and error messages of the document's threads.
class CFetchwickView final : public QTreeView {
 public:
  // Rows found by a deep crawl reach the list at most this often.
  static constexpr int kFlushIntervalMs = 33;

  CFetchwickView(CFetchwickDoc& doc, FetchwickHost& host, const gui::CommandSet& commands,
                 gui::IdleUpdater& updater, gui::DesktopLauncher& launcher, QWidget* parent = nullptr);

  // Every row anew from the document's list, through its file filter.
  void Rebuild();

  LinkListModel& Model() const { return *m_model; }
  // Selected entries in row order.
  std::vector<const LinkEntry*> SelectedEntries() const;
  // The context menu for the rows selected now; none without a selection.
  std::unique_ptr<QMenu> CreateContextMenu();

  // The rows shown, top to bottom.
  std::vector<const LinkEntry*> ShownEntries() const;
  // Writes the rows shown; false with the reason in `error`.
  bool SaveLinkList(const QString& path, LinkListFormat format, QString& error) const;

  // A deep crawl from `url` into an emptied list, as Deep Crawl starts it.
  void DeepCrawl(const std::string& url);

  // Column widths and order as the user left them last time, and now.
  void RestoreColumns();
  void SaveColumns() const;

  // The commands on the selected rows.
  void OnDownloadFiles();
  void OnCrawlPage();
  void OnDeepCrawl();
  void OnLaunchBrowser();
  void OnGetFileSize();
  // Enter or a double click on a row: a page is crawled, a file downloaded.
  void OnRowActivated(const QModelIndex& index);
  void OnCopyAddress();
  void OnSaveLinkList();

 protected:
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FlushLinksFound();
  const LinkEntry* FirstSelected() const;

  CFetchwickDoc& m_doc;
  FetchwickHost& m_host;
  const gui::CommandSet& m_commands;
  gui::DesktopLauncher& m_launcher;
  LinkListModel* m_model;
  gui::PacedCall* m_flush;
};
