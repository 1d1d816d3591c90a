#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Hands addresses, folders and programs to the desktop. Nothing goes through
// a shell: every text is one argument of its own.
namespace gui {

class DesktopLauncher {
 public:
  // Tells the user why a web address could not be opened; the text names
  // the address. Called on a launch thread, so it must hop to the interface
  // thread itself, and return at once once the window is closing.
  using FailureReport = std::function<void(const std::string& text)>;

  // How long a launch watches xdg-open for a failure. An opener still busy
  // by then is taken to have started the browser, which it may run for as
  // long as the browser lives.
  static constexpr int kWatchMs = 10000;

  explicit DesktopLauncher(FailureReport report = {});
  ~DesktopLauncher();  // stops watching, then waits for its launch threads
  DesktopLauncher(const DesktopLauncher&) = delete;
  DesktopLauncher& operator=(const DesktopLauncher&) = delete;

  // Opens a web address in the user's browser: first through the desktop
  // services, then, when they cannot, with xdg-open on a short thread of its
  // own, whose failure goes to the report. Anything but an http or https
  // address is not opened: false, and no report.
  bool OpenWebAddress(const std::string& address);

  // Opens a folder in the file manager; false when it is no folder or
  // nothing could be started to open it.
  bool OpenFolder(const std::string& folder);
  // Opens a file with the program the desktop chose for its type; false
  // when it is no file or nothing could be started to open it.
  bool OpenFile(const std::string& file);

  // Starts a program of the system, detached: the one beside the running
  // program first, then the one on PATH. False when neither starts.
  static bool StartProgram(const QString& name, const QStringList& arguments = {});

 private:
  struct Launch {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  // Why xdg-open could not open `address`; nothing when it did, or was still
  // busy when the watch ended or the launcher was destroyed.
  std::optional<std::string> RunOpener(const std::string& address) const;

  const FailureReport m_report;
  const int m_stopFd;  // readable once the launcher is being destroyed
  std::atomic<bool> m_stopping{false};
  std::mutex m_mutex;
  std::vector<Launch> m_launches;
};

}  // namespace gui
