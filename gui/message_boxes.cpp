#include "gui/message_boxes.h"

#include <QThread>
#include <algorithm>

#include "gui/posted_event.h"

namespace gui {

struct MessageBoxHop::Request {
  QString text;
  bool done = false;                 // guarded by the hop's mutex
  QPointer<QMessageBox> box;         // interface thread only
};

namespace {
constexpr std::uint32_t kShowBoxMessage = 0x7F00;
using ShowBoxEvent = MessageEvent<kShowBoxMessage, std::shared_ptr<void>>;
}  // namespace

QMessageBox* OpenMessageBox(QWidget* owner, const QString& caption, const QString& text, QMessageBox::Icon icon) {
  auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box->show();
  box->raise();
  box->activateWindow();
  return box;
}

void ConfirmInBox(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
  box.exec();
}

MessageBoxHop::MessageBoxHop(QString caption, QMessageBox::Icon icon) : m_caption(std::move(caption)), m_icon(icon) {}

MessageBoxHop::~MessageBoxHop() { End(); }

void MessageBoxHop::Show(const std::string& text) {
  auto request = std::make_shared<Request>();
  request->text = QString::fromStdString(text);
  {
    std::lock_guard lock(m_mutex);
    if (m_ended) return;
    m_requests.push_back(request);
  }
  if (QThread::currentThread() == thread()) {
    // The interface thread itself: a box with a loop of its own, which End
    // closes as well; the box deletes itself as its loop ends.
    Open(request);
    if (request->box) request->box->exec();
    Finish(request);
    return;
  }
  Post<ShowBoxEvent>(this, std::static_pointer_cast<void>(request));
  std::unique_lock lock(m_mutex);
  m_finished.wait(lock, [&] { return request->done; });
}

bool MessageBoxHop::event(QEvent* event) {
  if (auto* show = Received<ShowBoxEvent>(event)) {
    auto request = std::static_pointer_cast<Request>(show->payload());
    Open(request);
    if (request->box) {
      connect(request->box, &QMessageBox::finished, this, [this, request] { Finish(request); });
      request->box->setWindowModality(Qt::ApplicationModal);
      request->box->show();
    }
    return true;
  }
  return QObject::event(event);
}

void MessageBoxHop::Open(const std::shared_ptr<Request>& request) {
  {
    std::lock_guard lock(m_mutex);
    if (request->done) return;  // ended before it could open
  }
  auto* box = new QMessageBox(m_icon, m_caption, request->text, QMessageBox::Ok, m_owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  request->box = box;
}

void MessageBoxHop::Finish(const std::shared_ptr<Request>& request) {
  {
    std::lock_guard lock(m_mutex);
    request->done = true;
    std::erase(m_requests, request);
  }
  m_finished.notify_all();
}

void MessageBoxHop::End() {
  std::vector<std::shared_ptr<Request>> requests;
  {
    std::lock_guard lock(m_mutex);
    m_ended = true;
    for (auto& request : m_requests) request->done = true;
    requests.swap(m_requests);
  }
  m_finished.notify_all();
  for (auto& request : requests)
    if (request->box) request->box->done(QMessageBox::Ok);
}

std::vector<QMessageBox*> MessageBoxHop::OpenBoxes() const {
  std::vector<QMessageBox*> boxes;
  std::lock_guard lock(m_mutex);
  for (const auto& request : m_requests)
    if (request->box && request->box->isVisible()) boxes.push_back(request->box);
  return boxes;
}

}  // namespace gui
