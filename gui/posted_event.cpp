#include "gui/posted_event.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace gui {

void Post(QObject* receiver, std::unique_ptr<QEvent> event) {
#if defined(__SANITIZE_THREAD__)
  __tsan_release(event.get());
#endif
  QCoreApplication::postEvent(receiver, event.release());
}

void TakeOver(const QEvent* event) {
#if defined(__SANITIZE_THREAD__)
  __tsan_acquire(const_cast<QEvent*>(event));
#else
  (void)event;
#endif
}

}  // namespace gui
