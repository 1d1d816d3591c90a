#pragma once

#include <QIcon>
#include <QStyle>

// The programs' own pictures (SVG of their own design, built into the
// library) and the desktop's icon theme.
namespace gui {

enum class AppImage {
  Crawler,  // Fetchwick's program icon
  Manager,  // Queuebay's program icon
  Engine,   // the engine, shown by the installer's icon set
  Link,     // a linked file of no known type: image 0 of both lists
  Folder,   // a folder of downloads
};

QIcon AppIcon(AppImage image);

// Makes the freedesktop icon theme reachable where the platform sets none
// (offscreen, bare window managers): the desktop's icon folders are added
// to the search path and "Adwaita" is the theme and the fallback theme.
// Call once after the application object exists.
void InstallIconTheme();

// A theme icon, or the style's standard icon when the theme has none.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback);

}  // namespace gui
