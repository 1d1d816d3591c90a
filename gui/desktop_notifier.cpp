#include "gui/desktop_notifier.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>

namespace gui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The program's desktop id, which is also the name of its installed icon.
const QString kDesktopId = QStringLiteral("com.tarnwell.Queuebay");
const QString kOpen = QStringLiteral("open");
const QString kFolder = QStringLiteral("folder");
// A service that has not answered by then is not showing anything.
constexpr int kCallTimeoutMs = 10000;

QDBusMessage ServiceCall(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

bool Holds(const QVariant& value, QMetaType::Type type) { return value.metaType().id() == type; }

}  // namespace

DesktopNotifier::DesktopNotifier(ActionHandler onAction, QObject* parent, const QDBusConnection& bus)
    : QObject(parent), m_onAction(std::move(onAction)), m_bus(bus) {
  if (!m_bus.isConnected()) return;
  // From any sender: naming the service here would make the bus connection
  // look its owner up with a blocking call. OnSignal checks the sender.
  for (const char* name : {"ActionInvoked", "NotificationClosed"})
    m_bus.connect(QString(), kPath, kInterface, QString::fromLatin1(name), this, SLOT(OnSignal(QDBusMessage)));
}

void DesktopNotifier::Show(const Notice& notice) {
  if (!m_bus.isConnected()) return;
  if (m_abilities == Abilities::Known) return Send(notice);
  if (m_waiting.size() < kMaxPending) m_waiting.push_back(notice);
  if (m_abilities == Abilities::Unknown) AskAbilities();
}

void DesktopNotifier::AskAbilities() {
  m_abilities = Abilities::Asking;
  auto* watcher = new QDBusPendingCallWatcher(
      m_bus.asyncCall(ServiceCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    std::vector<Notice> waiting;
    waiting.swap(m_waiting);
    if (reply.isError()) {
      // No service (or a broken one): these notices are not shown, and the
      // next one asks again, in case a service has started since.
      m_abilities = Abilities::Unknown;
      return;
    }
    const QStringList abilities = reply.value();
    m_markup = abilities.contains(QStringLiteral("body-markup"));
    m_actions = abilities.contains(QStringLiteral("actions"));
    m_abilities = Abilities::Known;
    for (const Notice& notice : waiting) Send(notice);
  });
}

void DesktopNotifier::Send(const Notice& notice) {
  if (m_inFlight >= kMaxPending) return;
  QStringList actions;
  if (m_actions) {
    if (!notice.filePath.isEmpty()) actions << kOpen << QStringLiteral("Open");
    if (!notice.folderPath.isEmpty()) actions << kFolder << QStringLiteral("Open Folder");
  }
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), kDesktopId);
  // Normal for failures too: a critical notice stays until dismissed, which
  // is for things like a flat battery, not for one failed download.
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
  hints.insert(QStringLiteral("category"),
               notice.failure ? QStringLiteral("transfer.error") : QStringLiteral("transfer.complete"));
  QDBusMessage call = ServiceCall(QStringLiteral("Notify"));
  // A file name such as "Tom & Jerry.mkv" is text, not markup, wherever the
  // service would read the body as markup.
  call << QStringLiteral("Queuebay") << uint{0} << (notice.failure ? QStringLiteral("dialog-error") : kDesktopId)
       << notice.summary << (m_markup ? notice.body.toHtmlEscaped() : notice.body) << actions << hints << int{-1};

  ++m_inFlight;
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
  const Shown paths{0, QString(), notice.filePath, notice.folderPath};
  const bool awaitsAction = !actions.isEmpty();
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, paths, awaitsAction](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            --m_inFlight;
            const QDBusPendingReply<uint> reply = *call;
            if (reply.isError()) {
              // The service went away or changed; ask what it can do next time.
              m_abilities = Abilities::Unknown;
              return;
            }
            if (!awaitsAction) return;
            Shown shown = paths;
            shown.id = reply.value();
            shown.sender = call->reply().service();
            Forget(shown.id);  // a restarted service may hand out an id again
            if (m_shown.size() >= kMaxPending) m_shown.pop_front();
            m_shown.push_back(std::move(shown));
          });
}

void DesktopNotifier::Forget(uint id) {
  m_shown.erase(std::remove_if(m_shown.begin(), m_shown.end(), [id](const Shown& shown) { return shown.id == id; }),
                m_shown.end());
}

void DesktopNotifier::OnSignal(const QDBusMessage& message) {
  // Anyone on the bus may send these signals, with any arguments: only the
  // service that made the notice may act on it, and only as the signal's
  // declared form says.
  const QVariantList arguments = message.arguments();
  if (message.interface() != kInterface || arguments.size() != 2 || !Holds(arguments[0], QMetaType::UInt)) return;
  const uint id = arguments[0].toUInt();
  const auto shown = std::find_if(m_shown.begin(), m_shown.end(), [&](const Shown& entry) {
    return entry.id == id && entry.sender == message.service();
  });
  if (shown == m_shown.end()) return;
  if (message.member() == QLatin1String("NotificationClosed")) {
    if (Holds(arguments[1], QMetaType::UInt)) m_shown.erase(shown);
    return;
  }
  if (message.member() != QLatin1String("ActionInvoked") || !Holds(arguments[1], QMetaType::QString)) return;
  const QString key = arguments[1].toString();
  const QString path = key == kOpen ? shown->filePath : key == kFolder ? shown->folderPath : QString();
  // The handler may open a window; nothing of this object is used after it.
  if (!path.isEmpty() && m_onAction) m_onAction(path);
}

}  // namespace gui
