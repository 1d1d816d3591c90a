#include "manager/app/queuebay_app.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMessageBox>
#include <QLabel>
#include <QSplitter>

#include "gui/about_dialog.h"
#include "gui/app_icons.h"
#include "gui/command_line.h"
#include "gui/command_set.h"
#include "gui/desktop_notifier.h"
#include "gui/message_boxes.h"
#include "gui/status_panes.h"
#include "gui/window_layout.h"
#include "gui/window_program.h"
#include "manager/app/add_url_dialog.h"
#include "manager/app/download_options_dialog.h"
#include "manager/app/ending_notices.h"
#include "manager/app/history_list_model.h"
#include "manager/app/history_panel.h"
#include "manager/app/history_view.h"
#include "manager/app/main_frame.h"
#include "manager/app/manager_commands.h"
#include "manager/app/queuebay_view.h"
#include "manager/app/single_window.h"
#include "manager/core/download_format.h"
#include "manager/core/progress_text.h"
#include "proxystub/class_registry.h"
#include "settings/settings.h"

namespace queuebay {

CQueuebayApp::CQueuebayApp() : m_host(m_updater) {}

CQueuebayApp::~CQueuebayApp() {
  m_host.Attach(nullptr);
  m_view = nullptr;
  m_history = nullptr;
  m_frame.reset();
  m_doc.reset();
}

bool CQueuebayApp::InitInstance(const std::vector<std::string>& arguments, ManagerDocOptions options) {
  const gui::ShellCommand command = gui::ParseShellCommand(arguments);
  const auto confirm = [] {
    gui::ConfirmInBox(QString::fromLatin1(CMainFrame::kAppTitle), QString::fromLatin1(kUnregisterDone));
  };
  if (!gui::OpensWindow(command, confirm)) return false;
  // A Queuebay already running takes the addresses and shows itself.
  m_single = std::make_unique<SingleWindow>();
  if (m_single->HandOverOrListen(command.documents)) return false;

  m_doc = std::make_unique<CQueuebayDoc>(m_host, std::move(options));
  m_commands = std::make_unique<gui::CommandSet>(&m_commandOwner, ManagerCommands());
  m_frame = std::make_unique<CMainFrame>(*m_doc, *m_commands, m_updater);
  m_panes = new QSplitter(Qt::Vertical, m_frame.get());
  m_view = new CQueuebayView(*m_doc, *m_frame, *m_commands, m_panes);
  m_history = new HistoryPanel(*m_commands, m_launcher, [this](const std::string& url) { AddAddresses({url}); }, m_panes);
  m_panes->addWidget(m_view);
  m_panes->addWidget(m_history);
  m_panes->setStretchFactor(0, 3);
  m_panes->setStretchFactor(1, 1);
  m_panes->setChildrenCollapsible(false);
  m_frame->setCentralWidget(m_panes);
  m_totals = m_frame->Panes()->AddPane(QString::fromStdString(TotalsText(99999, 99999, 999'000'000)),
                                      QStringLiteral("Totals"));
  m_updater.Add(m_frame.get(), [this] { UpdateTotals(); });

  m_notifier = std::make_unique<gui::DesktopNotifier>(
      [this](const QString& path) { QFileInfo(path).isDir() ? m_launcher.OpenFolder(path.toStdString())
                                                            : m_launcher.OpenFile(path.toStdString()); });
  m_notices = std::make_unique<EndingNotices>(*m_notifier);
  m_notices->SetEnabled(CQueuebayDoc::ReadStoredOptions().notices);
  m_view->onEndings = [this](const std::vector<PendingRecord>& endings) { m_notices->Add(m_history->Record(endings)); };
  m_view->onDropped = [this](const std::string& text) { AddAddresses(AddressLines(text)); };
  ConnectCommands();

  gui::RestoreWindowPlacement(m_frame.get(), setting::kManagerWindow);
  gui::RestoreColumns(m_view->header(), setting::kManagerColumnWidths, setting::kManagerColumnOrder);
  gui::RestoreColumns(m_history->View()->header(), setting::kManagerHistoryColumnWidths, nullptr);
  gui::RestorePaneSizes(m_panes, setting::kManagerPanes);
  m_frame->canClose = [this] { return ConfirmClose(); };
  m_frame->onClosing = [this] { OnClosing(); };

  m_host.Attach(m_view);
  m_history->Load();
  m_view->Reload();
  m_view->setFocus();
  m_frame->show();
  AddAddresses(command.documents);
  OfferUnfinished();
  m_single->SetHandler([this](const std::vector<std::string>& urls) { TakeHandOver(urls); });
  return true;
}

void CQueuebayApp::ConnectCommands() {
  const gui::CommandSet& commands = *m_commands;
  CMainFrame* frame = m_frame.get();
  for (int id : {cmd::ID_ADD_URL, cmd::ID_CONTEXT_ADD_URL})
    QObject::connect(commands[id], &QAction::triggered, frame, [this] { OnAddUrl(); });
  QObject::connect(commands[cmd::ID_STOP_DOWNLOADS], &QAction::triggered, frame, [this] { m_doc->StopDownloads(); });
  QObject::connect(commands[cmd::ID_OPTIONS], &QAction::triggered, frame, [this] { OnOptions(); });
  QObject::connect(commands[cmd::ID_OPEN_DOWNLOADS], &QAction::triggered, frame, [this] { OnOpenDownloads(); });
  QObject::connect(commands[cmd::ID_PASTE_ADDRESSES], &QAction::triggered, frame, [this] { OnPaste(); });
  QObject::connect(commands[cmd::ID_APP_ABOUT], &QAction::triggered, frame, [this] { ShowAbout(); });
}

void CQueuebayApp::AddAddresses(const std::vector<std::string>& urls) {
  std::vector<std::string> refused;
  for (const std::string& url : urls) {
    if (IsDownloadableUrl(url))
      m_doc->AddDownload(FileNameFromUrl(url), url);
    else
      refused.push_back(url);
  }
  if (!refused.empty())
    gui::OpenMessageBox(m_frame.get(), QString::fromLatin1(CMainFrame::kAppTitle),
                        QString::fromStdString(NotValidText(refused, urls.size())), QMessageBox::Critical);
}

void CQueuebayApp::OnAddUrl() {
  CAddUrlDlg dialog(m_frame.get());
  if (dialog.exec() != QDialog::Accepted) return;
  // The dialog has checked every address and named the first.
  m_doc->AddDownload(dialog.FileName(), dialog.URL());
  for (std::size_t i = 1; i < dialog.URLs().size(); ++i)
    m_doc->AddDownload(FileNameFromUrl(dialog.URLs()[i]), dialog.URLs()[i]);
}

void CQueuebayApp::OnPaste() {
  AddAddresses(AddressLines(AddressText(QGuiApplication::clipboard()->mimeData())));
}

void CQueuebayApp::TakeHandOver(const std::vector<std::string>& urls) {
  m_frame->setWindowState(m_frame->windowState() & ~Qt::WindowMinimized);
  m_frame->show();
  m_frame->raise();
  m_frame->activateWindow();
  AddAddresses(urls);
}

void CQueuebayApp::OnOptions() {
  CDownloadOptionsDlg dialog(CQueuebayDoc::ReadStoredOptions(), m_frame.get());
  if (dialog.exec() != QDialog::Accepted) return;
  m_doc->ApplyOptions(dialog.Values());
  m_notices->SetEnabled(dialog.Values().notices);
}

void CQueuebayApp::OnOpenDownloads() {
  const std::optional<std::string> folder = m_doc->DownloadFolder();
  if (!folder || !m_launcher.OpenFolder(*folder))
    gui::OpenMessageBox(m_frame.get(), QString::fromLatin1(CMainFrame::kAppTitle),
                        QString::fromLatin1(kCannotOpenFolder), QMessageBox::Warning);
}

void CQueuebayApp::UpdateTotals() {
  const DownloadListModel::Totals totals = m_view->Model().CurrentTotals();
  const QString text = QString::fromStdString(TotalsText(totals.downloading, totals.queued, totals.bytesPerSecond));
  if (m_totals->text() != text) m_totals->setText(text);
}

void CQueuebayApp::ShowAbout() {
  gui::AboutDialog about(m_frame.get(), QStringLiteral("About Queuebay"), gui::AppIcon(gui::AppImage::Manager),
                         {QStringLiteral("Fetchwick Version 2.1"), QString(),
                          QStringLiteral("Shows and steers the download engine's queue,"),
                          QStringLiteral("shared with the crawler.")});
  about.exec();
}

int QueuebayMain(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (const auto code = gui::PrepareWindowProgram(arguments, ps::class_registry::kManagerApp)) return *code;
  const gui::WindowProgramInfo info{"queuebay", "com.tarnwell.Queuebay", gui::AppImage::Manager};
  return gui::RunWindowProgram<CQueuebayApp>(argc, argv, info);
}

}  // namespace queuebay
