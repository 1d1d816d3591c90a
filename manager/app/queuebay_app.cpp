#include "manager/app/queuebay_app.h"

#include <QApplication>

#include "gui/about_dialog.h"
#include "gui/app_icons.h"
#include "gui/command_set.h"
#include "gui/message_boxes.h"
#include "gui/window_program.h"
#include "manager/app/add_url_dialog.h"
#include "manager/app/download_options_dialog.h"
#include "manager/app/main_frame.h"
#include "manager/app/manager_commands.h"
#include "manager/app/queuebay_view.h"
#include "manager/core/download_format.h"
#include "proxystub/class_registry.h"
#include "proxystub/command_line.h"

namespace queuebay {

CQueuebayApp::CQueuebayApp() : m_host(m_updater) {}

CQueuebayApp::~CQueuebayApp() {
  m_host.Attach(nullptr);
  m_view = nullptr;
  m_frame.reset();
  m_doc.reset();
}

bool CQueuebayApp::InitInstance(const std::vector<std::string>& arguments, ManagerDocOptions options) {
  const ps::ShellCommand command = ps::ParseShellCommand(arguments);
  const auto confirm = [] {
    gui::ConfirmInBox(QString::fromLatin1(CMainFrame::kAppTitle), QString::fromLatin1(kUnregisterDone));
  };
  if (!ps::OpensWindow(command, confirm)) return false;

  m_doc = std::make_unique<CQueuebayDoc>(m_host, std::move(options));
  m_commands = std::make_unique<gui::CommandSet>(&m_commandOwner, ManagerCommands());
  m_frame = std::make_unique<CMainFrame>(*m_doc, *m_commands, m_updater);
  m_view = new CQueuebayView(*m_doc, *m_frame, *m_commands, m_frame.get());
  m_frame->setCentralWidget(m_view);
  const gui::CommandSet& commands = *m_commands;
  for (int id : {cmd::ID_ADD_URL, cmd::ID_CONTEXT_ADD_URL})
    QObject::connect(commands[id], &QAction::triggered, m_frame.get(), [this] { OnAddUrl(); });
  QObject::connect(commands[cmd::ID_STOP_DOWNLOADS], &QAction::triggered, m_frame.get(),
                   [this] { m_doc->StopDownloads(); });
  QObject::connect(commands[cmd::ID_OPTIONS], &QAction::triggered, m_frame.get(), [this] { OnOptions(); });
  QObject::connect(commands[cmd::ID_OPEN_DOWNLOADS], &QAction::triggered, m_frame.get(),
                   [this] { OnOpenDownloads(); });
  QObject::connect(commands[cmd::ID_APP_ABOUT], &QAction::triggered, m_frame.get(), [this] { ShowAbout(); });
  m_host.Attach(m_view);
  m_view->Reload();
  m_view->setFocus();
  m_frame->show();
  for (const std::string& url : command.documents) AddAddress(url);
  return true;
}

void CQueuebayApp::AddAddress(const std::string& url) {
  if (!IsDownloadableUrl(url)) {
    gui::OpenMessageBox(m_frame.get(), QString::fromLatin1(CMainFrame::kAppTitle),
                        QString::fromLatin1(CAddUrlDlg::kNotValid), QMessageBox::Critical);
    return;
  }
  m_doc->AddDownload(FileNameFromUrl(url), url);
}

void CQueuebayApp::OnAddUrl() {
  CAddUrlDlg dialog(m_frame.get());
  if (dialog.exec() != QDialog::Accepted) return;
  m_doc->AddDownload(dialog.FileName(), dialog.URL());
}

void CQueuebayApp::OnOptions() {
  CDownloadOptionsDlg dialog(CQueuebayDoc::ReadStoredOptions(), m_frame.get());
  if (dialog.exec() == QDialog::Accepted) m_doc->ApplyOptions(dialog.Values());
}

void CQueuebayApp::OnOpenDownloads() {
  const std::optional<std::string> folder = m_doc->DownloadFolder();
  if (!folder || !m_launcher.OpenFolder(*folder))
    gui::OpenMessageBox(m_frame.get(), QString::fromLatin1(CMainFrame::kAppTitle),
                        QString::fromLatin1(kCannotOpenFolder), QMessageBox::Warning);
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
  if (const auto code = ps::PrepareWindowProgram(arguments, ps::class_registry::kManagerApp)) return *code;
  const gui::WindowProgramInfo info{"queuebay", "com.tarnwell.Queuebay", gui::AppImage::Manager};
  return gui::RunWindowProgram<CQueuebayApp>(argc, argv, info);
}

}  // namespace queuebay
