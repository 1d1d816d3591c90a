#include "crawler/app/fetchwick_app.h"

#include <QApplication>

#include "crawler/app/crawler_commands.h"
#include "crawler/app/doc_commands.h"
#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/about_dialog.h"
#include "gui/app_icons.h"
#include "gui/command_set.h"
#include "proxystub/class_registry.h"
#include "proxystub/command_line.h"

CFetchwickApp::CFetchwickApp()
    : m_boxes(QString::fromLatin1(CMainFrame::kAppTitle), QMessageBox::Warning), m_host(m_updater, m_boxes) {}

CFetchwickApp::~CFetchwickApp() {
  if (m_frame) {
    if (!m_closed) OnClosing();
    m_host.Detach();
    m_view = nullptr;
    m_frame.reset();
  }
  m_doc.reset();
}

std::optional<int> CFetchwickApp::HandleRegistrationSwitch(const std::vector<std::string>& arguments) {
  switch (ps::FindRegistrationSwitch(arguments)) {
    case ps::RegistrationSwitch::RegServer:
      ps::class_registry::RegisterAppId(ps::class_registry::kCrawlerApp);
      return 0;
    case ps::RegistrationSwitch::UnregServer:
      ps::class_registry::UnregisterAppId(ps::class_registry::kCrawlerApp);
      return 0;
    case ps::RegistrationSwitch::None:
      return std::nullopt;
  }
  return std::nullopt;
}

bool CFetchwickApp::EndsWithoutWindowSystem(const std::vector<std::string>& arguments) {
  const ps::ShellCommand command = ps::ParseShellCommand(arguments);
  if (command.unregisterRequest) return command.embedding;  // otherwise it confirms in a box
  return command.registerRequest || command.embedding || command.automation;
}

bool CFetchwickApp::InitInstance(const std::vector<std::string>& arguments, DocOptions options) {
  const ps::ShellCommand command = ps::ParseShellCommand(arguments);
  // The program keeps no entries of its own to register.
  if (command.registerRequest) return false;
  if (command.unregisterRequest) {
    if (!command.embedding) {
      QMessageBox box(QMessageBox::Information, QString::fromLatin1(CMainFrame::kAppTitle),
                      QString::fromLatin1(kUnregisterDone), QMessageBox::Ok);
      box.exec();
    }
    return false;
  }
  // Started by the object runtime: this program serves no class.
  if (command.embedding || command.automation) return false;

  m_doc = std::make_unique<CFetchwickDoc>(m_host, std::move(options));
  m_commands = std::make_unique<gui::CommandSet>(&m_commandOwner, CrawlerCommands());
  m_frame = std::make_unique<CMainFrame>(*m_doc, *m_commands, m_updater);
  m_view = new CFetchwickView(*m_doc, m_host, *m_commands, m_updater, m_launcher, m_frame.get());
  m_frame->setCentralWidget(m_view);
  new CDocCommands(*m_doc, *m_frame, *m_commands, m_launcher);
  QObject::connect((*m_commands)[cmd::ID_APP_ABOUT], &QAction::triggered, m_frame.get(), [this] { ShowAbout(); });
  m_frame->onClosing = [this] { OnClosing(); };
  m_boxes.SetOwner(m_frame.get());
  m_host.Attach(m_frame.get(), m_view);
  m_view->Rebuild();
  m_view->setFocus();
  m_frame->show();
  if (command.document) m_doc->StartCrawl(*command.document, AddToHistory::Yes, PushCurrent::Yes);
  return true;
}

void CFetchwickApp::OnClosing() {
  if (m_closed) return;
  m_closed = true;
  // Workers waiting on a box are let go first: the document is about to
  // wait for them.
  m_boxes.End();
  m_doc->CanCloseFrame();
}

void CFetchwickApp::ShowAbout() {
  gui::AboutDialog about(m_frame.get(), QStringLiteral("About Fetchwick"), gui::AppIcon(gui::AppImage::Crawler),
                         {QStringLiteral("Fetchwick Version 2.1"), QString(),
                          QStringLiteral("Lists the links of web pages, crawls sites"),
                          QStringLiteral("and hands files to the download engine.")});
  about.exec();
}

int FetchwickMain(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (const auto code = CFetchwickApp::HandleRegistrationSwitch(arguments)) return *code;
  if (CFetchwickApp::EndsWithoutWindowSystem(arguments)) return 0;

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("fetchwick"));
  QApplication::setApplicationDisplayName(QString::fromLatin1(CMainFrame::kAppTitle));
  QApplication::setWindowIcon(gui::AppIcon(gui::AppImage::Crawler));
  gui::InstallIconTheme();
  CFetchwickApp app;
  if (!app.InitInstance(arguments)) return 0;
  return application.exec();
}
