#include "manager/app/history_panel.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>

#include "contract/status.h"
#include "gui/command_set.h"
#include "gui/desktop_launch.h"
#include "gui/message_boxes.h"
#include "manager/app/history_list_model.h"
#include "manager/app/history_view.h"
#include "manager/app/main_frame.h"
#include "manager/app/manager_commands.h"
#include "settings/settings.h"
#include "settings/settings_key.h"

namespace queuebay {

namespace {

std::optional<HistoryOutcome> OutcomeOf(const std::string& endingText) {
  switch (EndingOfText(endingText).value_or(DownloadEnding::Interrupted)) {
    case DownloadEnding::Finished:
      return HistoryOutcome::Finished;
    case DownloadEnding::Failed:
      return HistoryOutcome::Failed;
    case DownloadEnding::Stopped:
      return HistoryOutcome::Stopped;
    case DownloadEnding::Canceled:
      return HistoryOutcome::Canceled;
    case DownloadEnding::Interrupted:
      break;
  }
  return std::nullopt;
}

}  // namespace

HistoryPanel::HistoryPanel(const gui::CommandSet& commands, gui::DesktopLauncher& launcher,
                           std::function<void(const std::string& url)> downloadAgain, QWidget* parent)
    : QWidget(parent),
      m_model(new HistoryListModel(m_history, this)),
      m_view(new CHistoryView(m_model, commands, this)),
      m_launcher(launcher),
      m_downloadAgain(std::move(downloadAgain)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(2);
  auto* heading = new QLabel(QStringLiteral("&History"), this);
  heading->setBuddy(m_view);
  heading->setIndent(4);
  layout->addWidget(heading);
  layout->addWidget(m_view);
  const struct {
    int id;
    void (HistoryPanel::*handler)();
  } handlers[] = {{cmd::ID_HISTORY_OPEN, &HistoryPanel::OnOpen},
                  {cmd::ID_HISTORY_OPEN_FOLDER, &HistoryPanel::OnOpenFolder},
                  {cmd::ID_HISTORY_DOWNLOAD_AGAIN, &HistoryPanel::OnDownloadAgain},
                  {cmd::ID_HISTORY_REMOVE, &HistoryPanel::OnRemove},
                  {cmd::ID_HISTORY_CLEAR, &HistoryPanel::OnClear}};
  for (const auto& [id, handler] : handlers) connect(commands[id], &QAction::triggered, this, handler);
}

void HistoryPanel::Load() {
  const DownloadHistory::LoadResult loaded = m_history.Load();
  m_model->Reset();
  if (loaded.damaged)
    Refuse(QString::fromLatin1(kDamaged).arg(QString::fromStdString(
        loaded.setAsidePath.empty() ? std::string("(it could not be moved)") : loaded.setAsidePath)));
}

std::vector<HistoryEntry> HistoryPanel::Record(const std::vector<PendingRecord>& endings) {
  std::vector<HistoryEntry> added;
  std::string folder;  // read once per batch, and only when one ended
  for (const PendingRecord& ending : endings) {
    const std::optional<HistoryOutcome> outcome = OutcomeOf(ending.text);
    if (!outcome) continue;
    if (folder.empty()) {
      const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
      folder = ReadDownloadDirectory(key.get());
    }
    HistoryEntry entry;
    entry.name = RecordText(ending.record.szFileName);
    entry.url = RecordText(ending.record.szHref);
    entry.outcome = *outcome;
    entry.detail = ending.text;
    entry.folder = folder;
    // The file as it is on disk; the engine's count when it is not there.
    const QFileInfo file(QString::fromStdString(folder + entry.name));
    entry.size = file.isFile() ? static_cast<std::uint64_t>(file.size()) : ending.record.dwCurrentSize;
    entry.when = QDateTime::currentSecsSinceEpoch();
    m_model->Add(entry);
    added.push_back(std::move(entry));
  }
  return added;
}

void HistoryPanel::SaveNow() { m_model->SaveNow(); }

void HistoryPanel::Refuse(const QString& text) {
  gui::OpenMessageBox(window(), QString::fromLatin1(CMainFrame::kAppTitle), text, QMessageBox::Warning);
}

void HistoryPanel::OnOpen() {
  for (int row : m_view->SelectedRows()) {
    const HistoryEntry* entry = m_model->EntryAt(row);
    if (entry && !m_launcher.OpenFile(entry->folder + entry->name))
      Refuse(QStringLiteral("Couldn't open %1: the file is not there.")
                 .arg(QString::fromStdString(entry->folder + entry->name)));
  }
}

void HistoryPanel::OnOpenFolder() {
  const std::vector<int> rows = m_view->SelectedRows();
  const HistoryEntry* entry = rows.empty() ? nullptr : m_model->EntryAt(rows.front());
  if (entry && !m_launcher.OpenFolder(entry->folder))
    Refuse(QStringLiteral("Couldn't open the folder %1.").arg(QString::fromStdString(entry->folder)));
}

void HistoryPanel::OnDownloadAgain() {
  std::vector<std::string> urls;
  for (int row : m_view->SelectedRows())
    if (const HistoryEntry* entry = m_model->EntryAt(row)) urls.push_back(entry->url);
  for (const std::string& url : urls) m_downloadAgain(url);
}

void HistoryPanel::OnRemove() { m_model->Remove(m_view->SelectedRows()); }

void HistoryPanel::OnClear() { m_model->Clear(); }

}  // namespace queuebay
