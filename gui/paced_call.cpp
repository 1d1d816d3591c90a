#include "gui/paced_call.h"

#include <QTimerEvent>

namespace gui {

PacedCall::PacedCall(int intervalMs, std::function<void()> call, QObject* parent)
    : QObject(parent), m_intervalMs(intervalMs), m_call(std::move(call)) {
  m_sinceRun.start();
}

void PacedCall::Request() {
  if (m_timer.isActive()) return;
  const qint64 since = m_sinceRun.elapsed();
  if (since >= m_intervalMs)
    Run();
  else
    m_timer.start(static_cast<int>(m_intervalMs - since), Qt::PreciseTimer, this);
}

void PacedCall::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) return QObject::timerEvent(event);
  m_timer.stop();
  Run();
}

void PacedCall::Run() {
  m_sinceRun.restart();
  m_call();
}

}  // namespace gui
