#pragma once

#include <QApplication>
#include <string>
#include <vector>

#include "gui/app_icons.h"

namespace gui {

// The window system's part of a window program's start: the application
// object with the program's name, the name window captions end with, its
// icon and the icon theme; then the program object, whose InitInstance
// decides whether a window opens, and the loop until it closes.
template <class Program>
int RunWindowProgram(int argc, char** argv, const char* name, const QString& captionName, AppImage icon,
                     const std::vector<std::string>& arguments) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(name));
  // Qt puts this name after any caption that does not end with it already.
  QApplication::setApplicationDisplayName(captionName);
  QApplication::setWindowIcon(AppIcon(icon));
  InstallIconTheme();
  Program program;
  if (!program.InitInstance(arguments)) return 0;
  return application.exec();
}

}  // namespace gui
