#pragma once

#include <QObject>

class CFetchwickDoc;
class CMainFrame;
namespace gui {
class CommandSet;
class DesktopLauncher;
}  // namespace gui

// The document's commands that need a window: navigation through the
// address box, Open URL, Options, and the hand-overs to the desktop. They
// turn what the user chose into calls of the document.
class CDocCommands final : public QObject {
 public:
  CDocCommands(CFetchwickDoc& doc, CMainFrame& frame, const gui::CommandSet& commands,
               gui::DesktopLauncher& launcher);

  void OnOpenURL();
  void OnGo();
  void OnEntryPicked();
  void OnRefresh();
  void OnOptions();
  void OnDownloadManager();
  void OnOpenDownloads();

 private:
  CFetchwickDoc& m_doc;
  CMainFrame& m_frame;
  gui::DesktopLauncher& m_launcher;
};
