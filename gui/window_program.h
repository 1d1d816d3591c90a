#pragma once

#include <QCoreApplication>
#include <string>
#include <vector>

#include "gui/app_icons.h"
#include "gui/application.h"

namespace gui {

// Who a window program is to the desktop.
struct WindowProgramInfo {
  const char* name;       // the program file's name
  const char* desktopId;  // its desktop entry's name, without ".desktop"
  AppImage icon;
};

// The window system's part of a window program's start: the application
// object with the program's names and icon, and the icon theme; then the
// program object, whose InitInstance decides whether a window opens, and
// the loop until it closes.
template <class Program>
int RunWindowProgram(int argc, char** argv, const WindowProgramInfo& info) {
  Application application(argc, argv);
  // Qt has taken its own options ("-platform", "-display", ...) out by now.
  std::vector<std::string> arguments;
  for (const QString& argument : QCoreApplication::arguments().mid(1)) arguments.push_back(argument.toStdString());
  QApplication::setApplicationName(QString::fromLatin1(info.name));
  // No display name: Qt would put it after every caption that does not end
  // with it, dialogs and message boxes included, and the window manager
  // must show the captions as they are.
  // Ties the windows to the desktop entry (and its icon) on Wayland and in
  // task managers that read it.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(info.desktopId));
  QApplication::setWindowIcon(AppIcon(info.icon));
  InstallIconTheme();
  Program program;
  if (!program.InitInstance(arguments)) return 0;
  return application.exec();
}

}  // namespace gui
