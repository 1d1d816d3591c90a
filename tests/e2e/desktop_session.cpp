#include "tests/e2e/desktop_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool Executable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string Which(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', at), folders.size());
    const std::string candidate = folders.substr(at, end - at) + "/" + program;
    if (Executable(candidate)) return candidate;
    at = end + 1;
  }
  return {};
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<std::string> DesktopSession::Missing() {
  for (const char* program : {"Xvfb", "xdotool", "dbus-daemon"})
    if (Which(program).empty()) return std::string(program) + " is not installed";
  if (!Executable(READ_LIST_SCRIPT) || !Exists("/usr/lib/python3/dist-packages/pyatspi"))
    return std::string("the accessibility reader (python3-pyatspi) is not installed");
  return std::nullopt;
}

DesktopSession::DesktopSession() {
  // The X server picks a free display itself and names it once it takes
  // connections: guessing from the sockets in /tmp races other servers and
  // trips over those a killed one left behind. Without -noreset it resets
  // whenever its last client leaves, and refuses connections meanwhile: a
  // program starting just as a polling xdotool left could not connect.
  m_xserver = std::make_unique<ChildProcess>(std::vector<std::string>{
      Which("Xvfb"), "-displayfd", "1", "-noreset", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
  const std::optional<std::string> display = m_xserver->ReadLine(30s);
  if (!display || display->empty()) return;
  const std::string name = ":" + *display;
  m_bus = std::make_unique<ChildProcess>(
      std::vector<std::string>{Which("dbus-daemon"), "--session", "--nofork", "--print-address=1"});
  const std::optional<std::string> address = m_bus->ReadLine(30s);
  if (!address) return;

  const std::pair<const char*, std::string> environment[] = {
      {"DISPLAY", name},
      {"DBUS_SESSION_BUS_ADDRESS", *address},
      {"QT_QPA_PLATFORM", "xcb"},
      // Qt's standard switch for its accessibility bridge, which a desktop
      // session would otherwise turn on when a screen reader runs.
      {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"},
  };
  for (const auto& [variable, value] : environment) m_environment.push_back(std::make_unique<ScopedEnv>(variable, value));
  m_ready = true;
}

DesktopSession::~DesktopSession() {
  m_environment.clear();
  // Asked to end, both clean up after themselves (the X server its socket
  // and lock file); killed, they would leave them behind.
  for (ChildProcess* server : {m_bus.get(), m_xserver.get()}) {
    if (!server) continue;
    server->Terminate();
    server->Wait(10s);
  }
  m_bus.reset();
  m_xserver.reset();
}

std::unique_ptr<ChildProcess> DesktopSession::Start(const std::vector<std::string>& argv) {
  return std::make_unique<ChildProcess>(argv);
}

std::vector<std::string> DesktopSession::Capture(std::vector<std::string> argv) {
  ChildProcess program(argv);
  std::vector<std::string> lines;
  while (const std::optional<std::string> line = program.ReadLine(30s)) lines.push_back(*line);
  program.Wait(30s);
  return lines;
}

std::optional<std::string> DesktopSession::WaitForWindow(const std::string& title, const ChildProcess& program,
                                                        std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline && ProcessAlive(program.pid())) {
    // Only a window on the screen can take the keyboard.
    const std::vector<std::string> windows =
        Capture({Which("xdotool"), "search", "--onlyvisible", "--name", "^" + title + "$"});
    if (!windows.empty()) return windows.front();
    std::this_thread::sleep_for(100ms);
  }
  return std::nullopt;
}

std::string DesktopSession::WindowTitle(const std::string& window) {
  const std::vector<std::string> lines = Capture({Which("xdotool"), "getwindowname", window});
  return lines.empty() ? std::string() : lines.front();
}

bool DesktopSession::WaitForTitle(const std::string& window, const std::string& title,
                                  std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (WindowTitle(window) == title) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

void DesktopSession::Focus(const std::string& window) { Capture({Which("xdotool"), "windowfocus", "--sync", window}); }

void DesktopSession::Keys(const std::vector<std::string>& keys) {
  std::vector<std::string> argv{Which("xdotool"), "key", "--delay", "60"};
  argv.insert(argv.end(), keys.begin(), keys.end());
  Capture(argv);
}

void DesktopSession::Type(const std::string& text) { Capture({Which("xdotool"), "type", "--delay", "10", text}); }

std::optional<std::vector<std::string>> DesktopSession::ListRows(const std::string& program, const std::string& list) {
  std::vector<std::string> lines = Capture({READ_LIST_SCRIPT, program, list});
  if (lines.empty() || lines.back() == "none" || !lines.back().starts_with("rows ")) return std::nullopt;
  lines.pop_back();
  return lines;
}
