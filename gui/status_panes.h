#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;

namespace gui {
class PacedCall;
}

// The panes of a main window's status bar, left to right: the stretching
// message pane (command prompts, "Ready" when idle, texts of the program);
// a status pane as wide as a given text, which it shows until the first
// refresh; and the CAP, NUM and SCRL indicators, lit as far as the window
// system reports the lock keys. When the message needs more room than the
// bar has left, the status pane gives up the part its own text leaves
// empty, so that a long message is read whole.
namespace gui {

class StatusPanes final : public QObject {
 public:
  static constexpr char kIdleMessage[] = "Ready";

  StatusPanes(QStatusBar* bar, const QString& sizingText);

  void SetMessage(const QString& text);
  QString Message() const { return m_messageText; }
  // What the message pane shows now: less than Message() only when even the
  // room the status pane gives up is not enough.
  QString ShownMessage() const;
  // The status pane shows what fits and holds the whole text as its tooltip.
  // A text that changes with every 4 KiB of a transfer is shown at most ten
  // times a second: each change lays the bar out and repaints it, work the
  // engine and the other windows need the processor for.
  void SetStatus(const QString& text);
  QString Status() const { return m_status; }
  int StatusPaneWidth() const;

  // A further sunken pane as wide as `sizingText`, between the message
  // pane and the status pane; its owner sets its text, and may hide it.
  QLabel* AddPane(const QString& sizingText, const QString& accessibleName);

  // Reads the lock keys again; the indicators follow key presses by themselves.
  void RefreshLockKeys();
  QString LockKeyTexts() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit();  // shares the room between the message and the status pane

  QLabel* m_message;
  QLabel* m_statusPane;
  QLabel* m_caps;
  QLabel* m_num;
  QLabel* m_scroll;
  QLabel* m_firstPane;  // the leftmost pane after the message pane
  QString m_messageText;
  QString m_prompt;  // the bar's own message, over the message pane
  QString m_status;
  PacedCall* m_showStatus;
  int m_statusFullWidth = 0;   // as wide as the sizing text
  int m_statusLeastWidth = 0;  // what it keeps whatever the message needs
};

}  // namespace gui
