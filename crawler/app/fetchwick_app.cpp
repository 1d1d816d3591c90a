#include "crawler/app/fetchwick_app.h"

#include <QApplication>
#include <QLineEdit>

#include "crawler/app/crawler_commands.h"
#include "crawler/app/doc_commands.h"
#include "crawler/app/fetchwick_view.h"
#include "crawler/app/main_frame.h"
#include "gui/about_dialog.h"
#include "gui/app_icons.h"
#include "gui/command_line.h"
#include "gui/command_set.h"
#include "gui/window_program.h"
#include "proxystub/class_registry.h"

CFetchwickApp::CFetchwickApp()
    : m_boxes(QString::fromLatin1(CMainFrame::kAppTitle), QMessageBox::Warning),
      m_launcher([this](const std::string& text) { m_boxes.Show(text); }),
      m_host(m_updater, m_boxes) {}

CFetchwickApp::~CFetchwickApp() {
  if (m_frame) {
    if (!m_closed) OnClosing();
    m_host.Detach();
    m_view = nullptr;
    m_frame.reset();
  }
  m_doc.reset();
}

bool CFetchwickApp::InitInstance(const std::vector<std::string>& arguments, DocOptions options) {
  const gui::ShellCommand command = gui::ParseShellCommand(arguments);
  const auto confirm = [] {
    gui::ConfirmInBox(QString::fromLatin1(CMainFrame::kAppTitle), QString::fromLatin1(kUnregisterDone));
  };
  if (!gui::OpensWindow(command, confirm)) return false;

  m_doc = std::make_unique<CFetchwickDoc>(m_host, std::move(options));
  m_commands = std::make_unique<gui::CommandSet>(&m_commandOwner, CrawlerCommands());
  m_frame = std::make_unique<CMainFrame>(*m_doc, *m_commands, m_updater);
  m_view = new CFetchwickView(*m_doc, m_host, *m_commands, m_updater, m_launcher, m_frame.get());
  m_frame->setCentralWidget(m_view);
  new CDocCommands(*m_doc, *m_frame, *m_commands, m_launcher);
  QObject::connect((*m_commands)[cmd::ID_APP_ABOUT], &QAction::triggered, m_frame.get(), [this] { ShowAbout(); });
  QObject::connect((*m_commands)[cmd::ID_DEEP_CRAWL_PAGE], &QAction::triggered, m_view,
                   [this] { m_view->DeepCrawl(m_frame->GetAddressText(false)); });
  QObject::connect(m_frame->QuickFilter(), &QLineEdit::textChanged, m_view,
                   [this](const QString& text) { m_view->Model().SetQuickFilter(text); });
  m_frame->RestorePlacement();
  m_view->RestoreColumns();
  m_frame->onClosing = [this] { OnClosing(); };
  m_boxes.SetOwner(m_frame.get());
  m_host.Attach(m_frame.get(), m_view);
  m_view->Rebuild();
  m_view->setFocus();
  m_frame->show();
  // The first address named is crawled, as Open URL would.
  if (!command.documents.empty()) m_doc->StartCrawl(command.documents.front(), AddToHistory::Yes, PushCurrent::Yes);
  return true;
}

void CFetchwickApp::OnClosing() {
  if (m_closed) return;
  m_closed = true;
  m_frame->SavePlacement();
  m_view->SaveColumns();
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
  if (const auto code = gui::PrepareWindowProgram(arguments, ps::class_registry::kCrawlerApp)) return *code;
  const gui::WindowProgramInfo info{"fetchwick", "com.tarnwell.Fetchwick", gui::AppImage::Crawler};
  return gui::RunWindowProgram<CFetchwickApp>(argc, argv, info);
}
