#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Hands addresses, folders and programs to the desktop. Nothing goes through
// a shell: every text is one argument of its own.
namespace gui {

class DesktopLauncher {
 public:
  DesktopLauncher() = default;
  ~DesktopLauncher();  // waits for its launch threads
  DesktopLauncher(const DesktopLauncher&) = delete;
  DesktopLauncher& operator=(const DesktopLauncher&) = delete;

  // Opens a web address in the user's browser: first through the desktop
  // services, then, when they cannot, with xdg-open on a short thread of its
  // own. Anything but an http or https address is not opened: false.
  bool OpenWebAddress(const std::string& address);

  // Opens a folder in the file manager; false when it is no folder or
  // nothing could be started to open it.
  bool OpenFolder(const std::string& folder);

  // Starts a program of the system, detached: the one beside the running
  // program first, then the one on PATH. False when neither starts.
  static bool StartProgram(const QString& name, const QStringList& arguments = {});

 private:
  struct Launch {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex m_mutex;
  std::vector<Launch> m_launches;
};

}  // namespace gui
