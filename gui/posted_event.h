#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <cstdint>
#include <memory>
#include <utility>
#include <variant>

// Posted private messages. Each message of a program is one event type,
// QEvent::User plus the message's number, and carries its payload by value,
// so the payload goes wherever the event goes and is freed with it, also when
// Qt drops the event because its receiver has gone.
namespace gui {

constexpr QEvent::Type MessageType(std::uint32_t message) {
  return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
}

template <std::uint32_t Message, class Payload = std::monostate>
class MessageEvent final : public QEvent {
 public:
  static constexpr QEvent::Type kType = MessageType(Message);
  static_assert(QEvent::User + Message <= QEvent::MaxUser, "message number out of the event range");

  explicit MessageEvent(Payload payload = {}) : QEvent(kType), m_payload(std::move(payload)) {}
  Payload& payload() { return m_payload; }

 private:
  Payload m_payload;
};

// Hands `event` to `receiver`'s thread. Any thread. Qt's own queue
// synchronises sender and receiver; the hand-over is also announced to
// ThreadSanitizer, which cannot see inside the uninstrumented Qt library.
void Post(QObject* receiver, std::unique_ptr<QEvent> event);

template <class Event, class... Args>
void Post(QObject* receiver, Args&&... args) {
  Post(receiver, std::make_unique<Event>(std::forward<Args>(args)...));
}

// Takes an event over from the thread that posted it; gui::Application does
// so for every event it hands out, before anyone reads it.
void TakeOver(const QEvent* event);

// The event as `Event` when it is one, null otherwise.
template <class Event>
Event* Received(QEvent* event) {
  if (event->type() != Event::kType) return nullptr;
  return static_cast<Event*>(event);
}

}  // namespace gui
