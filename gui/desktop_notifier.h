#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

namespace gui {

// Desktop notices through the session's notification service. Never blocks
// the interface thread (every call is asynchronous); without a session bus
// or without the service nothing is shown and nothing is reported.
// Interface thread.
class DesktopNotifier final : public QObject {
  Q_OBJECT

 public:
  struct Notice {
    QString summary;       // "Download finished" / "Download failed"
    QString body;          // the file name, and for a failure the error
    QString filePath;      // "": no "Open" action
    QString folderPath;    // "": no "Open Folder" action
    bool failure = false;  // the error icon and category instead of the program's
  };
  // What to do when the user picks an action: `path` is the notice's
  // filePath ("open") or folderPath ("folder").
  using ActionHandler = std::function<void(const QString& path)>;

  // Notices kept waiting for an answer of the service, and notices kept for
  // their actions; beyond that the oldest are forgotten.
  static constexpr std::size_t kMaxPending = 100;

  // bus: the session bus by default; tests give a connection to a private bus.
  explicit DesktopNotifier(ActionHandler onAction, QObject* parent = nullptr,
                           const QDBusConnection& bus = QDBusConnection::sessionBus());

  void Show(const Notice& notice);
  // Notices shown whose action or closing is still awaited.
  std::size_t Pending() const { return m_shown.size(); }

 private Q_SLOTS:
  // ActionInvoked and NotificationClosed of whoever sends them: checked
  // here before anything is believed.
  void OnSignal(const QDBusMessage& message);

 private:
  // What the service said it can do; asked before the first notice and
  // again after the service failed to answer.
  enum class Abilities { Unknown, Asking, Known };
  struct Shown {
    uint id = 0;
    QString sender;  // the service's unique name: only it may act on the id
    QString filePath;
    QString folderPath;
  };

  void AskAbilities();
  void Send(const Notice& notice);
  void Forget(uint id);

  const ActionHandler m_onAction;
  QDBusConnection m_bus;
  Abilities m_abilities = Abilities::Unknown;
  bool m_markup = false;          // the body is read as markup, so it is escaped
  bool m_actions = false;         // the service shows actions
  std::vector<Notice> m_waiting;  // shown while the abilities were asked
  std::size_t m_inFlight = 0;     // Notify calls not yet answered
  std::deque<Shown> m_shown;      // oldest first
};

}  // namespace gui
