#pragma once

#include <QBasicTimer>
#include <QWidget>

// The busy animation beside the toolbar: 50 frames of 41 by 30 pixels at 15
// frames a second, drawn by its own code in the palette's colours. It is
// driven like a clip player: play() shows a frame and plays on from it,
// stop() freezes the frame shown.
namespace gui {

class BusyAnimation final : public QWidget {
 public:
  static constexpr int kFrames = 50;
  static constexpr int kWidth = 41;
  static constexpr int kHeight = 30;
  static constexpr int kFramesPerSecond = 15;
  static constexpr int kLastFrame = 0xFFFF;  // as `to`: the clip's last frame
  static constexpr int kForever = -1;         // as `repeat`

  explicit BusyAnimation(QWidget* parent = nullptr);

  // Shows frame `from`, then plays on to frame `to` (both clamped to the
  // clip) and starts again from `from`, `repeat` times in all or for ever;
  // a repeat of 0, or from equal to to, only shows frame `from`. Playing
  // again restarts from `from`.
  void play(int from, int to, int repeat);
  // Stops on the frame shown.
  void stop();

  bool isPlaying() const { return m_timer.isActive(); }
  int currentFrame() const { return m_frame; }
  // A frame as the widget paints it, for checks and pictures.
  QImage frameImage(int frame) const;

  QSize sizeHint() const override { return {kWidth, kHeight}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void drawFrame(QPainter& painter, int frame) const;

  QBasicTimer m_timer;
  int m_frame = 0;
  int m_from = 0;
  int m_to = 0;
  int m_repeatsLeft = 0;  // kForever: no end
};

}  // namespace gui
