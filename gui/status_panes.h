#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;

// The panes of a main window's status bar, left to right: the stretching
// message pane (command prompts, "Ready" when idle, texts of the program);
// a status pane as wide as a given text, which it shows until the first
// refresh; and the CAP, NUM and SCRL indicators, lit as far as the window
// system reports the lock keys.
namespace gui {

class StatusPanes final : public QObject {
 public:
  static constexpr char kIdleMessage[] = "Ready";

  StatusPanes(QStatusBar* bar, const QString& sizingText);

  void SetMessage(const QString& text);
  QString Message() const;
  // The status pane shows what fits and holds the whole text as its tooltip.
  void SetStatus(const QString& text);
  QString Status() const { return m_status; }
  int StatusPaneWidth() const;

  // Reads the lock keys again; the indicators follow key presses by themselves.
  void RefreshLockKeys();
  QString LockKeyTexts() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* m_message;
  QLabel* m_statusPane;
  QLabel* m_caps;
  QLabel* m_num;
  QLabel* m_scroll;
  QString m_status;
};

}  // namespace gui
