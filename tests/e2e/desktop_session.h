#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

// A desktop of its own for end-to-end tests: an X server (Xvfb) on a free
// display, a session bus with the accessibility bus behind it, and the
// environment that makes programs started from here use them. What a user
// does goes through xdotool (real key presses to the focused window); what
// a screen reader reads comes through the accessibility interface.
class DesktopSession {
 public:
  DesktopSession();
  ~DesktopSession();
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  // Whether the tools are there (Xvfb, xdotool, dbus-daemon, the
  // accessibility reader); the reason when not.
  static std::optional<std::string> Missing();
  bool ready() const { return m_ready; }

  // Starts a program on this desktop.
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv);

  // The window whose whole title is `title`, once it exists; none after
  // `limit`, or as soon as `program`, which is to show it, has ended.
  std::optional<std::string> WaitForWindow(const std::string& title, const ChildProcess& program,
                                           std::chrono::milliseconds limit = std::chrono::seconds(30));
  std::string WindowTitle(const std::string& window);
  bool WaitForTitle(const std::string& window, const std::string& title,
                    std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Gives the window the keyboard and presses keys ("ctrl+o", "Return").
  void Focus(const std::string& window);
  void Keys(const std::vector<std::string>& keys);
  void Type(const std::string& text);

  // The rows of `program`'s list (the one named `list`, when given) as a
  // screen reader reads them, cells joined by tabs; none when the program
  // or its list is not found.
  std::optional<std::vector<std::string>> ListRows(const std::string& program, const std::string& list = {});

 private:
  std::vector<std::string> Capture(std::vector<std::string> argv);

  bool m_ready = false;
  std::unique_ptr<ChildProcess> m_xserver;
  std::unique_ptr<ChildProcess> m_bus;
  std::vector<std::unique_ptr<ScopedEnv>> m_environment;
};
