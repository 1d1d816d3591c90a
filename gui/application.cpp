#include "gui/application.h"

#include "gui/posted_event.h"

namespace gui {

bool Application::notify(QObject* receiver, QEvent* event) {
  TakeOver(event);
  return QApplication::notify(receiver, event);
}

}  // namespace gui
