#pragma once

#include <QApplication>

namespace gui {

// The window programs' application object. Every event it hands out is
// first taken over from the thread that posted it (see posted_event.h), so
// that whatever looks at an event first, an application-wide event filter
// or its receiver, sees what the poster wrote into it.
class Application final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace gui
