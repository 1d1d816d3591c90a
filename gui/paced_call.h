#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <functional>

namespace gui {

// Runs a call at most once per interval: a request comes through at once
// when the last run is an interval ago, otherwise when the interval ends;
// requests while one waits are that one. Lists take their rows in batches
// this way, so they repaint at most once per interval however fast the
// rows come. Interface thread.
class PacedCall final : public QObject {
 public:
  PacedCall(int intervalMs, std::function<void()> call, QObject* parent);
  void Request();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void Run();

  const int m_intervalMs;
  const std::function<void()> m_call;
  QBasicTimer m_timer;
  QElapsedTimer m_sinceRun;
};

}  // namespace gui
