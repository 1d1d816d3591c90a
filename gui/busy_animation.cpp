#include "gui/busy_animation.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace gui {

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  setAccessibleName(QStringLiteral("Busy"));
}

void BusyAnimation::play(int from, int to, int repeat) {
  m_from = std::clamp(from, 0, kFrames - 1);
  m_to = std::clamp(to, 0, kFrames - 1);
  m_frame = m_from;
  m_repeatsLeft = repeat;
  if (repeat == 0 || m_from == m_to) {
    m_timer.stop();
  } else {
    m_timer.start(1000 / kFramesPerSecond, Qt::PreciseTimer, this);
  }
  update();
}

void BusyAnimation::stop() { m_timer.stop(); }

void BusyAnimation::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) return QWidget::timerEvent(event);
  const int step = m_from <= m_to ? 1 : -1;
  if (m_frame != m_to) {
    m_frame += step;
  } else if (m_repeatsLeft == kForever || --m_repeatsLeft > 0) {
    m_frame = m_from;
  } else {
    m_timer.stop();
  }
  update();
}

void BusyAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(painter, m_frame);
}

QImage BusyAnimation::frameImage(int frame) const {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(palette().color(QPalette::Window));
  QPainter painter(&image);
  drawFrame(painter, std::clamp(frame, 0, kFrames - 1));
  return image;
}

// A globe that turns, with a link travelling round it; frame 0 is the
// picture at rest.
void BusyAnimation::drawFrame(QPainter& painter, int frame) const {
  painter.setRenderHint(QPainter::Antialiasing);
  const double turn = static_cast<double>(frame) / kFrames;  // 0 .. 1
  const QColor ink = palette().color(QPalette::WindowText);
  const QColor accent = palette().color(QPalette::Highlight);
  const QPointF centre(kWidth / 2.0, kHeight / 2.0);
  const double radius = 10.0;

  // The globe: its outline, the equator, and three meridians that sweep
  // round as it turns half a revolution per cycle.
  QColor sea = accent;
  sea.setAlpha(60);
  painter.setPen(QPen(ink, 1.2));
  painter.setBrush(sea);
  painter.drawEllipse(centre, radius, radius);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(ink, 0.8));
  painter.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
  for (int meridian = 0; meridian < 3; ++meridian) {
    const double phase = std::numbers::pi * (turn + meridian / 3.0);
    painter.drawEllipse(centre, radius * std::abs(std::cos(phase)), radius);
  }

  // The travelling link: a bright dot with a fading tail on an orbit wider
  // than the globe, starting at the top.
  const double orbitX = kWidth / 2.0 - 3.0;
  const double orbitY = kHeight / 2.0 - 3.0;
  constexpr int kTail = 6;
  for (int i = kTail; i >= 0; --i) {
    const double angle = 2 * std::numbers::pi * (turn - i * 0.025) - std::numbers::pi / 2;
    const QPointF at(centre.x() + orbitX * std::cos(angle), centre.y() + orbitY * std::sin(angle));
    QColor dot = accent;
    dot.setAlpha(255 - i * 255 / (kTail + 1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    const double size = i == 0 ? 2.6 : 2.0 - i * 0.2;
    painter.drawEllipse(at, size, size);
  }
}

}  // namespace gui
