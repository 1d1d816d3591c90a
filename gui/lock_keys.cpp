#include "gui/lock_keys.h"

#include <QGuiApplication>

#if __has_include(<X11/XKBlib.h>) && QT_CONFIG(xcb)
#define FETCHWICK_X11_LOCK_KEYS 1
#include <X11/XKBlib.h>
#endif

namespace gui {

#if defined(FETCHWICK_X11_LOCK_KEYS)
namespace {

bool Indicator(Display* display, const char* name) {
  const Atom atom = XInternAtom(display, name, True);
  if (atom == None) return false;
  Bool on = False;
  if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
  return on == True;
}

}  // namespace
#endif

std::optional<LockKeys> QueryLockKeys() {
#if defined(FETCHWICK_X11_LOCK_KEYS)
  auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = app ? app->display() : nullptr;
  if (!display) return std::nullopt;
  return LockKeys{Indicator(display, "Caps Lock"), Indicator(display, "Num Lock"), Indicator(display, "Scroll Lock")};
#else
  return std::nullopt;
#endif
}

}  // namespace gui
