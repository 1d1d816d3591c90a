#include "crawler/app/doc_commands.h"

#include "crawler/app/address_box.h"
#include "crawler/app/crawler_commands.h"
#include "crawler/app/main_frame.h"
#include "crawler/app/open_url_dialog.h"
#include "crawler/app/options_dialog.h"
#include "crawler/core/fetchwick_doc.h"
#include "gui/command_set.h"
#include "gui/desktop_launch.h"
#include "gui/message_boxes.h"

namespace {
constexpr char kQueuebayProgram[] = "queuebay";
constexpr char kCannotOpenFolder[] = "Couldn't open download folder";
}  // namespace

CDocCommands::CDocCommands(CFetchwickDoc& doc, CMainFrame& frame, const gui::CommandSet& commands,
                           gui::DesktopLauncher& launcher)
    : QObject(&frame), m_doc(doc), m_frame(frame), m_launcher(launcher) {
  const auto on = [&](int id, void (CDocCommands::*handler)()) {
    connect(commands[id], &QAction::triggered, this, handler);
  };
  on(cmd::ID_FILE_OPEN_URL, &CDocCommands::OnOpenURL);
  on(cmd::ID_GO, &CDocCommands::OnGo);
  on(cmd::ID_REFRESH, &CDocCommands::OnRefresh);
  on(cmd::ID_OPTIONS, &CDocCommands::OnOptions);
  on(cmd::ID_DOWNLOAD_MANAGER, &CDocCommands::OnDownloadManager);
  on(cmd::ID_OPEN_DOWNLOADS, &CDocCommands::OnOpenDownloads);
  connect(commands[cmd::ID_GO_BACK], &QAction::triggered, this, [this] { m_doc.OnBack(); });
  connect(commands[cmd::ID_GO_FORWARD], &QAction::triggered, this, [this] { m_doc.OnForward(); });
  connect(commands[cmd::ID_STOP_CRAWL], &QAction::triggered, this, [this] { m_doc.StopCrawl(); });
  connect(commands[cmd::ID_STOP_DOWNLOADS], &QAction::triggered, this, [this] { m_doc.StopDownloads(); });
  connect(commands[cmd::ID_CANCEL_CURRENT_DOWNLOAD], &QAction::triggered, this,
          [this] { m_doc.CancelCurrentDownload(); });
  m_frame.AddressBox()->onGo = [this] { OnGo(); };
  m_frame.AddressBox()->onEntryPicked = [this](int) { OnEntryPicked(); };
  // A dropped address is crawled as if it had been typed.
  m_frame.onAddressDropped = [this](const std::string& address) {
    m_frame.SetAddressText(address);
    OnGo();
  };
}

void CDocCommands::OnOpenURL() {
  COpenURLDlg dialog(&m_frame);
  if (dialog.exec() == QDialog::Accepted) m_doc.StartCrawl(dialog.URL(), AddToHistory::Yes, PushCurrent::Yes);
}

void CDocCommands::OnGo() { m_doc.StartCrawl(m_frame.GetAddressText(false), AddToHistory::Yes, PushCurrent::Yes); }

void CDocCommands::OnEntryPicked() {
  m_doc.StartCrawl(m_frame.GetAddressText(true), AddToHistory::No, PushCurrent::Yes);
}

void CDocCommands::OnRefresh() { m_doc.StartCrawl(m_frame.GetAddressText(true), AddToHistory::No, PushCurrent::No); }

void CDocCommands::OnOptions() {
  const CrawlerOptions current{m_doc.DownloadDirectory(), m_doc.FileFilterText(),
                               static_cast<std::uint32_t>(m_doc.CrawlDepth()), m_doc.ExcludeForeign()};
  COptionsDlg dialog(current, &m_frame);
  if (dialog.exec() == QDialog::Accepted) m_doc.ApplyOptions(dialog.Values());
}

void CDocCommands::OnDownloadManager() { gui::DesktopLauncher::StartProgram(QString::fromLatin1(kQueuebayProgram)); }

void CDocCommands::OnOpenDownloads() {
  std::string folder;
  if (IDownloadEngine* engine = m_doc.ReadyEngine()) {
    char buffer[kMaxTextBytes] = {};
    if (SUCCEEDED(engine->GetDLDir(sizeof buffer, buffer))) folder = buffer;
  } else {
    // Without the engine the crawler downloads into its own folder.
    folder = m_doc.DownloadDirectory();
  }
  if (folder.empty() || !m_launcher.OpenFolder(folder))
    gui::OpenMessageBox(&m_frame, QString::fromLatin1(CMainFrame::kAppTitle), QString::fromLatin1(kCannotOpenFolder),
                        QMessageBox::Warning);
}
