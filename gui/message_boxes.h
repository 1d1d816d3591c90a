#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace gui {

// Opens a message box with an OK button and returns at once: the caller's
// loop goes on handling its messages while the box is open, and a second box
// can open over the first. The box is modal for the whole program and
// deletes itself when closed. Interface thread.
QMessageBox* OpenMessageBox(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon);

// Shows an information box and returns once it is closed. Interface thread.
void ConfirmInBox(const QString& caption, const QString& text);

// The message boxes that worker threads show: a worker hands its text over
// and waits until the user has closed the box. A window that is closing
// ends them all first, because it is about to wait for those very threads.
class MessageBoxHop final : public QObject {
 public:
  MessageBoxHop(QString caption, QMessageBox::Icon icon);
  ~MessageBoxHop() override;

  // Boxes open over this window once it is set. Interface thread.
  void SetOwner(QWidget* owner) { m_owner = owner; }

  // Shows `text` and returns once the box is closed, or at once when the
  // hop has ended. Any thread.
  void Show(const std::string& text);

  // Closes every box shown for a worker and lets every waiting worker go;
  // from then on Show returns at once. Interface thread.
  void End();

  // Boxes open now. Interface thread.
  std::vector<QMessageBox*> OpenBoxes() const;

 protected:
  bool event(QEvent* event) override;

 private:
  struct Request;
  void Open(const std::shared_ptr<Request>& request);
  void Finish(const std::shared_ptr<Request>& request);

  const QString m_caption;
  const QMessageBox::Icon m_icon;
  QPointer<QWidget> m_owner;

  mutable std::mutex m_mutex;  // guards everything below
  std::condition_variable m_finished;
  std::vector<std::shared_ptr<Request>> m_requests;
  bool m_ended = false;
};

}  // namespace gui
